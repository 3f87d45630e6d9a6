// Painting of windowless browsers.
//
// Pixels are 32-bit BGRA with premultiplied alpha, rows top to bottom: in memory B, G, R, A per pixel, which reads
// as 0xAARRGGBB through a little-endian uint32_t.
//
// The content is generated: the page background, the title drawn with GDI (every pixel GDI touched is opaque), and
// one marker pixel at the top-left corner in a colour distinct from the background, so that a consumer that flips
// rows or swaps channels shows it.
#ifndef CEF_ENGINE_OSR_PAINTING_H_
#define CEF_ENGINE_OSR_PAINTING_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "include/cef_browser.h"
#include "include/cef_render_handler.h"

namespace cefengine {

// --- The generator (pure; any thread) ---

// Largest side of a paint buffer; a larger view is not painted (the request fails).
const int kMaxPaintExtent = 16384;

// Pixels for `dip` view units at `scale`: ceil(dip * scale), ignoring float noise below 1/1000 of a pixel. 0 for a
// non-positive extent or scale.
int ScaledExtent(int dip, float scale);

// The colour a view is filled with: the document's own background when it names one, else nothing (0) for a
// transparent view, else the browser's setting, else the process-wide setting, else opaque white. A setting of 0
// means "not set".
cef_color_t ChooseBackground(bool has_document_background, cef_color_t document_background, bool transparent,
                             cef_color_t browser_setting, cef_color_t global_setting);

// ARGB to premultiplied BGRA (as 0xAARRGGBB).
uint32_t Premultiply(cef_color_t argb);

// Opaque magenta, or opaque cyan when the background is opaque magenta.
uint32_t MarkerColorFor(uint32_t premultiplied_background);

struct PaintRequest {
  int width = 0;   // pixels
  int height = 0;  // pixels
  float scale = 1.0f;        // device scale: the title's font grows with it
  cef_color_t background = 0;  // ARGB, not premultiplied
  std::wstring title;          // "" draws no text
};

// Fills `pixels` (resized to width * height) for `request`. False, with a log line, when the size is not positive or
// beyond kMaxPaintExtent; when GDI cannot draw the title the buffer still holds background and marker.
[[nodiscard]] bool GeneratePaint(const PaintRequest& request, std::vector<uint32_t>* pixels);

// A test replacement for the generated content: the premultiplied BGRA value of pixel (x, y) of a width x height
// buffer. An empty function restores the generator. Any thread.
typedef std::function<uint32_t(int x, int y, int width, int height)> PaintPattern;
void SetPaintPattern(PaintPattern pattern);

}  // namespace cefengine

#endif  // CEF_ENGINE_OSR_PAINTING_H_
