#include "browser/draw_drag_areas.h"

#include <atomic>

namespace client {

namespace {
// Written on the main thread, read by the off-screen painting on CEF's UI thread.
std::atomic<bool> g_draw_drag_areas(false);
}  // namespace

bool IsDrawDragAreasEnabled() { return g_draw_drag_areas.load(); }

bool ToggleDrawDragAreas() {
  // One writer: the main thread.
  const bool enabled = !g_draw_drag_areas.load();
  g_draw_drag_areas.store(enabled);
  return enabled;
}

}  // namespace client
