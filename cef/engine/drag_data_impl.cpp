#include "engine/drag_data_impl.h"

#include "engine/logging.h"

namespace cefengine {

void DragDataImpl::SetFileContents(const std::wstring& file_name, const std::string& bytes) {
  std::lock_guard<std::mutex> hold(lock_);
  file_name_ = file_name;
  contents_ = bytes;
  has_contents_ = true;
}

void DragDataImpl::SetReadOnly() {
  std::lock_guard<std::mutex> hold(lock_);
  read_only_ = true;
}

CefRefPtr<CefDragData> DragDataImpl::Clone() {
  CefRefPtr<DragDataImpl> copy = new DragDataImpl();
  std::lock_guard<std::mutex> hold(lock_);
  copy->link_url_ = link_url_;
  copy->link_title_ = link_title_;
  copy->link_metadata_ = link_metadata_;
  copy->fragment_text_ = fragment_text_;
  copy->fragment_html_ = fragment_html_;
  copy->fragment_base_url_ = fragment_base_url_;
  copy->file_name_ = file_name_;
  copy->has_contents_ = has_contents_;
  copy->contents_ = contents_;
  copy->files_ = files_;
  return copy.get();
}

bool DragDataImpl::IsReadOnly() {
  std::lock_guard<std::mutex> hold(lock_);
  return read_only_;
}

bool DragDataImpl::IsLink() {
  std::lock_guard<std::mutex> hold(lock_);
  return !link_url_.empty() && !has_contents_;
}

bool DragDataImpl::IsFragment() {
  std::lock_guard<std::mutex> hold(lock_);
  bool link = !link_url_.empty() && !has_contents_;
  bool file = has_contents_ || !files_.empty();
  return !link && !file && (!fragment_text_.empty() || !fragment_html_.empty());
}

bool DragDataImpl::IsFile() {
  std::lock_guard<std::mutex> hold(lock_);
  return has_contents_ || !files_.empty();
}

CefString DragDataImpl::GetLinkURL() {
  std::lock_guard<std::mutex> hold(lock_);
  return link_url_;
}

CefString DragDataImpl::GetLinkTitle() {
  std::lock_guard<std::mutex> hold(lock_);
  return link_title_;
}

CefString DragDataImpl::GetLinkMetadata() {
  std::lock_guard<std::mutex> hold(lock_);
  return link_metadata_;
}

CefString DragDataImpl::GetFragmentText() {
  std::lock_guard<std::mutex> hold(lock_);
  return fragment_text_;
}

CefString DragDataImpl::GetFragmentHtml() {
  std::lock_guard<std::mutex> hold(lock_);
  return fragment_html_;
}

CefString DragDataImpl::GetFragmentBaseURL() {
  std::lock_guard<std::mutex> hold(lock_);
  return fragment_base_url_;
}

CefString DragDataImpl::GetFileName() {
  std::lock_guard<std::mutex> hold(lock_);
  return file_name_;
}

size_t DragDataImpl::GetFileContents(CefRefPtr<CefStreamWriter> writer) {
  std::string bytes;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!has_contents_)
      return 0;
    if (!writer)
      return contents_.size();
    bytes = contents_;
  }
  if (bytes.empty())
    return 0;
  // The writer is client code (it may call back into this object), so it runs without the lock.
  return writer->Write(bytes.data(), 1, bytes.size());
}

bool DragDataImpl::GetFileNames(std::vector<CefString>& names) {
  std::lock_guard<std::mutex> hold(lock_);
  if (files_.empty())
    return false;
  for (const File& file : files_)
    names.push_back(file.display_name.empty() ? file.path : file.display_name);
  return true;
}

bool DragDataImpl::WritableLocked(const char* method) {
  if (!read_only_)
    return true;
  CEFENGINE_MISUSE(std::string("CefDragData::") + method + " on read-only drag data ignored");
  return false;
}

void DragDataImpl::Set(std::wstring* field, const CefString& value, const char* method) {
  std::lock_guard<std::mutex> hold(lock_);
  if (WritableLocked(method))
    *field = value.ToWString();
}

void DragDataImpl::SetLinkURL(const CefString& url) {
  Set(&link_url_, url, "SetLinkURL");
}

void DragDataImpl::SetLinkTitle(const CefString& title) {
  Set(&link_title_, title, "SetLinkTitle");
}

void DragDataImpl::SetLinkMetadata(const CefString& data) {
  Set(&link_metadata_, data, "SetLinkMetadata");
}

void DragDataImpl::SetFragmentText(const CefString& text) {
  Set(&fragment_text_, text, "SetFragmentText");
}

void DragDataImpl::SetFragmentHtml(const CefString& html) {
  Set(&fragment_html_, html, "SetFragmentHtml");
}

void DragDataImpl::SetFragmentBaseURL(const CefString& base_url) {
  Set(&fragment_base_url_, base_url, "SetFragmentBaseURL");
}

void DragDataImpl::ResetFileContents() {
  std::lock_guard<std::mutex> hold(lock_);
  if (!WritableLocked("ResetFileContents"))
    return;
  has_contents_ = false;
  contents_.clear();
  file_name_.clear();
}

void DragDataImpl::AddFile(const CefString& path, const CefString& display_name) {
  std::lock_guard<std::mutex> hold(lock_);
  if (!WritableLocked("AddFile"))
    return;
  if (path.empty()) {
    CEFENGINE_MISUSE("CefDragData::AddFile with an empty path ignored");
    return;
  }
  files_.push_back(File{path.ToWString(), display_name.ToWString()});
}

std::vector<DragDataImpl::File> DragDataImpl::Files() {
  std::lock_guard<std::mutex> hold(lock_);
  return files_;
}

std::string DescribeDragData(CefRefPtr<CefDragData> data) {
  if (!data)
    return "none";
  if (data->IsLink())
    return "link " + data->GetLinkURL().ToString();
  if (data->IsFile()) {
    std::vector<CefString> names;
    data->GetFileNames(names);
    std::string text = "files " + std::to_string(names.size());
    if (!data->GetFileName().empty())
      text += " contents " + data->GetFileName().ToString();
    return text;
  }
  if (data->IsFragment())
    return "fragment " + data->GetFragmentText().ToString();
  return "empty";
}

}  // namespace cefengine

CefRefPtr<CefDragData> CefDragData::Create() {
  return new cefengine::DragDataImpl();
}
