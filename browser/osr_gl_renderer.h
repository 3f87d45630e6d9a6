// The OpenGL renderer of an off-screen view. So far only its settings record, which the root
// window makes before any renderer exists; the renderer's operations join it when built.
#pragma once

#include "include/internal/cef_types.h"

namespace client {

class OsrGlRenderer {
 public:
  // A plain value, copied into every holder.
  struct Settings {
    // Blend the view over the background instead of drawing it opaque.
    bool transparent = false;
    // Keep and outline the first dirty rectangle of each view frame.
    bool show_update_rect = false;
    // Each frame is cleared with this colour; its alpha is ignored.
    cef_color_t background_color = 0xFFFFFFFF;
  };
};

// The name the browser-process core uses for the same record.
using OsrRendererSettings = OsrGlRenderer::Settings;

}  // namespace client
