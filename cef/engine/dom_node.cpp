#include "engine/dom_node.h"

namespace cefengine {

namespace {

class FocusedNode : public CefDOMNode {
 public:
  explicit FocusedNode(bool editable) : editable_(editable) {}

  Type GetType() override { return DOM_NODE_TYPE_ELEMENT; }
  bool IsElement() override { return true; }
  bool IsEditable() override { return editable_; }
  CefString GetName() override { return GetElementTagName(); }
  CefString GetElementTagName() override { return editable_ ? "INPUT" : "DIV"; }

 private:
  const bool editable_;
  IMPLEMENT_REFCOUNTING(FocusedNode);
};

}  // namespace

CefRefPtr<CefDOMNode> CreateFocusedNode(bool editable) {
  return new FocusedNode(editable);
}

}  // namespace cefengine
