#ifndef CEF_INCLUDE_CEF_CALLBACK_H_
#define CEF_INCLUDE_CEF_CALLBACK_H_

#include "include/cef_base.h"

// Continues or cancels an asynchronous step. Any thread.
class CefCallback : public virtual CefBase {
 public:
  virtual void Continue() = 0;
  virtual void Cancel() = 0;
};

// Tells that an operation finished.
class CefCompletionCallback : public virtual CefBase {
 public:
  virtual void OnComplete() = 0;
};

#endif  // CEF_INCLUDE_CEF_CALLBACK_H_
