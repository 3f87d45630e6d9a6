#include "browser/client_scheme_handler_factory.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

#include "base/string_cipher.h"
#include "browser/zip_url.h"
#include "include/cef_parser.h"
#include "include/cef_stream.h"
#include "include/wrapper/cef_stream_resource_handler.h"

namespace client {

namespace {

const wchar_t kDefaultMimeType[] = L"application/octet-stream";

// Reads a cached entry in place: the bytes are shared with the cache, never copied, and an empty
// entry reads as an empty stream.
class EntryReadHandler : public CefReadHandler {
 public:
  explicit EntryReadHandler(const FileDecoder::DataBuffer& buffer) : buffer_(buffer) {}

  size_t Read(void* ptr, size_t size, size_t n) override {
    if (ptr == nullptr || size == 0)
      return 0;
    const size_t items = std::min(n, (buffer_.size - position_) / size);
    if (items > 0) {
      memcpy(ptr, buffer_.data.get() + position_, items * size);
      position_ += items * size;
    }
    return items;
  }
  int Seek(int64 offset, int whence) override {
    int64 base = 0;
    switch (whence) {
      case SEEK_SET:
        break;
      case SEEK_CUR:
        base = int64(position_);
        break;
      case SEEK_END:
        base = int64(buffer_.size);
        break;
      default:
        return -1;
    }
    if (offset < -base || offset > int64(buffer_.size) - base)
      return -1;
    position_ = size_t(base + offset);
    return 0;
  }
  int64 Tell() override { return int64(position_); }
  int Eof() override { return position_ >= buffer_.size ? 1 : 0; }
  bool MayBlock() override { return false; }

 private:
  const FileDecoder::DataBuffer buffer_;
  size_t position_ = 0;

  IMPLEMENT_REFCOUNTING(EntryReadHandler);
  DISALLOW_COPY_AND_ASSIGN(EntryReadHandler);
};

// The MIME type of the entry's extension as the shell finds it (the last "." after the last "\"
// or blank).
CefString MimeTypeOf(const std::wstring& entry_path) {
  const wchar_t* extension = PathFindExtensionW(entry_path.c_str());
  if (extension != nullptr && *extension == L'.') {
    const CefString mime_type = CefGetMimeType(extension + 1);
    if (!mime_type.empty())
      return mime_type;
  }
  return kDefaultMimeType;
}

}  // namespace

ClientSchemeHandlerFactory::ClientSchemeHandlerFactory(const PackageLimits& limits) : limits_(limits) {}

CefRefPtr<CefResourceHandler> ClientSchemeHandlerFactory::Create(CefRefPtr<CefBrowser> browser,
                                                                 CefRefPtr<CefFrame> frame,
                                                                 const CefString& scheme_name,
                                                                 CefRefPtr<CefRequest> request) {
  try {
    std::string url;
    if (!request || !UnescapeZipUrl(request->GetURL().ToString(), &url))
      return nullptr;
    std::wstring scheme, key, package_path, entry_path;
    if (!ParseZipUrl(url, &scheme, &key, &package_path, &entry_path))
      return nullptr;
    FileDecoder::DataBuffer entry;
    if (!GetEntryData(package_path, key, entry_path, &entry))
      return nullptr;
    return new CefStreamResourceHandler(MimeTypeOf(entry_path),
                                        CefStreamReader::CreateForHandler(new EntryReadHandler(entry)));
  } catch (const std::exception&) {
    return nullptr;  // out of memory: the resource does not load, the IO thread goes on
  }
}

bool ClientSchemeHandlerFactory::GetEntryData(const std::wstring& package_path, const std::wstring& key,
                                              const std::wstring& entry_path, FileDecoder::DataBuffer* out) {
  std::wstring full_path;
  if (!FileDecoder::FullPackagePath(package_path, &full_path))
    return false;
  // Keys that decipher alike share one copy: a page could make up endless spellings of one key.
  const std::string key_bytes = StringCipher::WideToCodePage(key.c_str(), CP_UTF8);
  const std::string cipher = FileDecoder::CipherIdentity(key_bytes);
  const std::pair<std::wstring, std::string> spelling(full_path, cipher);
  auto it = archives_.find(spelling);
  if (it != archives_.end())
    return it->second->GetEntry(entry_path, out);

  // A path not seen yet may still reach a cached file: the open file tells which one it is.
  std::shared_ptr<FileDecoder> decoder = std::make_shared<FileDecoder>(key_bytes, full_path, limits_);
  if (!decoder->Open())
    return false;
  FileIdentity identity;
  const bool identified = decoder->GetIdentity(&identity);
  Decoder loaded;
  if (identified) {
    const auto known = files_.find(std::make_pair(identity, cipher));
    if (known != files_.end())
      loaded = known->second;
  }
  if (!loaded) {
    if (!decoder->Load())
      return false;
    loaded = decoder;
    if (identified)
      files_.emplace(std::make_pair(identity, cipher), loaded);
  }
  // Spellings are bounded: a page could make up endless ones. Past the bound, a new spelling
  // opens the file at every request and is still served from the one cached copy.
  if (archives_.size() < kMaxSpellings)
    archives_.emplace(spelling, loaded);
  return loaded->GetEntry(entry_path, out);
}

}  // namespace client
