#ifndef CEF_INCLUDE_CEF_DOM_H_
#define CEF_INCLUDE_CEF_DOM_H_

#include "include/cef_base.h"

class CefDOMDocument;
class CefDOMNode;

// Visits a frame's document (renderer, TID_RENDERER).
class CefDOMVisitor : public virtual CefBase {
 public:
  virtual void Visit(CefRefPtr<CefDOMDocument> document) = 0;
};

class CefDOMDocument : public virtual CefBase {
 public:
  typedef cef_dom_document_type_t Type;

  virtual Type GetType() = 0;
  virtual CefRefPtr<CefDOMNode> GetFocusedNode() = 0;
  virtual CefString GetTitle() = 0;
};

// A node of a document; only the focused-node view is modelled.
class CefDOMNode : public virtual CefBase {
 public:
  typedef cef_dom_node_type_t Type;

  virtual Type GetType() = 0;
  virtual bool IsElement() = 0;
  // True for text fields, text areas and content-editable elements.
  virtual bool IsEditable() = 0;
  virtual CefString GetName() = 0;
  virtual CefString GetElementTagName() = 0;
};

#endif  // CEF_INCLUDE_CEF_DOM_H_
