// Drag and drop of off-screen views without a browser: CF_HTML both ways, the data object built
// from drag data, drag data read from data objects of other programs (hostile ones included),
// and the COM objects' rules.
#include "browser/ole_drag_data.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/drag_formats.h"
#include "browser/osr_dragdrop_win.h"
#include "engine/drag_data_impl.h"

using ATL::CComPtr;

namespace {

const size_t npos = std::string::npos;

std::string Number(const std::string& cf_html, const std::string& field) {
  const size_t at = cf_html.find(field + ":");
  return at == npos ? "" : cf_html.substr(at + field.size() + 1, 10);
}

TEST(CfHtml, TheWrapperWritesExactOffsetsAndTheParserFindsTheFragmentAgain) {
  const std::string plain = client::WrapHtmlAsCfHtml("abc", "");
  EXPECT_EQ(Number(plain, "StartHTML"), "0000000105");
  EXPECT_EQ(Number(plain, "StartFragment"), "0000000141");
  EXPECT_EQ(Number(plain, "EndFragment"), "0000000144");
  EXPECT_EQ(Number(plain, "EndHTML"), "0000000180");
  EXPECT_EQ(plain.size(), 180u);
  EXPECT_EQ(plain.substr(141, 3), "abc");
  EXPECT_EQ(plain.substr(105, 6), "<html>");

  const std::string based = client::WrapHtmlAsCfHtml("abc", "u");
  EXPECT_EQ(Number(based, "StartHTML"), "0000000118");
  EXPECT_EQ(Number(based, "StartFragment"), "0000000154");
  EXPECT_EQ(Number(based, "EndFragment"), "0000000157");
  EXPECT_EQ(Number(based, "EndHTML"), "0000000193");
  EXPECT_EQ(based.substr(105, 13), "SourceURL:u\r\n");

  EXPECT_EQ(client::WrapHtmlAsCfHtml("", "http://a.test/"), "");

  std::string base_url;
  const std::string html = "<b>bold \xE4\xB8\xAD</b>";
  EXPECT_EQ(client::FragmentOfCfHtml(client::WrapHtmlAsCfHtml(html, "http://a.test/p"), &base_url), html);
  EXPECT_EQ(base_url, "http://a.test/p\r");  // the carriage return before the line feed stays
}

TEST(CfHtml, TheParserTakesCommentsAfterHtmlElseTheNumbersAndNeverReachesPastTheText) {
  struct Case {
    const char* text;
    const char* fragment;
  };
  const Case cases[] = {
      // Without "<html" the numbers count, comments or not.
      {"StartFragment:0000000070\r\nEndFragment:0000000073\r\n<!--StartFragment-->xyzABC", "xyz"},
      {"<HTML><!--StartFragment-->no<!--EndFragment-->", ""},  // neither comments after "<html" nor numbers
      {"<html><body><!--StartFragment--><i>abc</i></body>", "<i>abc</i>"},  // no end comment: the last "<"
      {"<html><!--StartFragment-->a<!--EndFragment-->b<!--EndFragment-->", "a<!--EndFragment-->b"},
      {"<html><!--StartFragment", "<html>"},  // no ">": from 0 to the last "<"
      // Hostile numbers.
      {"StartFragment:0000099999\r\nEndFragment:0000999999\r\n", ""},
      {"StartFragment:0000000030\r\nEndFragment:0000000005\r\n", ""},
      {"StartFragment:-0000000010\r\nEndFragment:0000000005\r\n", "Start"},
      {"StartFragment:0000000026\r\nEndFragment:0000999999\r\nrest", "EndFragment:0000999999\r\nrest"},
      {"StartFragment:0000000001\r\n", ""},  // no end
  };
  for (const Case& c : cases) EXPECT_EQ(client::FragmentOfCfHtml(c.text, nullptr), c.fragment) << c.text;

  size_t html_start = 7, start = npos, end = npos;
  std::string base_url = "kept";
  client::ParseCfHtml("Version:0.9\r\nSourceURL:none", &base_url, &html_start, &start, &end);
  EXPECT_EQ(base_url, "kept");  // no line feed after it
  EXPECT_EQ(html_start, npos);
  EXPECT_EQ(start, npos);
  EXPECT_EQ(end, npos);
  client::ParseCfHtml("x<html><!--StartFragment-->ab<!--EndFragment-->", nullptr, &html_start, &start, &end);
  EXPECT_EQ(html_start, 1u);
  EXPECT_EQ(start, 27u);
  EXPECT_EQ(end, 29u);
}

// --- Data objects ---

FORMATETC Format(CLIPFORMAT cf, DWORD tymed = TYMED_HGLOBAL, DWORD aspect = DVASPECT_CONTENT) {
  FORMATETC format = {cf, nullptr, aspect, -1, tymed};
  return format;
}

// The bytes of one format of a data object; "<none>" when it has none.
std::string BytesOf(IDataObject* object, CLIPFORMAT cf) {
  FORMATETC format = Format(cf);
  STGMEDIUM medium = {};
  if (object->GetData(&format, &medium) != S_OK) return "<none>";
  EXPECT_EQ(medium.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
  EXPECT_EQ(medium.pUnkForRelease, nullptr);
  const void* data = GlobalLock(medium.hGlobal);
  std::string bytes(static_cast<const char*>(data), GlobalSize(medium.hGlobal));
  GlobalUnlock(medium.hGlobal);
  ReleaseStgMedium(&medium);
  return bytes;
}

std::string WideBytes(const std::wstring& text) {
  return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
}

std::vector<CLIPFORMAT> FormatsOf(IDataObject* object) {
  std::vector<CLIPFORMAT> out;
  CComPtr<IEnumFORMATETC> enumerator;
  if (object->EnumFormatEtc(DATADIR_GET, &enumerator) != S_OK) return out;
  FORMATETC format;
  while (enumerator->Next(1, &format, nullptr) == S_OK) out.push_back(format.cfFormat);
  return out;
}

TEST(DragDataObject, TextLinkAndHtmlBecomeThreeFormatsInOrderWithExactBytes) {
  const client::DragFormats& formats = client::RegisteredDragFormats();
  ASSERT_NE(formats.moz_url, 0u);
  ASSERT_NE(formats.html, 0u);
  CefRefPtr<CefDragData> data = CefDragData::Create();
  data->SetFragmentText(L"words");
  data->SetLinkURL(L"http://a.test/x");
  data->SetLinkTitle(L"A title");
  data->SetFragmentHtml(L"<p>w</p>");
  data->SetFragmentBaseURL(L"http://a.test/");
  CComPtr<client::DataObjectWin> object;
  ASSERT_TRUE(client::BuildDataObjectFromDragData(data, object));
  EXPECT_EQ(FormatsOf(object), (std::vector<CLIPFORMAT>{CF_UNICODETEXT, static_cast<CLIPFORMAT>(formats.moz_url),
                                                        static_cast<CLIPFORMAT>(formats.html)}));
  EXPECT_EQ(BytesOf(object, CF_UNICODETEXT), WideBytes(L"words"));
  EXPECT_EQ(BytesOf(object, static_cast<CLIPFORMAT>(formats.moz_url)), WideBytes(L"http://a.test/x\nA title"));
  EXPECT_EQ(BytesOf(object, static_cast<CLIPFORMAT>(formats.html)),
            client::WrapHtmlAsCfHtml("<p>w</p>", "http://a.test/") + std::string(1, '\0'));

  // Each GetData hands out a copy of its own.
  FORMATETC text = Format(CF_UNICODETEXT);
  STGMEDIUM first = {}, second = {};
  ASSERT_EQ(object->GetData(&text, &first), S_OK);
  ASSERT_EQ(object->GetData(&text, &second), S_OK);
  EXPECT_NE(first.hGlobal, second.hGlobal);
  ReleaseStgMedium(&first);
  ReleaseStgMedium(&second);

  // Found by format, aspect and a shared medium type.
  FORMATETC query = Format(CF_UNICODETEXT, TYMED_HGLOBAL | TYMED_ISTREAM);
  EXPECT_EQ(object->QueryGetData(&query), S_OK);
  query = Format(CF_UNICODETEXT, TYMED_ISTREAM);
  EXPECT_EQ(object->QueryGetData(&query), DV_E_FORMATETC);
  query = Format(CF_UNICODETEXT, TYMED_HGLOBAL, DVASPECT_THUMBNAIL);
  EXPECT_EQ(object->QueryGetData(&query), DV_E_FORMATETC);
  query = Format(CF_TEXT);
  EXPECT_EQ(object->QueryGetData(&query), DV_E_FORMATETC);
  STGMEDIUM none = {};
  EXPECT_EQ(object->GetData(&query, &none), DV_E_FORMATETC);
  FORMATETC canonical = Format(CF_TEXT);
  EXPECT_EQ(object->GetCanonicalFormatEtc(&query, &canonical), E_NOTIMPL);
  EXPECT_EQ(object->GetDataHere(&query, &none), E_NOTIMPL);
  EXPECT_EQ(object->SetData(&query, &none, FALSE), E_NOTIMPL);
  EXPECT_EQ(object->DAdvise(&query, 0, nullptr, nullptr), E_NOTIMPL);
  EXPECT_EQ(object->DUnadvise(0), E_NOTIMPL);
  EXPECT_EQ(object->EnumDAdvise(nullptr), E_NOTIMPL);
}

TEST(DragDataObject, FileContentsComeWithADescriptorAndNothingMakesNoFormats) {
  const client::DragFormats& formats = client::RegisteredDragFormats();
  CefRefPtr<CefDragData> data = CefDragData::Create();
  auto* impl = dynamic_cast<cefengine::DragDataImpl*>(data.get());
  ASSERT_TRUE(impl);
  const std::wstring long_name(300, L'n');
  impl->SetFileContents(long_name, std::string("file\0bytes", 10));
  CComPtr<client::DataObjectWin> object;
  ASSERT_TRUE(client::BuildDataObjectFromDragData(data, object));
  EXPECT_EQ(FormatsOf(object), (std::vector<CLIPFORMAT>{static_cast<CLIPFORMAT>(formats.file_descriptor),
                                                        static_cast<CLIPFORMAT>(formats.file_contents)}));
  const std::string descriptor = BytesOf(object, static_cast<CLIPFORMAT>(formats.file_descriptor));
  ASSERT_EQ(descriptor.size(), 596u);
  FILEGROUPDESCRIPTORW group;
  std::memcpy(&group, descriptor.data(), sizeof(group));
  EXPECT_EQ(group.cItems, 1u);
  EXPECT_EQ(group.fgd[0].dwFlags, static_cast<DWORD>(FD_LINKUI));
  EXPECT_EQ(std::wstring(group.fgd[0].cFileName), std::wstring(259, L'n'));
  EXPECT_EQ(group.fgd[0].nFileSizeLow, 0u);
  EXPECT_EQ(BytesOf(object, static_cast<CLIPFORMAT>(formats.file_contents)), std::string("file\0bytes", 10));

  CComPtr<client::DataObjectWin> empty;
  ASSERT_TRUE(client::BuildDataObjectFromDragData(CefDragData::Create(), empty));
  EXPECT_EQ(empty->format_count(), 0);
  CComPtr<IEnumFORMATETC> enumerator;
  EXPECT_EQ(empty->EnumFormatEtc(DATADIR_GET, &enumerator), E_INVALIDARG);
}

// Counts its releases: the owner of a medium that its source keeps.
class Owner : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;
};

// A data object of another program: blocks of given bytes, some of whose fetches fail, some of
// whose media the source keeps (pUnkForRelease).
class ForeignDataObject : public IDataObject {
 public:
  struct Entry {
    FORMATETC format;
    std::string bytes;
    bool fails = false;
    bool kept = false;
  };
  std::vector<Entry> entries;
  Owner owner;
  std::vector<HGLOBAL> kept_blocks;
  ~ForeignDataObject() {
    for (HGLOBAL block : kept_blocks) GlobalFree(block);
  }
  void Add(CLIPFORMAT cf, const std::string& bytes, DWORD tymed = TYMED_HGLOBAL) {
    entries.push_back({Format(cf, tymed), bytes});
  }

  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    for (const Entry& e : entries) {
      if (e.format.cfFormat != format->cfFormat) continue;
      if (e.fails) return E_FAIL;
      HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, e.bytes.size());
      std::memcpy(GlobalLock(block), e.bytes.data(), e.bytes.size());
      GlobalUnlock(block);
      medium->tymed = TYMED_HGLOBAL;
      medium->hGlobal = block;
      medium->pUnkForRelease = nullptr;
      if (e.kept) {
        kept_blocks.push_back(block);
        owner.AddRef();
        medium->pUnkForRelease = &owner;
      }
      return S_OK;
    }
    return DV_E_FORMATETC;
  }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumerator) override {
    std::vector<FORMATETC> formats;
    for (const Entry& e : entries) formats.push_back(e.format);
    return client::DragEnumFormatEtc::MakeFormatEnumerator(static_cast<UINT>(formats.size()), formats.data(),
                                                           enumerator);
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

std::string Wide(const std::wstring& text, bool terminated = true) {
  return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + (terminated ? 1 : 0)) * 2);
}

