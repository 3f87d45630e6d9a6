// The focused node handed to CefRenderProcessHandler::OnFocusedNodeChanged. There is no DOM
// beyond that: a node only says whether it is editable.
#ifndef CEF_ENGINE_DOM_NODE_H_
#define CEF_ENGINE_DOM_NODE_H_

#include "include/cef_dom.h"

namespace cefengine {

// A focused element: an editable one reads as an "INPUT" element, a plain one as a "DIV". The
// node is immutable, so any thread may read it; the runtime hands it out on TID_RENDERER.
CefRefPtr<CefDOMNode> CreateFocusedNode(bool editable);

}  // namespace cefengine

#endif  // CEF_ENGINE_DOM_NODE_H_
