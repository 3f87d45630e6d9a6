// What the engine knows of a document: a scan of its HTML for the few elements the engine acts on. There is no
// layout and no DOM beyond this.
//
// HTML is text/html, or an unknown type whose text starts (after blanks) with "<html" or "<!doctype" in any case.
// Text is UTF-8, or UTF-16 with a byte-order mark. Tag and attribute names compare without case; attribute values
// may be quoted with ' or " or unquoted; comments are skipped; script bodies are kept verbatim.
#ifndef CEF_ENGINE_DOCUMENT_MODEL_H_
#define CEF_ENGINE_DOCUMENT_MODEL_H_

#include <string>
#include <vector>

#include "include/internal/cef_types.h"
#include "include/internal/cef_types_wrappers.h"

namespace cefengine {

struct ScannedDocument {
  bool is_html = false;
  bool has_title = false;
  std::wstring title;  // entities (&amp; &lt; &gt; &quot; &#N; &#xN;) decoded, blank runs collapsed, trimmed

  struct ChildFrame {
    std::wstring url;   // resolved against the document URL; as written when it cannot be resolved
    std::wstring name;  // the name attribute, "" when absent
  };
  std::vector<ChildFrame> frames;  // <iframe> and <frame>, document order, at most kMaxChildFrames

  struct Script {
    std::wstring src;   // resolved; empty for an inline script
    std::wstring text;  // the inline body; empty for a src script
  };
  std::vector<Script> scripts;  // document order

  struct SubResource {
    std::wstring url;  // resolved
    cef_resource_type_t type = RT_SUB_RESOURCE;  // RT_IMAGE for <img src>, RT_STYLESHEET for <link href>,
                                                 // RT_SCRIPT for <script src>
  };
  std::vector<SubResource> subresources;  // document order

  struct Plugin {
    std::wstring mime_type;  // <embed type> or <object type>
    std::wstring url;        // <embed src> or <object data>, resolved
  };
  std::vector<Plugin> plugins;  // only elements with a type

  bool has_background = false;
  cef_color_t background = 0;  // <meta name="cefengine-background" content="#AARRGGBB"> (any CSS colour form)

  bool has_regions = false;  // <meta name="cefengine-regions" content="x,y,w,h,draggable;...">
  std::vector<CefDraggableRegion> regions;
};

// Frames per document; deeper nesting than kMaxFrameDepth is not loaded (enforced by the navigation).
const size_t kMaxChildFrames = 16;
const int kMaxFrameDepth = 3;

// Scans `bytes` served with `mime_type` from `url`. Never fails: anything that is not HTML gives is_html false.
ScannedDocument ScanDocument(const std::string& bytes, const std::wstring& mime_type, const std::wstring& url);

// Resolves `ref` against `base`. Only standard schemes (http, https, file, ftp, ws, wss and custom schemes
// registered as standard) resolve relative references; an absolute `ref` is returned as it is; otherwise "".
std::wstring ResolveUrl(const std::wstring& base, const std::wstring& ref);

}  // namespace cefengine

#endif  // CEF_ENGINE_DOCUMENT_MODEL_H_