std::string DropFiles(const std::wstring& list, DWORD offset = sizeof(DROPFILES)) {
  DROPFILES header = {};
  header.pFiles = offset;
  header.fWide = TRUE;
  return std::string(reinterpret_cast<const char*>(&header), sizeof(header)) +
         std::string(reinterpret_cast<const char*>(list.data()), list.size() * 2);
}

TEST(DragDataReader, LinksTakeTheLastLineFeedAndFilesTheirDisplayNames) {
  const client::DragFormats& formats = client::RegisteredDragFormats();
  struct Case {
    std::wstring moz;
    std::wstring url;
    std::wstring title;
  };
  const Case cases[] = {
      {L"http://a.test/", L"http://a.test/", L"http://a.test/"},
      {L"http://a.test/\nTitle", L"http://a.test/", L"Title"},
      {L"one\ntwo\nthree", L"one\ntwo", L"three"},
  };
  for (const Case& c : cases) {
    ForeignDataObject object;
    object.Add(static_cast<CLIPFORMAT>(formats.moz_url), Wide(c.moz));
    CefRefPtr<CefDragData> data = client::ReadDragDataFromDataObject(&object);
    EXPECT_EQ(data->GetLinkURL().ToWString(), c.url);
    EXPECT_EQ(data->GetLinkTitle().ToWString(), c.title);
  }

  ForeignDataObject object;
  object.Add(CF_HDROP, DropFiles(std::wstring(L"C:\\dir\\a.txt\0plain.png\0\0", 24)));
  object.entries.back().kept = true;
  CefRefPtr<CefDragData> data = client::ReadDragDataFromDataObject(&object);
  std::vector<cefengine::DragDataImpl::File> files = dynamic_cast<cefengine::DragDataImpl*>(data.get())->Files();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].path, L"C:\\dir\\a.txt");
  EXPECT_EQ(files[0].display_name, L"a.txt");
  EXPECT_EQ(files[1].path, L"plain.png");
  EXPECT_EQ(files[1].display_name, L"plain.png");
  // The source kept its block: released through its owner, never freed here.
  EXPECT_EQ(object.owner.refs, 1u);
  EXPECT_NE(GlobalSize(object.kept_blocks[0]), 0u);
}

