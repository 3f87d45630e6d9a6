#ifndef CEF_INCLUDE_CEF_SSL_INFO_H_
#define CEF_INCLUDE_CEF_SSL_INFO_H_

#include "include/cef_base.h"

// The certificate of a failed https request, as CefRequestHandler::OnCertificateError receives
// it. The engine has no certificates to describe, so it offers none of CEF's accessors: a handler
// gets a valid object it may keep, and nothing to read from it.
class CefSSLInfo : public virtual CefBase {};

#endif  // CEF_INCLUDE_CEF_SSL_INFO_H_
