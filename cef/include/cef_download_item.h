#ifndef CEF_INCLUDE_CEF_DOWNLOAD_ITEM_H_
#define CEF_INCLUDE_CEF_DOWNLOAD_ITEM_H_

#include "include/cef_base.h"

// State of one download.
class CefDownloadItem : public virtual CefBase {
 public:
  virtual bool IsValid() = 0;
  virtual bool IsInProgress() = 0;
  virtual bool IsComplete() = 0;
  virtual bool IsCanceled() = 0;
  virtual int64 GetTotalBytes() = 0;
  virtual int64 GetReceivedBytes() = 0;
  virtual uint32 GetId() = 0;
  virtual CefString GetURL() = 0;
  virtual CefString GetSuggestedFileName() = 0;
  virtual CefString GetFullPath() = 0;
  virtual CefString GetMimeType() = 0;
};

#endif  // CEF_INCLUDE_CEF_DOWNLOAD_ITEM_H_