TEST(DragDataReader, HostileOrUnusableFormatsAreSkippedOrReadOnlyWithinTheirBlocks) {
  const client::DragFormats& formats = client::RegisteredDragFormats();
  ForeignDataObject object;
  object.Add(CF_UNICODETEXT, Wide(L"unterminated", false));
  object.Add(static_cast<CLIPFORMAT>(formats.moz_url), Wide(L"http://stream.test/"), TYMED_ISTREAM);
  object.Add(static_cast<CLIPFORMAT>(formats.html), "StartFragment:0000000099\r\nEndFragment:0000009999");
  object.Add(CF_HDROP, DropFiles(std::wstring(L"C:\\x.txt\0\0", 10), 4000));  // list beyond the block
  object.entries.back().kept = true;
  CefRefPtr<CefDragData> data = client::ReadDragDataFromDataObject(&object);
  EXPECT_EQ(data->GetFragmentText().ToWString(), L"unterminated");
  EXPECT_EQ(data->GetLinkURL().ToWString(), L"");
  EXPECT_EQ(data->GetFragmentHtml().ToWString(), L"");
  EXPECT_TRUE(dynamic_cast<cefengine::DragDataImpl*>(data.get())->Files().empty());
  EXPECT_EQ(object.owner.refs, 1u);

  ForeignDataObject unterminated_list;
  unterminated_list.Add(CF_HDROP, DropFiles(std::wstring(L"C:\\x.txt", 8)));
  data = client::ReadDragDataFromDataObject(&unterminated_list);
  EXPECT_TRUE(dynamic_cast<cefengine::DragDataImpl*>(data.get())->Files().empty());

  ForeignDataObject failing;
  failing.Add(CF_UNICODETEXT, Wide(L"never"));
  failing.entries.back().fails = true;
  failing.Add(static_cast<CLIPFORMAT>(formats.html), client::WrapHtmlAsCfHtml("<b>h</b>", "http://b.test/") + '\0');
  data = client::ReadDragDataFromDataObject(&failing);
  EXPECT_EQ(data->GetFragmentText().ToWString(), L"");
  EXPECT_EQ(data->GetFragmentHtml().ToWString(), L"<b>h</b>");
  EXPECT_EQ(data->GetFragmentBaseURL().ToWString(), L"http://b.test/\r");
}

