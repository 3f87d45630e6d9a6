#ifndef CEF_INCLUDE_CEF_REQUEST_H_
#define CEF_INCLUDE_CEF_REQUEST_H_

#include <map>

#include "include/cef_base.h"

class CefPostData;

// A web request. Requests the engine hands to handlers may be read-only.
class CefRequest : public virtual CefBase {
 public:
  typedef std::multimap<CefString, CefString> HeaderMap;
  typedef cef_referrer_policy_t ReferrerPolicy;
  typedef cef_resource_type_t ResourceType;
  typedef cef_transition_type_t TransitionType;

  static CefRefPtr<CefRequest> Create();

  virtual bool IsReadOnly() = 0;
  virtual CefString GetURL() = 0;
  virtual void SetURL(const CefString& url) = 0;
  virtual CefString GetMethod() = 0;
  virtual void SetMethod(const CefString& method) = 0;
  virtual void SetReferrer(const CefString& referrer_url, ReferrerPolicy policy) = 0;
  virtual CefString GetReferrerURL() = 0;
  virtual ReferrerPolicy GetReferrerPolicy() = 0;
  virtual CefRefPtr<CefPostData> GetPostData() = 0;
  virtual void GetHeaderMap(HeaderMap& headerMap) = 0;
  virtual void SetHeaderMap(const HeaderMap& headerMap) = 0;
  virtual int GetFlags() = 0;
  virtual ResourceType GetResourceType() = 0;
  virtual TransitionType GetTransitionType() = 0;
  // Unique per request in the browser process; 0 for requests not yet sent.
  virtual uint64 GetIdentifier() = 0;
};

// The body of a POST request (read-only in this engine).
class CefPostData : public virtual CefBase {
 public:
  virtual bool IsReadOnly() = 0;
  virtual size_t GetElementCount() = 0;
};

#endif  // CEF_INCLUDE_CEF_REQUEST_H_
