#ifndef CEF_INCLUDE_CEF_AUTH_CALLBACK_H_
#define CEF_INCLUDE_CEF_AUTH_CALLBACK_H_

#include "include/cef_base.h"

// Answers an authentication request.
class CefAuthCallback : public virtual CefBase {
 public:
  virtual void Continue(const CefString& username, const CefString& password) = 0;
  virtual void Cancel() = 0;
};

#endif  // CEF_INCLUDE_CEF_AUTH_CALLBACK_H_