TEST(DragDataReader, EightBitTextIsInTheAnsiCodePageAndNeverReplacesUnicodeText) {
  // Bytes that are no UTF-8 but are text in the machine's ANSI code page.
  const std::string ansi = GetACP() == 936 ? "\xC4\xE3\xBA\xC3" : "caf\xE9";
  wchar_t expected[16] = {};
  MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), static_cast<int>(ansi.size()), expected, 16);
  ASSERT_NE(std::wstring(expected).size(), 0u);

  ForeignDataObject alone;
  alone.Add(CF_TEXT, ansi + '\0');
  EXPECT_EQ(client::ReadDragDataFromDataObject(&alone)->GetFragmentText().ToWString(), std::wstring(expected));

  // Sources list CF_TEXT after CF_UNICODETEXT: the Unicode text stays.
  ForeignDataObject both;
  both.Add(CF_UNICODETEXT, Wide(L"\u4F60\u597D"));
  both.Add(CF_TEXT, "??\0");
  EXPECT_EQ(client::ReadDragDataFromDataObject(&both)->GetFragmentText().ToWString(), L"\u4F60\u597D");
  ForeignDataObject reversed;
  reversed.Add(CF_TEXT, "??\0");
  reversed.Add(CF_UNICODETEXT, Wide(L"\u4F60\u597D"));
  EXPECT_EQ(client::ReadDragDataFromDataObject(&reversed)->GetFragmentText().ToWString(), L"\u4F60\u597D");
}

