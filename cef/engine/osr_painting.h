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

// --- Painting windowless browsers (UI thread) ---
//
// Every paint asks the render handler GetViewRect (false or an empty rectangle: no paint) and GetScreenInfo (the
// structure arrives filled with scale 1, depth 32, 8 bits per component and the view as both rectangles; a false
// return keeps those), then hands OnPaint a buffer of ScaledExtent(view, scale) pixels each way that is valid only
// during the call. The dirty rectangle is the whole buffer. Nothing is painted for windowed, hidden or destroyed
// browsers or without a render handler.

class BrowserImpl;

// Paints the view (PET_VIEW) now.
void PaintView(BrowserImpl* browser);
// The client's render handler; null when it has none. Any thread.
CefRefPtr<CefRenderHandler> RenderHandlerOf(BrowserImpl* browser);

// The page's popup widget (a select list, say): OnPopupShow(true), OnPopupSize(rect) and a paint of the popup
// (PET_POPUP) of rect's size. `rect` is in view coordinates.
void ShowPopupWidget(BrowserImpl* browser, const CefRect& rect);
// OnPopupShow(false), then the view is painted again. Nothing when no popup is shown.
void HidePopupWidget(BrowserImpl* browser);
// Paints the popup again when one is shown (Invalidate(PET_POPUP)).
void PaintPopup(BrowserImpl* browser);
bool PopupWidgetShown(int browser_id);

// The last buffer handed to OnPaint for one element of a browser. Any thread.
struct PaintRecord {
  cef_paint_element_type_t type = PET_VIEW;
  int width = 0;
  int height = 0;
  std::vector<CefRect> dirty_rects;
  std::vector<uint32_t> pixels;  // copy of the buffer, rows top to bottom
  int paint_count = 0;           // paints of this element so far
};
// False when that element of that browser was never painted.
bool LastPaint(int browser_id, cef_paint_element_type_t type, PaintRecord* record);

// Forgets the painting state of a browser that is gone. Any thread.
void ForgetPaintState(int browser_id);

}  // namespace cefengine

#endif  // CEF_ENGINE_OSR_PAINTING_H_
