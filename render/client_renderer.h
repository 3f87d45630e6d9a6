// The renderer delegate that hosts the renderer side of CEF's message router (the page functions
// "cefQuery" and "cefQueryCancel") and tells the browser when focus moves between an editable and
// a non-editable element.
#pragma once

#include "render/client_app_renderer.h"

namespace client {
namespace renderer {

// Inserts one new router delegate into `delegates`.
void CreateDelegates(ClientAppRenderer::DelegateSet& delegates);

}  // namespace renderer
}  // namespace client
