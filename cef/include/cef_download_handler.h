#ifndef CEF_INCLUDE_CEF_DOWNLOAD_HANDLER_H_
#define CEF_INCLUDE_CEF_DOWNLOAD_HANDLER_H_

#include "include/cef_base.h"
#include "include/cef_browser.h"
#include "include/cef_download_item.h"

// Starts a download into `download_path` ("" = suggested name in the default folder).
class CefBeforeDownloadCallback : public virtual CefBase {
 public:
  virtual void Continue(const CefString& download_path, bool show_dialog) = 0;
};

// Controls a running download.
class CefDownloadItemCallback : public virtual CefBase {
 public:
  virtual void Cancel() = 0;
  virtual void Pause() = 0;
  virtual void Resume() = 0;
};

// Downloads; UI thread.
class CefDownloadHandler : public virtual CefBase {
 public:
  // Nothing is written unless callback->Continue is called.
  virtual void OnBeforeDownload(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDownloadItem> download_item,
                                const CefString& suggested_name, CefRefPtr<CefBeforeDownloadCallback> callback) = 0;
  virtual void OnDownloadUpdated(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDownloadItem> download_item,
                                 CefRefPtr<CefDownloadItemCallback> callback) {}
};

#endif  // CEF_INCLUDE_CEF_DOWNLOAD_HANDLER_H_