TEST(DragDataReader, AnObjectWithoutFormatsGivesEmptyData) {
  ForeignDataObject none;
  CefRefPtr<CefDragData> data = client::ReadDragDataFromDataObject(&none);
  ASSERT_TRUE(data);
  EXPECT_FALSE(data->IsLink());
  EXPECT_TRUE(data->GetFragmentText().empty());
  EXPECT_TRUE(client::ReadDragDataFromDataObject(nullptr));
}

// --- The COM objects ---

TEST(DragComObjects, TheEnumeratorWalksCopiesSkipsResetsAndClonesItsPlace) {
  DVTARGETDEVICE device = {};
  device.tdSize = sizeof(device);
  device.tdDriverNameOffset = 7;
  FORMATETC formats[3] = {Format(CF_TEXT), Format(CF_UNICODETEXT), Format(CF_HDROP)};
  formats[1].ptd = &device;
  IEnumFORMATETC* raw = nullptr;
  EXPECT_EQ(client::DragEnumFormatEtc::MakeFormatEnumerator(0, formats, &raw), E_INVALIDARG);
  EXPECT_EQ(client::DragEnumFormatEtc::MakeFormatEnumerator(3, nullptr, &raw), E_INVALIDARG);
  ASSERT_EQ(client::DragEnumFormatEtc::MakeFormatEnumerator(3, formats, &raw), S_OK);
  CComPtr<IEnumFORMATETC> enumerator;
  enumerator.Attach(raw);

  FORMATETC got[4] = {};
  ULONG fetched = 9;
  EXPECT_EQ(enumerator->Next(2, got, &fetched), S_OK);
  EXPECT_EQ(fetched, 2u);
  EXPECT_EQ(got[0].cfFormat, CF_TEXT);
  ASSERT_NE(got[1].ptd, nullptr);
  EXPECT_NE(got[1].ptd, &device);  // a copy of the caller's own
  EXPECT_EQ(got[1].ptd->tdDriverNameOffset, 7);
  CoTaskMemFree(got[1].ptd);

  CComPtr<IEnumFORMATETC> clone;
  ASSERT_EQ(enumerator->Clone(&clone), S_OK);
  EXPECT_EQ(clone->Next(4, got, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 1u);
  EXPECT_EQ(got[0].cfFormat, CF_HDROP);

  EXPECT_EQ(enumerator->Skip(1), S_OK);  // at the end, not past it
  EXPECT_EQ(enumerator->Skip(1), S_FALSE);
  EXPECT_EQ(enumerator->Next(1, got, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(enumerator->Next(0, got, nullptr), S_OK);
  EXPECT_EQ(enumerator->Reset(), S_OK);
  EXPECT_EQ(enumerator->Next(3, got, nullptr), S_OK);
  CoTaskMemFree(got[1].ptd);

  IUnknown* unknown = nullptr;
  EXPECT_EQ(enumerator->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  unknown->Release();
  IDataObject* wrong = reinterpret_cast<IDataObject*>(1);
  EXPECT_EQ(enumerator->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(&wrong)), E_NOINTERFACE);
  EXPECT_EQ(wrong, nullptr);
}

TEST(DragComObjects, TheDropSourceAndTheEffectConversions) {
  CComPtr<client::DropSourceWin> source = client::DropSourceWin::Create();
  EXPECT_EQ(source->QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);  // escape beats the button
  EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON), S_OK);
  EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_RBUTTON), DRAGDROP_S_DROP);
  EXPECT_EQ(source->GiveFeedback(DROPEFFECT_COPY), DRAGDROP_S_USEDEFAULTCURSORS);

  struct Case {
    DWORD effect;
    int operation;
  };
  const Case cases[] = {{DROPEFFECT_NONE, DRAG_OPERATION_NONE},
                        {DROPEFFECT_COPY, DRAG_OPERATION_COPY},
                        {DROPEFFECT_MOVE, DRAG_OPERATION_MOVE},
                        {DROPEFFECT_LINK, DRAG_OPERATION_LINK},
                        {DROPEFFECT_COPY | DROPEFFECT_LINK, DRAG_OPERATION_COPY | DRAG_OPERATION_LINK},
                        {DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, 19}};
  for (const Case& c : cases) {
    EXPECT_EQ(client::DropEffectToDragOperation(c.effect), c.operation) << c.effect;
    EXPECT_EQ(client::DragOperationToDropEffect(static_cast<cef_drag_operations_mask_t>(c.operation)), c.effect);
  }
  EXPECT_EQ(client::DropEffectToDragOperation(DROPEFFECT_SCROLL | DROPEFFECT_COPY), DRAG_OPERATION_COPY);
  EXPECT_EQ(client::DragOperationToDropEffect(DRAG_OPERATION_GENERIC), static_cast<DWORD>(DROPEFFECT_NONE));
}

