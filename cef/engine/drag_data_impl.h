// CefDragData: what a drag carries (a link, a text/HTML fragment, or files).
//
// Objects are plain data guarded by a lock, so any thread may read them. An object the engine hands to client code
// during a drag (OnDragEnter, StartDragging) is read-only: setters then change nothing and report misuse. Clone()
// always gives a writable copy.
#ifndef CEF_ENGINE_DRAG_DATA_IMPL_H_
#define CEF_ENGINE_DRAG_DATA_IMPL_H_

#include <mutex>
#include <string>
#include <vector>

#include "include/cef_drag_data.h"

namespace cefengine {

class DragDataImpl : public CefDragData {
 public:
  DragDataImpl() = default;

  // Engine side: the contents of a file dragged out of the page (an image, say) and the name it goes by. Replaces
  // earlier contents. Ignores the read-only state: the engine fills the object before handing it out.
  void SetFileContents(const std::wstring& file_name, const std::string& bytes);
  // Freezes the object before it reaches client code.
  void SetReadOnly();

  CefRefPtr<CefDragData> Clone() override;
  bool IsReadOnly() override;
  // A link: a URL and no file contents.
  bool IsLink() override;
  // A fragment: text or HTML, and neither a link nor files.
  bool IsFragment() override;
  // Files: file names added, or file contents present.
  bool IsFile() override;
  CefString GetLinkURL() override;
  CefString GetLinkTitle() override;
  CefString GetLinkMetadata() override;
  CefString GetFragmentText() override;
  CefString GetFragmentHtml() override;
  CefString GetFragmentBaseURL() override;
  CefString GetFileName() override;
  // Writes the file contents to `writer` in one Write call on the calling thread and returns what the writer took;
  // a null writer gets the size of the contents. 0 when there are none.
  size_t GetFileContents(CefRefPtr<CefStreamWriter> writer) override;
  // False when no file names were added.
  bool GetFileNames(std::vector<CefString>& names) override;
  void SetLinkURL(const CefString& url) override;
  void SetLinkTitle(const CefString& title) override;
  void SetLinkMetadata(const CefString& data) override;
  void SetFragmentText(const CefString& text) override;
  void SetFragmentHtml(const CefString& html) override;
  void SetFragmentBaseURL(const CefString& base_url) override;
  void ResetFileContents() override;
  void AddFile(const CefString& path, const CefString& display_name) override;

  // Paths added with AddFile, with their display names (for the journal and tests).
  struct File {
    std::wstring path;
    std::wstring display_name;
  };
  std::vector<File> Files();

 private:
  // Under lock_: true when a setter may proceed; reports misuse otherwise.
  bool WritableLocked(const char* method);
  // Assigns `value` to `field` unless the object is read-only.
  void Set(std::wstring* field, const CefString& value, const char* method);

  std::mutex lock_;
  bool read_only_ = false;
  std::wstring link_url_;
  std::wstring link_title_;
  std::wstring link_metadata_;
  std::wstring fragment_text_;
  std::wstring fragment_html_;
  std::wstring fragment_base_url_;
  std::wstring file_name_;
  bool has_contents_ = false;
  std::string contents_;
  std::vector<File> files_;

  IMPLEMENT_REFCOUNTING(DragDataImpl);
};

// A short description for the journal: "link <url>", "fragment <text>", "files <n>" or "empty".
std::string DescribeDragData(CefRefPtr<CefDragData> data);

}  // namespace cefengine

#endif  // CEF_ENGINE_DRAG_DATA_IMPL_H_
