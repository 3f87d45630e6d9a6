#ifndef CEF_INCLUDE_CEF_REQUEST_H_
#define CEF_INCLUDE_CEF_REQUEST_H_

#include <map>
#include <vector>

#include "include/cef_base.h"

class CefPostData;
class CefPostDataElement;

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

  // Setters of a writable request; a read-only one ignores them. The engine's requests implement
  // them; the empty defaults only keep simple test doubles of this interface compiling.
  virtual void SetPostData(CefRefPtr<CefPostData> postData) {}
  virtual void SetFlags(int flags) {}
  virtual void Set(const CefString& url, const CefString& method, CefRefPtr<CefPostData> postData,
                   const HeaderMap& headerMap) {}
};

// The body of a request: an ordered list of elements. Not thread-safe; one thread at a time.
class CefPostData : public virtual CefBase {
 public:
  typedef std::vector<CefRefPtr<CefPostDataElement>> ElementVector;

  static CefRefPtr<CefPostData> Create();

  virtual bool IsReadOnly() = 0;
  virtual size_t GetElementCount() = 0;
  virtual void GetElements(ElementVector& elements) = 0;
  // False when the element is not part of this body or the body is read-only.
  virtual bool RemoveElement(CefRefPtr<CefPostDataElement> element) = 0;
  // False for a null element, one already added, or a read-only body.
  virtual bool AddElement(CefRefPtr<CefPostDataElement> element) = 0;
  virtual void RemoveElements() = 0;
};

// One part of a request body: nothing, bytes, or the contents of a file.
class CefPostDataElement : public virtual CefBase {
 public:
  typedef cef_postdataelement_type_t Type;

  static CefRefPtr<CefPostDataElement> Create();

  virtual bool IsReadOnly() = 0;
  virtual void SetToEmpty() = 0;
  virtual void SetToFile(const CefString& fileName) = 0;
  // Copies `size` bytes of `bytes`.
  virtual void SetToBytes(size_t size, const void* bytes) = 0;
  virtual Type GetType() = 0;
  virtual CefString GetFile() = 0;
  virtual size_t GetBytesCount() = 0;
  // Copies up to `size` bytes into `bytes`; returns the number copied.
  virtual size_t GetBytes(size_t size, void* bytes) = 0;
};

#endif  // CEF_INCLUDE_CEF_REQUEST_H_
