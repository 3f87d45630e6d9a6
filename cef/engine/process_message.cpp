#include <atomic>

#include "engine/logging.h"
#include "engine/process_message_impl.h"

namespace cefengine {

namespace {
std::atomic<bool> g_fail_next_create{false};
}

CefRefPtr<CefProcessMessage> ProcessMessageImpl::Copy() {
  return CopyMessage(this, false).get();
}

CefRefPtr<ProcessMessageImpl> CopyMessage(CefRefPtr<CefProcessMessage> message, bool read_only) {
  auto* impl = dynamic_cast<ProcessMessageImpl*>(message.get());
  if (!impl)
    return nullptr;
  ValueData list;
  list.type = VTYPE_LIST;
  list.list = impl->arguments();
  ValueData copy = CopyValue(list);
  return new ProcessMessageImpl(impl->name(), copy.list, read_only);
}

void FailNextProcessMessageCreate() {
  g_fail_next_create = true;
}

}  // namespace cefengine

CefRefPtr<CefProcessMessage> CefProcessMessage::Create(const CefString& name) {
  if (cefengine::g_fail_next_create.exchange(false)) {
    LOG(WARNING) << "CefProcessMessage::Create failed (injected fault)";
    return nullptr;
  }
  return new cefengine::ProcessMessageImpl(name.ToWString(), std::make_shared<cefengine::ListData>(), false);
}
