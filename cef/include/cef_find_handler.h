#ifndef CEF_INCLUDE_CEF_FIND_HANDLER_H_
#define CEF_INCLUDE_CEF_FIND_HANDLER_H_

#include "include/cef_base.h"

// Not used by this engine's clients: the engine's defaults apply.
class CefFindHandler : public virtual CefBase {
 public:
};

#endif  // CEF_INCLUDE_CEF_FIND_HANDLER_H_
