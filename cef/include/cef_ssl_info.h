#ifndef CEF_INCLUDE_CEF_SSL_INFO_H_
#define CEF_INCLUDE_CEF_SSL_INFO_H_

#include "include/cef_base.h"

// The certificate of a failed https request (subject and issuer common names, validity).
class CefSSLInfo : public virtual CefBase {
 public:
  virtual CefString GetSubjectCommonName() = 0;
  virtual CefString GetIssuerCommonName() = 0;
  virtual CefTime GetValidStart() = 0;
  virtual CefTime GetValidExpiry() = 0;
};

#endif  // CEF_INCLUDE_CEF_SSL_INFO_H_
