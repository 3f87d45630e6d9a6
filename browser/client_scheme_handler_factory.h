// The handler factory of the "zip" scheme: serves the entries of enciphered packages named by the
// URL (see browser/zip_url.h for the URL form and browser/file_decoder.h for the package format).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>

#include "browser/file_decoder.h"
#include "include/cef_scheme.h"

namespace client {

// Create and GetEntryData run on one thread only, CEF's IO thread: the package cache has no lock.
// A package is loaded at the first request that names its file with a given key and stays cached,
// unchanged by later changes to its file, as long as the factory lives: every path that reaches
// the same file (another letter case, "/" for "\", "..", a relative or short form), with any key
// that deciphers alike (see FileDecoder::CipherIdentity), is served from the one cached copy. A package that fails to load is not remembered and is tried again at the
// next request. Paths that are not on a local drive and packages over the limits are refused with
// a log line; other failures are silent. Either way: no handler.
class ClientSchemeHandlerFactory : public CefSchemeHandlerFactory {
 public:
  explicit ClientSchemeHandlerFactory(const PackageLimits& limits = kPackageLimits);

  // Only the request's URL is used. A handler answering 200 "OK" with the entry's bytes and the
  // MIME type of its extension ("application/octet-stream" when unknown), or null. Never throws.
  CefRefPtr<CefResourceHandler> Create(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                       const CefString& scheme_name, CefRefPtr<CefRequest> request) override;

  // The entry of the package at package_path opened with the URL key (its "rsa_" prefix kept),
  // loading the package when its file is not cached with this key yet. False, *out untouched,
  // when there is none. Running out of memory raises std::bad_alloc.
  [[nodiscard]] bool GetEntryData(const std::wstring& package_path, const std::wstring& key,
                                  const std::wstring& entry_path, FileDecoder::DataBuffer* out);

 private:
  using Decoder = std::shared_ptr<const FileDecoder>;
  static constexpr size_t kMaxSpellings = 1024;

  const PackageLimits limits_;
  // (full package path, cipher identity of the URL key) -> the loaded package; compared code unit
  // by code unit. Every spelling that reached a cached file, up to kMaxSpellings of them.
  std::map<std::pair<std::wstring, std::string>, Decoder> archives_;
  // (file, cipher identity of the URL key) -> the loaded package: one per file, whichever path
  // and whichever of the keys that decipher alike reached it.
  std::map<std::pair<FileIdentity, std::string>, Decoder> files_;

  IMPLEMENT_REFCOUNTING(ClientSchemeHandlerFactory);
  DISALLOW_COPY_AND_ASSIGN(ClientSchemeHandlerFactory);
};

}  // namespace client