// Records what the drop target tells the window, answering with a fixed operation.
class RecordingDragEvents : public client::OsrDragEvents {
 public:
  cef_drag_operations_mask_t OnDragEnter(CefRefPtr<CefDragData> drag_data, CefMouseEvent ev,
                                         cef_drag_operations_mask_t effect) override {
    entered = drag_data;
    return DRAG_OPERATION_COPY;
  }
  cef_drag_operations_mask_t OnDragOver(CefMouseEvent ev, cef_drag_operations_mask_t effect) override {
    return DRAG_OPERATION_COPY;
  }
  void OnDragLeave() override {}
  cef_drag_operations_mask_t OnDrop(CefMouseEvent ev, cef_drag_operations_mask_t effect) override {
    return DRAG_OPERATION_COPY;
  }
  CefRefPtr<CefDragData> entered;
};

// A drop target whose system drag passes over its own window and ends as told.
class ScriptedDropTarget : public client::DropTargetWin {
 public:
  ScriptedDropTarget(client::OsrDragEvents* events, HRESULT result, DWORD effect)
      : client::DropTargetWin(events, nullptr), result_(result), effect_(effect) {}
  DWORD ok_effects = 0;
  std::vector<CLIPFORMAT> offered;

 protected:
  HRESULT RunDragDrop(IDataObject* data_object, IDropSource* drop_source, DWORD ok, DWORD* effect) override {
    ok_effects = ok;
    offered = FormatsOf(data_object);
    DWORD over = ok;
    POINTL point = {0, 0};
    DragEnter(data_object, MK_LBUTTON, point, &over);
    *effect = effect_;
    return result_;
  }

