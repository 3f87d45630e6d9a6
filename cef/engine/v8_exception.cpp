// Script exceptions and call stacks of the value model.
#include <vector>

#include "engine/v8_value.h"

namespace cefengine {

namespace {

// The model runs no script text, so there is no source position to report.
class V8ExceptionImpl : public CefV8Exception {
 public:
  explicit V8ExceptionImpl(const std::wstring& message) : message_(message) {}

  CefString GetMessage() override { return message_; }
  CefString GetSourceLine() override { return CefString(); }
  CefString GetScriptResourceName() override { return CefString(); }
  int GetLineNumber() override { return 0; }
  int GetStartPosition() override { return 0; }
  int GetEndPosition() override { return 0; }
  int GetStartColumn() override { return 0; }
  int GetEndColumn() override { return 0; }

 private:
  std::wstring message_;
  IMPLEMENT_REFCOUNTING(V8ExceptionImpl);
};

class V8StackFrameImpl : public CefV8StackFrame {
 public:
  explicit V8StackFrameImpl(const std::wstring& function_name) : function_name_(function_name) {}

  bool IsValid() override { return true; }
  CefString GetScriptName() override { return CefString(); }
  CefString GetFunctionName() override { return function_name_; }
  int GetLineNumber() override { return 0; }
  int GetColumn() override { return 0; }

 private:
  std::wstring function_name_;
  IMPLEMENT_REFCOUNTING(V8StackFrameImpl);
};

// A snapshot of the running function calls, innermost first.
class V8StackTraceImpl : public CefV8StackTrace {
 public:
  explicit V8StackTraceImpl(std::vector<std::wstring> names) : names_(std::move(names)) {}

  bool IsValid() override { return true; }
  int GetFrameCount() override { return static_cast<int>(names_.size()); }
  CefRefPtr<CefV8StackFrame> GetFrame(int index) override {
    if (index < 0 || index >= GetFrameCount())
      return nullptr;
    return new V8StackFrameImpl(names_[static_cast<size_t>(index)]);
  }

 private:
  std::vector<std::wstring> names_;
  IMPLEMENT_REFCOUNTING(V8StackTraceImpl);
};

}  // namespace

CefRefPtr<CefV8Exception> CreateV8Exception(const std::wstring& message) {
  return new V8ExceptionImpl(message);
}

CefRefPtr<CefV8StackTrace> CreateV8StackTrace(std::vector<std::wstring> innermost_first) {
  return new V8StackTraceImpl(std::move(innermost_first));
}

}  // namespace cefengine

// static
CefRefPtr<CefV8StackTrace> CefV8StackTrace::GetCurrent(int frame_limit) {
  // Outside any script there is no stack to describe.
  if (!CefV8Context::InContext())
    return nullptr;
  std::vector<std::wstring> running = cefengine::RunningFunctionNames();
  std::vector<std::wstring> innermost_first(running.rbegin(), running.rend());
  if (frame_limit >= 0 && innermost_first.size() > static_cast<size_t>(frame_limit))
    innermost_first.resize(static_cast<size_t>(frame_limit));
  return cefengine::CreateV8StackTrace(std::move(innermost_first));
}
