#ifndef CEF_INCLUDE_CEF_PRINT_HANDLER_H_
#define CEF_INCLUDE_CEF_PRINT_HANDLER_H_

#include "include/cef_base.h"

// Printing is not offered by this engine; the interface exists for code that returns one.
class CefPrintHandler : public virtual CefBase {
 public:
};

#endif  // CEF_INCLUDE_CEF_PRINT_HANDLER_H_