 private:
  HRESULT result_;
  DWORD effect_;
};

TEST(DragComObjects, APageDragOffersItsDataAndReportsOnlyWhatWasDropped) {
  CefRefPtr<CefDragData> data = CefDragData::Create();
  data->SetFragmentText(L"dragged");
  dynamic_cast<cefengine::DragDataImpl*>(data.get())->SetFileContents(L"f.bin", "contents");

  struct Case {
    HRESULT result;
    DWORD effect;
    cef_drag_operations_mask_t operation;
  };
  const Case cases[] = {{DRAGDROP_S_DROP, DROPEFFECT_COPY, DRAG_OPERATION_COPY},
                        {DRAGDROP_S_DROP, DROPEFFECT_MOVE, DRAG_OPERATION_MOVE},
                        {DRAGDROP_S_CANCEL, DROPEFFECT_COPY, DRAG_OPERATION_NONE},
                        {E_UNEXPECTED, DROPEFFECT_COPY, DRAG_OPERATION_NONE}};
  for (const Case& c : cases) {
    RecordingDragEvents events;
    CComPtr<ScriptedDropTarget> target(new ScriptedDropTarget(&events, c.result, c.effect));
    EXPECT_EQ(target->StartDragging(nullptr, data, static_cast<cef_drag_operations_mask_t>(DRAG_OPERATION_COPY |
                                                                                           DRAG_OPERATION_MOVE),
                                    3, 4),
              c.operation);
    EXPECT_EQ(target->ok_effects, static_cast<DWORD>(DROPEFFECT_COPY | DROPEFFECT_MOVE));
    EXPECT_EQ(target->offered.size(), 3u);  // text, descriptor, contents
    // Over its own window the page's drag shows as a copy of its data without the contents.
    ASSERT_TRUE(events.entered);
    EXPECT_NE(events.entered.get(), data.get());
    EXPECT_EQ(events.entered->GetFragmentText().ToWString(), L"dragged");
    EXPECT_EQ(events.entered->GetFileContents(nullptr), 0u);
  }
  EXPECT_EQ(data->GetFileContents(nullptr), 8u);  // the page's own data is untouched
}

}  // namespace
