#include "engine/request_impl.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "engine/logging.h"
#include "engine/utf.h"
#include "include/base/cef_logging.h"

namespace cefengine {

namespace {

std::atomic<uint64> g_next_identifier{1};

void ReportReadOnly(const char* cls, const char* method) {
  CEFENGINE_MISUSE(std::string(cls) + "::" + method + " on a read-only object ignored");
}

}  // namespace

uint64 NextRequestIdentifier() {
  return g_next_identifier++;
}

RequestImpl* AsRequestImpl(CefRefPtr<CefRequest> request) {
  return request ? dynamic_cast<RequestImpl*>(request.get()) : nullptr;
}

void SetRequestReadOnly(CefRefPtr<CefRequest> request, bool read_only) {
  if (RequestImpl* impl = AsRequestImpl(request))
    impl->SetReadOnly(read_only);
}

// --- RequestImpl ---

bool RequestImpl::CheckWritable(const char* method) {
  if (!read_only_)
    return true;
  ReportReadOnly("CefRequest", method);
  return false;
}

bool RequestImpl::IsReadOnly() {
  return read_only_;
}

CefString RequestImpl::GetURL() {
  return url_;
}

void RequestImpl::SetURL(const CefString& url) {
  if (CheckWritable("SetURL"))
    url_ = url.ToWString();
}

CefString RequestImpl::GetMethod() {
  return method_;
}

void RequestImpl::SetMethod(const CefString& method) {
  if (CheckWritable("SetMethod"))
    method_ = method.ToWString();
}

void RequestImpl::SetReferrer(const CefString& referrer_url, ReferrerPolicy policy) {
  if (!CheckWritable("SetReferrer"))
    return;
  referrer_ = referrer_url.ToWString();
  referrer_policy_ = policy;
}

CefString RequestImpl::GetReferrerURL() {
  return referrer_;
}

CefRequest::ReferrerPolicy RequestImpl::GetReferrerPolicy() {
  return referrer_policy_;
}

CefRefPtr<CefPostData> RequestImpl::GetPostData() {
  return post_data_;
}

void RequestImpl::SetPostData(CefRefPtr<CefPostData> postData) {
  if (CheckWritable("SetPostData"))
    post_data_ = postData;
}

void RequestImpl::GetHeaderMap(HeaderMap& headerMap) {
  headerMap = headers_;
}

void RequestImpl::SetHeaderMap(const HeaderMap& headerMap) {
  if (CheckWritable("SetHeaderMap"))
    headers_ = headerMap;
}

void RequestImpl::Set(const CefString& url, const CefString& method, CefRefPtr<CefPostData> postData,
                      const HeaderMap& headerMap) {
  if (!CheckWritable("Set"))
    return;
  url_ = url.ToWString();
  method_ = method.ToWString();
  post_data_ = postData;
  headers_ = headerMap;
}

int RequestImpl::GetFlags() {
  return flags_;
}

void RequestImpl::SetFlags(int flags) {
  if (CheckWritable("SetFlags"))
    flags_ = flags;
}

CefRequest::ResourceType RequestImpl::GetResourceType() {
  return resource_type_;
}

CefRequest::TransitionType RequestImpl::GetTransitionType() {
  return transition_type_;
}

uint64 RequestImpl::GetIdentifier() {
  return identifier_;
}

void RequestImpl::SetReadOnly(bool read_only) {
  read_only_ = read_only;
  if (PostDataImpl* body = post_data_ ? dynamic_cast<PostDataImpl*>(post_data_.get()) : nullptr)
    body->SetReadOnly(read_only);
}

// --- PostDataElementImpl ---

bool PostDataElementImpl::CheckWritable(const char* method) {
  if (!read_only_)
    return true;
  ReportReadOnly("CefPostDataElement", method);
  return false;
}

bool PostDataElementImpl::IsReadOnly() {
  return read_only_;
}

void PostDataElementImpl::SetToEmpty() {
  if (!CheckWritable("SetToEmpty"))
    return;
  type_ = PDE_TYPE_EMPTY;
  file_.clear();
  bytes_.clear();
}

void PostDataElementImpl::SetToFile(const CefString& fileName) {
  if (!CheckWritable("SetToFile"))
    return;
  type_ = PDE_TYPE_FILE;
  file_ = fileName.ToWString();
  bytes_.clear();
}

void PostDataElementImpl::SetToBytes(size_t size, const void* bytes) {
  if (!CheckWritable("SetToBytes"))
    return;
  if (!bytes && size != 0) {
    CEFENGINE_MISUSE("CefPostDataElement::SetToBytes with null bytes ignored");
    return;
  }
  type_ = PDE_TYPE_BYTES;
  file_.clear();
  bytes_.assign(static_cast<const char*>(bytes), size);
}

CefPostDataElement::Type PostDataElementImpl::GetType() {
  return type_;
}

CefString PostDataElementImpl::GetFile() {
  return file_;
}

size_t PostDataElementImpl::GetBytesCount() {
  return bytes_.size();
}

size_t PostDataElementImpl::GetBytes(size_t size, void* bytes) {
  if (!bytes)
    return 0;
  size_t n = std::min(size, bytes_.size());
  memcpy(bytes, bytes_.data(), n);
  return n;
}

// --- PostDataImpl ---

bool PostDataImpl::CheckWritable(const char* method) {
  if (!read_only_)
    return true;
  ReportReadOnly("CefPostData", method);
  return false;
}

bool PostDataImpl::IsReadOnly() {
  return read_only_;
}

size_t PostDataImpl::GetElementCount() {
  return elements_.size();
}

void PostDataImpl::GetElements(ElementVector& elements) {
  elements = elements_;
}

bool PostDataImpl::RemoveElement(CefRefPtr<CefPostDataElement> element) {
  if (!CheckWritable("RemoveElement"))
    return false;
  auto it = std::find(elements_.begin(), elements_.end(), element);
  if (it == elements_.end())
    return false;
  elements_.erase(it);
  return true;
}

bool PostDataImpl::AddElement(CefRefPtr<CefPostDataElement> element) {
  if (!CheckWritable("AddElement"))
    return false;
  if (!element || std::find(elements_.begin(), elements_.end(), element) != elements_.end())
    return false;
  elements_.push_back(element);
  return true;
}

void PostDataImpl::RemoveElements() {
  if (CheckWritable("RemoveElements"))
    elements_.clear();
}

void PostDataImpl::SetReadOnly(bool read_only) {
  read_only_ = read_only;
  for (auto& element : elements_)
    if (PostDataElementImpl* impl = dynamic_cast<PostDataElementImpl*>(element.get()))
      impl->SetReadOnly(read_only);
}

// --- ResponseImpl ---

bool ResponseImpl::CheckWritable(const char* method) {
  if (!read_only_)
    return true;
  ReportReadOnly("CefResponse", method);
  return false;
}

bool ResponseImpl::IsReadOnly() {
  return read_only_;
}

int ResponseImpl::GetStatus() {
  return status_;
}

void ResponseImpl::SetStatus(int status) {
  if (CheckWritable("SetStatus"))
    status_ = status;
}

CefString ResponseImpl::GetStatusText() {
  return status_text_;
}

void ResponseImpl::SetStatusText(const CefString& statusText) {
  if (CheckWritable("SetStatusText"))
    status_text_ = statusText.ToWString();
}

CefString ResponseImpl::GetMimeType() {
  return mime_type_;
}

void ResponseImpl::SetMimeType(const CefString& mimeType) {
  if (CheckWritable("SetMimeType"))
    mime_type_ = mimeType.ToWString();
}

CefString ResponseImpl::GetHeader(const CefString& name) {
  std::wstring wanted = AsciiLower(name.ToWString());
  for (const auto& it : headers_)
    if (AsciiLower(it.first.ToWString()) == wanted)
      return it.second;
  return CefString();
}

void ResponseImpl::GetHeaderMap(HeaderMap& headerMap) {
  headerMap = headers_;
}

void ResponseImpl::SetHeaderMap(const HeaderMap& headerMap) {
  if (CheckWritable("SetHeaderMap"))
    headers_ = headerMap;
}

// --- Bodies on the wire ---

bool FlattenPostData(CefRefPtr<CefPostData> post_data, std::string* out) {
  out->clear();
  if (!post_data)
    return true;
  CefPostData::ElementVector elements;
  post_data->GetElements(elements);
  for (auto& element : elements) {
    switch (element->GetType()) {
      case PDE_TYPE_BYTES: {
        size_t n = element->GetBytesCount();
        size_t at = out->size();
        out->resize(at + n);
        if (n)
          out->resize(at + element->GetBytes(n, &(*out)[at]));
        break;
      }
      case PDE_TYPE_FILE: {
        std::wstring path = element->GetFile().ToWString();
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
          LOG(ERROR) << "Request body file cannot be read: " << WideToUtf8(path);
          return false;
        }
        char chunk[16384];
        DWORD got = 0;
        bool ok = true;
        while ((ok = ReadFile(file, chunk, sizeof(chunk), &got, nullptr) != FALSE) && got > 0)
          out->append(chunk, got);
        CloseHandle(file);
        if (!ok) {
          LOG(ERROR) << "Request body file read failed: " << WideToUtf8(path);
          return false;
        }
        break;
      }
      case PDE_TYPE_EMPTY:
        break;
    }
  }
  return true;
}

}  // namespace cefengine

using namespace cefengine;

CefRefPtr<CefRequest> CefRequest::Create() {
  return new RequestImpl();
}

CefRefPtr<CefPostData> CefPostData::Create() {
  return new PostDataImpl();
}

CefRefPtr<CefPostDataElement> CefPostDataElement::Create() {
  return new PostDataElementImpl();
}

CefRefPtr<CefResponse> CefResponse::Create() {
  return new ResponseImpl();
}
