// The process-wide draw-drag-areas flag: while set, off-screen views also draw the drag areas
// their pages registered. Only the host's browser command "DrawDragAreaList" changes it.
// Any thread.
#pragma once

namespace client {

bool IsDrawDragAreasEnabled();
// Inverts the flag; returns its new value.
bool ToggleDrawDragAreas();

}  // namespace client
