#ifndef CEF_ENGINE_PROCESS_MESSAGE_IMPL_H_
#define CEF_ENGINE_PROCESS_MESSAGE_IMPL_H_

#include <atomic>
#include <memory>
#include <string>

#include "engine/values_impl.h"
#include "include/cef_process_message.h"

namespace cefengine {

class ProcessMessageImpl : public CefProcessMessage {
 public:
  ProcessMessageImpl(std::wstring name, std::shared_ptr<ListData> arguments, bool read_only)
      : name_(std::move(name)), arguments_(std::move(arguments)), read_only_(read_only) {}
  const std::wstring& name() const { return name_; }
  const std::shared_ptr<ListData>& arguments() const { return arguments_; }

  bool IsValid() override { return true; }
  bool IsReadOnly() override { return read_only_; }
  CefRefPtr<CefProcessMessage> Copy() override;
  CefString GetName() override { return name_; }
  CefRefPtr<CefListValue> GetArgumentList() override { return MakeList(arguments_, read_only_); }

 private:
  const std::wstring name_;
  const std::shared_ptr<ListData> arguments_;
  const bool read_only_;
  IMPLEMENT_REFCOUNTING(ProcessMessageImpl);
};

// A writable deep copy (what a receiver is handed is a read-only copy).
CefRefPtr<ProcessMessageImpl> CopyMessage(CefRefPtr<CefProcessMessage> message, bool read_only);

// Makes the next CefProcessMessage::Create return null (once); a test fault.
void FailNextProcessMessageCreate();

}  // namespace cefengine

#endif  // CEF_ENGINE_PROCESS_MESSAGE_IMPL_H_
