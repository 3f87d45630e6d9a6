// The engine's requests, request bodies and responses.
//
// Objects are not thread-safe: one thread at a time uses one object (the loader hands a request from
// thread to thread with its tasks, never to two threads at once). A read-only object ignores every
// setter and logs a misuse warning; the engine marks requests read-only while a client looks at them
// in a callback that must not change them, and lifts the mark with the Internal* setters below.
#ifndef CEF_ENGINE_REQUEST_IMPL_H_
#define CEF_ENGINE_REQUEST_IMPL_H_

#include <string>
#include <vector>

#include "include/cef_request.h"
#include "include/cef_response.h"

namespace cefengine {

class PostDataImpl;

class RequestImpl : public CefRequest {
 public:
  RequestImpl() = default;

  // CefRequest
  bool IsReadOnly() override;
  CefString GetURL() override;
  void SetURL(const CefString& url) override;
  CefString GetMethod() override;
  void SetMethod(const CefString& method) override;
  void SetReferrer(const CefString& referrer_url, ReferrerPolicy policy) override;
  CefString GetReferrerURL() override;
  ReferrerPolicy GetReferrerPolicy() override;
  CefRefPtr<CefPostData> GetPostData() override;
  void SetPostData(CefRefPtr<CefPostData> postData) override;
  void GetHeaderMap(HeaderMap& headerMap) override;
  void SetHeaderMap(const HeaderMap& headerMap) override;
  void Set(const CefString& url, const CefString& method, CefRefPtr<CefPostData> postData,
           const HeaderMap& headerMap) override;
  int GetFlags() override;
  void SetFlags(int flags) override;
  ResourceType GetResourceType() override;
  TransitionType GetTransitionType() override;
  uint64 GetIdentifier() override;

  // Engine side: these ignore the read-only mark.
  void SetReadOnly(bool read_only);
  void InternalSetURL(const std::wstring& url) { url_ = url; }
  void InternalSetResourceType(ResourceType type) { resource_type_ = type; }
  void InternalSetTransitionType(TransitionType type) { transition_type_ = type; }
  void InternalSetIdentifier(uint64 identifier) { identifier_ = identifier; }

 private:
  bool CheckWritable(const char* method);

  bool read_only_ = false;
  std::wstring url_;
  std::wstring method_ = L"GET";
  std::wstring referrer_;
  ReferrerPolicy referrer_policy_ = REFERRER_POLICY_ALWAYS;
  CefRefPtr<CefPostData> post_data_;
  HeaderMap headers_;
  int flags_ = UR_FLAG_NONE;
  ResourceType resource_type_ = RT_MAIN_FRAME;
  TransitionType transition_type_ = TT_EXPLICIT;
  uint64 identifier_ = 0;

  IMPLEMENT_REFCOUNTING(RequestImpl);
};

class PostDataElementImpl : public CefPostDataElement {
 public:
  PostDataElementImpl() = default;

  bool IsReadOnly() override;
  void SetToEmpty() override;
  void SetToFile(const CefString& fileName) override;
  void SetToBytes(size_t size, const void* bytes) override;
  Type GetType() override;
  CefString GetFile() override;
  size_t GetBytesCount() override;
  size_t GetBytes(size_t size, void* bytes) override;

  void SetReadOnly(bool read_only) { read_only_ = read_only; }

 private:
  bool CheckWritable(const char* method);

  bool read_only_ = false;
  Type type_ = PDE_TYPE_EMPTY;
  std::wstring file_;
  std::string bytes_;

  IMPLEMENT_REFCOUNTING(PostDataElementImpl);
};

class PostDataImpl : public CefPostData {
 public:
  PostDataImpl() = default;

  bool IsReadOnly() override;
  size_t GetElementCount() override;
  void GetElements(ElementVector& elements) override;
  bool RemoveElement(CefRefPtr<CefPostDataElement> element) override;
  bool AddElement(CefRefPtr<CefPostDataElement> element) override;
  void RemoveElements() override;

  // Marks the body and every element it holds (when they are the engine's).
  void SetReadOnly(bool read_only);

 private:
  bool CheckWritable(const char* method);

  bool read_only_ = false;
  ElementVector elements_;

  IMPLEMENT_REFCOUNTING(PostDataImpl);
};

class ResponseImpl : public CefResponse {
 public:
  ResponseImpl() = default;

  bool IsReadOnly() override;
  int GetStatus() override;
  void SetStatus(int status) override;
  CefString GetStatusText() override;
  void SetStatusText(const CefString& statusText) override;
  CefString GetMimeType() override;
  void SetMimeType(const CefString& mimeType) override;
  CefString GetHeader(const CefString& name) override;
  void GetHeaderMap(HeaderMap& headerMap) override;
  void SetHeaderMap(const HeaderMap& headerMap) override;

  void SetReadOnly(bool read_only) { read_only_ = read_only; }

 private:
  bool CheckWritable(const char* method);

  bool read_only_ = false;
  int status_ = 0;
  std::wstring status_text_;
  std::wstring mime_type_;
  HeaderMap headers_;

  IMPLEMENT_REFCOUNTING(ResponseImpl);
};

// A process-wide request identifier: 1, 2, ... Any thread.
uint64 NextRequestIdentifier();

// The engine object behind `request`, or null for a request the client implemented.
RequestImpl* AsRequestImpl(CefRefPtr<CefRequest> request);

// Marks an engine request (and its body) read-only or writable again; a client-made request is left
// alone. Any thread that currently owns the request.
void SetRequestReadOnly(CefRefPtr<CefRequest> request, bool read_only);

// The bytes of a request body, elements in order; file elements are read from disk. False, with a
// log line, when a file element cannot be read. Blocking; not for the UI thread.
[[nodiscard]] bool FlattenPostData(CefRefPtr<CefPostData> post_data, std::string* out);

}  // namespace cefengine

#endif  // CEF_ENGINE_REQUEST_IMPL_H_
