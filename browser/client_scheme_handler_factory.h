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
// A package is loaded at the first request that names it with a given key and stays cached,
// unchanged by later changes to its file, as long as the factory lives; a package that fails to
// load is not remembered and is tried again at the next request. Failures are silent: no handler.
class ClientSchemeHandlerFactory : public CefSchemeHandlerFactory {
 public:
  ClientSchemeHandlerFactory();

  // Only the request's URL is used. A handler answering 200 "OK" with the entry's bytes and the
  // MIME type of its extension ("application/octet-stream" when unknown), or null. Never throws.
  CefRefPtr<CefResourceHandler> Create(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                       const CefString& scheme_name, CefRefPtr<CefRequest> request) override;

  // The entry of the package at package_path opened with the URL key (its "rsa_" prefix kept),
  // loading the package when this pair is not cached yet. False, *out untouched, when there is
  // none. Running out of memory raises std::bad_alloc.
  [[nodiscard]] bool GetEntryData(const std::wstring& package_path, const std::wstring& key,
                                  const std::wstring& entry_path, FileDecoder::DataBuffer* out);

 private:
  // (package path, URL key) -> the loaded package; compared code unit by code unit.
  std::map<std::pair<std::wstring, std::wstring>, std::unique_ptr<FileDecoder>> archives_;

  IMPLEMENT_REFCOUNTING(ClientSchemeHandlerFactory);
  DISALLOW_COPY_AND_ASSIGN(ClientSchemeHandlerFactory);
};

}  // namespace client
