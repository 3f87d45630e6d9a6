#include "browser/ole_drag_data.h"

#include <shlobj.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/string_util.h"
#include "browser/bytes_write_handler.h"
#include "browser/drag_formats.h"
#include "browser/window_util.h"
#include "include/cef_stream.h"

namespace client {

static_assert(sizeof(FILEGROUPDESCRIPTORW) == kFileGroupDescriptorSize, "one descriptor, as the shell reads it");

namespace {

const char kCfHtmlHeader[] =
    "Version:0.9\r\nStartHTML:%010u\r\nEndHTML:%010u\r\nStartFragment:%010u\r\nEndFragment:%010u\r\n";
// What the header is once its four numbers are filled in.
const size_t kCfHtmlHeaderLength = 105;
const char kCfHtmlStart[] = "<html>\r\n<body>\r\n<!--StartFragment-->";
const char kCfHtmlEnd[] = "<!--EndFragment-->\r\n</body>\r\n</html>";
const char kSourceUrl[] = "SourceURL:";

// Data objects may come from any process: enumerators that never end are cut off here.
const int kMaxFormatBatches = 100;
const ULONG kFormatBatch = 10;

// The text of a block up to its first zero, never past the block's size.
std::wstring WideTextOf(const void* data, SIZE_T size) {
  const wchar_t* text = static_cast<const wchar_t*>(data);
  const size_t units = size / sizeof(wchar_t);
  size_t length = 0;
  while (length < units && text[length] != L'\0')
    ++length;
  return std::wstring(text, length);
}

std::string NarrowTextOf(const void* data, SIZE_T size) {
  const char* text = static_cast<const char*>(data);
  size_t length = 0;
  while (length < size && text[length] != '\0')
    ++length;
  return std::string(text, length);
}

// True when a DROPFILES block's file list starts and ends (with its double zero) inside the block,
// so that the shell's reader stays inside it too.
bool IsDropFilesBlockSound(const void* data, SIZE_T size) {
  if (size < sizeof(DROPFILES))
    return false;
  const DROPFILES* drop = static_cast<const DROPFILES*>(data);
  if (drop->pFiles < sizeof(DROPFILES) || drop->pFiles >= size)
    return false;
  const char* list = static_cast<const char*>(data) + drop->pFiles;
  const size_t bytes = size - drop->pFiles;
  if (drop->fWide) {
    const wchar_t* units = reinterpret_cast<const wchar_t*>(list);
    const size_t count = bytes / sizeof(wchar_t);
    for (size_t i = 0; i + 1 < count; ++i)
      if (units[i] == L'\0' && units[i + 1] == L'\0')
        return true;
    // An empty list is one zero.
    return count >= 1 && units[0] == L'\0';
  }
  for (size_t i = 0; i + 1 < bytes; ++i)
    if (list[i] == '\0' && list[i + 1] == '\0')
      return true;
  return bytes >= 1 && list[0] == '\0';
}

void ReadDroppedFiles(HGLOBAL block, const void* data, SIZE_T size, CefRefPtr<CefDragData> drag_data) {
  if (!IsDropFilesBlockSound(data, size))
    return;
  HDROP drop = static_cast<HDROP>(block);
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    wchar_t path[4096];
    if (DragQueryFileW(drop, i, path, 4096) == 0)
      continue;
    const std::wstring file(path);
    const size_t slash = file.rfind(L'\\');
    const std::wstring display = slash == std::wstring::npos ? file : file.substr(slash + 1);
    drag_data->AddFile(file, display);
  }
}

// One format of the data object into drag_data. *have_unicode_text is set once text came from
// CF_UNICODETEXT, which the 8-bit text then never replaces.
void ReadFormat(IDataObject* data_object, FORMATETC format, CefRefPtr<CefDragData> drag_data,
                bool* have_unicode_text) {
  const DragFormats& registered = RegisteredDragFormats();
  const CLIPFORMAT cf = format.cfFormat;
  const bool wanted = cf == CF_UNICODETEXT || cf == CF_TEXT || cf == CF_HDROP ||
                      (registered.moz_url != 0 && cf == registered.moz_url) ||
                      (registered.html != 0 && cf == registered.html);
  if (!wanted || format.tymed != TYMED_HGLOBAL)
    return;

  STGMEDIUM medium = {};
  if (FAILED(data_object->GetData(&format, &medium)))
    return;
  if (medium.tymed != TYMED_HGLOBAL || !medium.hGlobal) {
    ReleaseStgMedium(&medium);
    return;
  }
  const void* data = GlobalLock(medium.hGlobal);
  if (!data) {
    ReleaseStgMedium(&medium);
    return;
  }
  const SIZE_T size = GlobalSize(medium.hGlobal);

  if (cf == CF_UNICODETEXT) {
    drag_data->SetFragmentText(WideTextOf(data, size));
    *have_unicode_text = true;
  } else if (cf == CF_TEXT) {
    if (!*have_unicode_text)
      drag_data->SetFragmentText(StringUtil::MbToWString(NarrowTextOf(data, size), CP_ACP));
  } else if (cf == registered.moz_url) {
    const std::wstring text = WideTextOf(data, size);
    const size_t line_feed = text.rfind(L'\n');
    if (line_feed == std::wstring::npos) {
      drag_data->SetLinkURL(text);
      drag_data->SetLinkTitle(text);
    } else {
      drag_data->SetLinkURL(text.substr(0, line_feed));
      drag_data->SetLinkTitle(text.substr(line_feed + 1));
    }
  } else if (cf == registered.html) {
    std::string base_url;
    const std::string html = FragmentOfCfHtml(NarrowTextOf(data, size), &base_url);
    drag_data->SetFragmentHtml(CefString(html));
    drag_data->SetFragmentBaseURL(CefString(base_url));
  } else if (cf == CF_HDROP) {
    ReadDroppedFiles(medium.hGlobal, data, size, drag_data);
  }

  GlobalUnlock(medium.hGlobal);
  // The source may keep ownership (pUnkForRelease): only ReleaseStgMedium honours that.
  ReleaseStgMedium(&medium);
}

// A number of a CF_HTML header field at pos, limited to [0, limit].
size_t HeaderNumberAt(const std::string& text, size_t pos, size_t limit) {
  const long long value = std::strtoll(text.c_str() + pos, nullptr, 10);
  if (value <= 0)
    return 0;
  if (static_cast<unsigned long long>(value) > limit)
    return limit;
  return static_cast<size_t>(value);
}

FORMATETC HGlobalFormat(CLIPFORMAT cf) {
  FORMATETC format = {cf, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  return format;
}

// A new fixed block holding a copy of the bytes; null when it cannot be made.
HGLOBAL NewBlock(const void* bytes, size_t size) {
  HGLOBAL block = GlobalAlloc(GPTR, size);
  if (block && size)
    std::memcpy(block, bytes, size);
  return block;
}

class FormatList {
 public:
  // Keeps the block when there is one; a block that could not be made leaves the format out.
  void Add(CLIPFORMAT cf, HGLOBAL block) {
    if (!block)
      return;
    formats_.push_back(HGlobalFormat(cf));
    STGMEDIUM medium = {};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block;
    medium.pUnkForRelease = nullptr;
    media_.push_back(medium);
  }
  void AddWideText(CLIPFORMAT cf, const std::wstring& text) {
    Add(cf, NewBlock(text.c_str(), (text.size() + 1) * sizeof(wchar_t)));
  }
  CComPtr<DataObjectWin> Make() {
    return DataObjectWin::Create(formats_.data(), media_.data(), static_cast<int>(formats_.size()));
  }

 private:
  std::vector<FORMATETC> formats_;
  std::vector<STGMEDIUM> media_;
};

}  // namespace

CefRefPtr<CefDragData> ReadDragDataFromDataObject(IDataObject* data_object) {
  CefRefPtr<CefDragData> drag_data = CefDragData::Create();
  if (!data_object)
    return drag_data;
  CComPtr<IEnumFORMATETC> enumerator;
  if (FAILED(data_object->EnumFormatEtc(DATADIR_GET, &enumerator)) || !enumerator)
    return drag_data;
  enumerator->Reset();

  bool have_unicode_text = false;
  HRESULT more = S_OK;
  for (int batch = 0; batch < kMaxFormatBatches && more == S_OK; ++batch) {
    FORMATETC formats[kFormatBatch] = {};
    ULONG fetched = 0;
    more = enumerator->Next(kFormatBatch, formats, &fetched);
    if (fetched > kFormatBatch)
      fetched = kFormatBatch;
    for (ULONG i = 0; i < fetched; ++i) {
      ReadFormat(data_object, formats[i], drag_data, &have_unicode_text);
      if (formats[i].ptd)
        CoTaskMemFree(formats[i].ptd);
    }
  }
  return drag_data;
}

bool BuildDataObjectFromDragData(CefRefPtr<CefDragData> drag_data, CComPtr<DataObjectWin>& data_object) {
  const DragFormats& registered = RegisteredDragFormats();
  FormatList list;

  const std::wstring text = drag_data->GetFragmentText().ToWString();
  if (!text.empty())
    list.AddWideText(CF_UNICODETEXT, text);

  const std::wstring url = drag_data->GetLinkURL().ToWString();
  if (drag_data->IsLink() && !url.empty())
    list.AddWideText(static_cast<CLIPFORMAT>(registered.moz_url), url + L"\n" + drag_data->GetLinkTitle().ToWString());

  const std::string html = drag_data->GetFragmentHtml().ToString();
  if (!html.empty()) {
    const std::string cf_html = WrapHtmlAsCfHtml(html, drag_data->GetFragmentBaseURL().ToString());
    list.Add(static_cast<CLIPFORMAT>(registered.html), NewBlock(cf_html.c_str(), cf_html.size() + 1));
  }

  const size_t contents_size = drag_data->GetFileContents(nullptr);
  // The handler counts in 32 bits; larger contents are not offered.
  if (contents_size > 0 && contents_size <= UINT32_MAX) {
    CefRefPtr<BytesWriteHandler> handler = new BytesWriteHandler(static_cast<uint32_t>(contents_size));
    CefRefPtr<CefStreamWriter> writer = CefStreamWriter::CreateForHandler(handler.get());
    drag_data->GetFileContents(writer);

    FILEGROUPDESCRIPTORW descriptor = {};
    descriptor.cItems = 1;
    descriptor.fgd[0].dwFlags = FD_LINKUI;
    const std::wstring name = drag_data->GetFileName().ToWString();
    const size_t name_length = name.size() < kMaxDescriptorFileName ? name.size() : kMaxDescriptorFileName;
    std::memcpy(descriptor.fgd[0].cFileName, name.c_str(), name_length * sizeof(wchar_t));
    list.Add(static_cast<CLIPFORMAT>(registered.file_descriptor), NewBlock(&descriptor, sizeof(descriptor)));

    const size_t written = static_cast<size_t>(handler->GetDataSize());
    list.Add(static_cast<CLIPFORMAT>(registered.file_contents), NewBlock(handler->GetData(), written));
  }

  data_object = list.Make();
  return true;
}

std::string WrapHtmlAsCfHtml(const std::string& html, const std::string& base_url) {
  if (html.empty())
    return std::string();
  const size_t start_length = sizeof(kCfHtmlStart) - 1;
  const size_t end_length = sizeof(kCfHtmlEnd) - 1;
  size_t start_html = kCfHtmlHeaderLength;
  if (!base_url.empty())
    start_html += sizeof(kSourceUrl) - 1 + base_url.size() + 2;
  const size_t start_fragment = start_html + start_length;
  const size_t end_fragment = start_fragment + html.size();
  const size_t end_html = end_fragment + end_length;

  char header[kCfHtmlHeaderLength + 1];
  std::snprintf(header, sizeof(header), kCfHtmlHeader, static_cast<unsigned>(start_html),
                static_cast<unsigned>(end_html), static_cast<unsigned>(start_fragment),
                static_cast<unsigned>(end_fragment));

  std::string result(header);
  if (!base_url.empty())
    result += kSourceUrl + base_url + "\r\n";
  result += kCfHtmlStart;
  result += html;
  result += kCfHtmlEnd;
  return result;
}

void ParseCfHtml(const std::string& cf_html, std::string* base_url, size_t* html_start, size_t* fragment_start,
                 size_t* fragment_end) {
  const size_t length = cf_html.size();
  if (base_url) {
    const size_t source = cf_html.find(kSourceUrl);
    if (source != std::string::npos) {
      const size_t begin = source + sizeof(kSourceUrl) - 1;
      const size_t line_feed = cf_html.find('\n', begin);
      if (line_feed != std::string::npos)
        *base_url = cf_html.substr(begin, line_feed - begin);
    }
  }

  const size_t html = cf_html.find("<html");
  if (html_start)
    *html_start = html;

  const size_t start_tag = html == std::string::npos ? std::string::npos : cf_html.find("<!--StartFragment", html);
  if (start_tag == std::string::npos) {
    // The header's numbers, which a hostile source may set to anything.
    const size_t start_field = cf_html.find("StartFragment:");
    if (start_field != std::string::npos)
      *fragment_start = HeaderNumberAt(cf_html, start_field + 14, length);
    const size_t end_field = cf_html.find("EndFragment:");
    if (end_field != std::string::npos)
      *fragment_end = HeaderNumberAt(cf_html, end_field + 12, length);
    return;
  }
  const size_t close = cf_html.find('>', start_tag);
  *fragment_start = close == std::string::npos ? 0 : close + 1;
  const size_t end_tag = cf_html.rfind("<!--EndFragment");
  *fragment_end = cf_html.rfind('<', end_tag);
}

std::string FragmentOfCfHtml(const std::string& cf_html, std::string* base_url) {
  size_t start = std::string::npos;
  size_t end = std::string::npos;
  ParseCfHtml(cf_html, base_url, nullptr, &start, &end);
  if (start == std::string::npos || end == std::string::npos || start > end || end > cf_html.size())
    return std::string();
  return cf_html.substr(start, end - start);
}

CefMouseEvent MakeDragMouseEvent(POINTL screen_point, DWORD key_state, HWND hwnd) {
  POINT point = {screen_point.x, screen_point.y};
  ScreenToClient(hwnd, &point);
  CefMouseEvent ev;
  ev.x = point.x;
  ev.y = point.y;
  ev.modifiers = GetMouseModifierFlags(key_state);
  return ev;
}

}  // namespace client
