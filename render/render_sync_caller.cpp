#include "render/render_sync_caller.h"

#include <memory>
#include <set>
#include <vector>

#include "base/log.h"
#include "browser/host_protocol.h"
#include "product/volume_ctrl_module.h"
#include "render/context_map.h"
#include "render/function_registry.h"
#include "render/process_messages.h"
#include "render/sync_caller_v8_handler.h"

namespace client {
namespace render_sync_call {

namespace {

// In the order they are set on every new `external` object.
const char* const kBuiltInNames[] = {
    "GetChannel",       "GetVersion", "GetMID", "GetKernelType",          "RegisterDragAreaList",
    "SetBrowserPos",    "RegisterFunction",     "UnregisterAllFunction",  "Execute",
    "GetKernelVersion", "Log",                  "UnregisterAllFunctionEx",
};

typedef ContextMap<CefRefPtr<CefV8Value>> ObjectMap;

class SyncCallerRenderDelegate : public ClientAppRenderer::Delegate {
 public:
  SyncCallerRenderDelegate()
      : objects_(std::make_shared<ObjectMap>()), functions_(std::make_shared<FunctionRegistry>()) {}

  void OnContextCreated(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                        CefRefPtr<CefV8Context> context) override;
  void OnContextReleased(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                         CefRefPtr<CefV8Context> context) override;
  bool OnProcessMessageReceived(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser,
                                CefProcessId source_process, CefRefPtr<CefProcessMessage> message) override;

 private:
  // The host calls a page function or callback; answers when the execute id is above 0.
  void CallRegisteredFunction(CefRefPtr<CefBrowser> browser, CefRefPtr<CefListValue> args);
  // The first live context holding `key`. A dead context on the way leaves the registry.
  bool FindRegisterFunction(const CefString& key, CefRefPtr<CefV8Context>* context,
                            CefRefPtr<CefV8Value>* function);
  // The host adds a method to `external` in every live context now and in every later one.
  void RegisterExternalFunction(CefRefPtr<CefListValue> args);
  // True while the entry's context lives and the map still holds the entry's object for it.
  bool IsCurrent(const ObjectMap::Entry& entry);
  // The host's methods, in name order, on the `external` object of a new (entered) context.
  void RegisterCachedFunctions(CefRefPtr<CefV8Value> external, CefRefPtr<CefV8Handler> handler);
  void MuteVolume(CefRefPtr<CefListValue> args);

  // The `external` object of each live context.
  std::shared_ptr<ObjectMap> objects_;
  // Shared with every handler.
  std::shared_ptr<FunctionRegistry> functions_;
  // Names the host added, for every later context.
  std::set<CefString> cached_names_;

  IMPLEMENT_REFCOUNTING(SyncCallerRenderDelegate);
  DISALLOW_COPY_AND_ASSIGN(SyncCallerRenderDelegate);
};

void SyncCallerRenderDelegate::OnContextCreated(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser,
                                                CefRefPtr<CefFrame> frame, CefRefPtr<CefV8Context> context) {
  CefRefPtr<CefV8Value> global = context->GetGlobal();
  CefRefPtr<CefV8Value> external = CefV8Value::CreateObject(nullptr);
  CefRefPtr<SynCallerV8Handler> handler = new SynCallerV8Handler(functions_);
  // Whatever cannot be made or set is simply missing in this context.
  if (external) {
    for (const char* name : kBuiltInNames) {
      CefRefPtr<CefV8Value> function = CefV8Value::CreateFunction(name, handler.get());
      if (function)
        external->SetValue(name, function, V8_PROPERTY_ATTRIBUTE_READONLY);
    }
    if (global)
      global->SetValue("external", external, V8_PROPERTY_ATTRIBUTE_READONLY);
    objects_->Get(context) = external;
  }

  LogInfoW(L"render context created,frame name:%s, is_main:%d, identifier:%I64d",
           (frame ? frame->GetName() : CefString()).ToWString().c_str(), frame && frame->IsMain() ? 1 : 0,
           frame ? frame->GetIdentifier() : 0LL);

  if (external)
    RegisterCachedFunctions(external, handler.get());
}

void SyncCallerRenderDelegate::OnContextReleased(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser,
                                                 CefRefPtr<CefFrame> frame, CefRefPtr<CefV8Context> context) {
  LogInfoW(L"frame released: frame_id=%I64d", frame ? frame->GetIdentifier() : 0LL);
  // The context's functions, pending callbacks and `external` object go with it.
  functions_->Erase(context);
  objects_->Erase(context);
}

bool SyncCallerRenderDelegate::OnProcessMessageReceived(CefRefPtr<ClientAppRenderer> app,
                                                        CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                                        CefRefPtr<CefProcessMessage> message) {
  const CefString name = message->GetName();
  LogInfoW(L"render recv msg: %s", name.ToWString().c_str());
  if (name == process_message::kMuteVolume) {
    MuteVolume(message->GetArgumentList());
    return true;
  }
  if (name == process_message::kCallFunction) {
    CallRegisteredFunction(browser, message->GetArgumentList());
    return true;
  }
  if (name == process_message::kRegisterFunction) {
    RegisterExternalFunction(message->GetArgumentList());
    return true;
  }
  return false;
}

void SyncCallerRenderDelegate::CallRegisteredFunction(CefRefPtr<CefBrowser> browser, CefRefPtr<CefListValue> args) {
  if (!args || args->GetSize() < process_message::kCallFunctionMinArgs)
    return;
  const int execute_id = args->GetInt(process_message::kCallFunctionExecuteId);
  const CefString key = args->GetString(process_message::kCallFunctionName);
  CallStatus status = kCallOk;
  CefString result;

  CefRefPtr<CefV8Context> context;
  CefRefPtr<CefV8Value> function;
  if (key.empty()) {
    status = kCallEmptyName;
  } else if (!FindRegisterFunction(key, &context, &function) || !function) {
    status = kCallFunctionNotFound;
  } else {
    CefV8ValueList call_args;
    for (size_t i = process_message::kCallFunctionFirstArgument; i < args->GetSize(); ++i)
      call_args.push_back(CefV8Value::CreateString(args->GetString(i)));
    CefRefPtr<CefV8Value> value = function->ExecuteFunctionWithContext(context, nullptr, call_args);
    if (value) {
      result = value->GetStringValue();
      LogInfoW(L"render call js:strFunction=%s, function_name=%s, result=%s", key.ToWString().c_str(),
               function->GetFunctionName().ToWString().c_str(), result.ToWString().c_str());
    } else {
      status = kCallNoReturnValue;
    }
    // A callback named by its address answers once, whatever came of the call.
    if (IsOneShotKey(key))
      EraseFunction(*functions_, context, key);
  }

  if (execute_id <= 0 || !browser)
    return;
  CefRefPtr<CefProcessMessage> answer = CefProcessMessage::Create(process_message::kCallResult);
  if (!answer)
    return;
  CefRefPtr<CefListValue> list = answer->GetArgumentList();
  list->SetSize(process_message::kCallResultArgCount);
  list->SetInt(process_message::kCallResultExecuteId, execute_id);
  list->SetInt(process_message::kCallResultStatus, status);
  list->SetString(process_message::kCallResultValue, result);
  browser->SendProcessMessage(PID_BROWSER, answer);
}

bool SyncCallerRenderDelegate::FindRegisterFunction(const CefString& key, CefRefPtr<CefV8Context>* context,
                                                    CefRefPtr<CefV8Value>* function) {
  std::vector<FunctionRegistry::Entry>& entries = functions_->entries();
  for (size_t i = 0; i < entries.size();) {
    FunctionMap::iterator found = entries[i].value.find(key);
    if (found == entries[i].value.end()) {
      ++i;
      continue;
    }
    if (!entries[i].context->IsValid()) {
      LogInfoW(L"FindRegisterFunction(), CefV8Context of Registered function isInValid! remove function name=%s",
               key.ToWString().c_str());
      // A live context further on may hold the same key.
      entries.erase(entries.begin() + i);
      continue;
    }
    *context = entries[i].context;
    *function = found->second;
    return true;
  }
  return false;
}

void SyncCallerRenderDelegate::RegisterExternalFunction(CefRefPtr<CefListValue> args) {
  if (!args || args->GetSize() != 1)
    return;
  const CefString name = args->GetString(0);
  if (name.empty())
    return;
  cached_names_.insert(name);

  const std::wstring name_text = name.ToWString();
  CefRefPtr<SynCallerV8Handler> handler = new SynCallerV8Handler(functions_);
  LogInfoW(L"context map size:%d", static_cast<int>(objects_->size()));
  // HasValue and SetValue can run page script (a proxy on the prototype chain), which may add or
  // remove frames and so change the map: walk a copy, and before each use make sure the context
  // still lives and still holds this object.
  const std::vector<ObjectMap::Entry> snapshot = objects_->entries();
  for (const ObjectMap::Entry& entry : snapshot) {
    if (!IsCurrent(entry))
      continue;
    if (entry.value->HasValue(name)) {
      LogInfoW(L"external obj has value:%s", name_text.c_str());
      continue;
    }
    if (!IsCurrent(entry) || !entry.context->Enter())
      continue;
    CefRefPtr<CefV8Value> function = CefV8Value::CreateFunction(name, handler.get());
    if (!function) {
      // The other contexts still get the method; this one may get it again with a later name.
      LogErrorW(L"create fun error: %s", name_text.c_str());
      entry.context->Exit();
      continue;
    }
    const bool set = entry.value->SetValue(name, function, V8_PROPERTY_ATTRIBUTE_READONLY);
    LogInfoW(L"%s register function: %s ret:%d", entry.value->GetFunctionName().ToWString().c_str(),
             name_text.c_str(), set ? 1 : 0);
    // The copy keeps the context object alive, so it can be left even if script released it.
    entry.context->Exit();
  }
}

bool SyncCallerRenderDelegate::IsCurrent(const ObjectMap::Entry& entry) {
  if (!entry.context->IsValid())
    return false;
  CefRefPtr<CefV8Value>* external = objects_->Find(entry.context);
  return external && *external && (*external)->IsSame(entry.value);
}

void SyncCallerRenderDelegate::RegisterCachedFunctions(CefRefPtr<CefV8Value> external,
                                                       CefRefPtr<CefV8Handler> handler) {
  // An object, not a function: its name is "".
  const std::wstring object_name = external->GetFunctionName().ToWString();
  // HasValue and SetValue can run page script; the walk does not depend on the set meanwhile.
  const std::vector<CefString> names(cached_names_.begin(), cached_names_.end());
  for (const CefString& name : names) {
    const std::wstring name_text = name.ToWString();
    if (external->HasValue(name)) {
      LogWarnW(L"%s register cached function exists:%s", object_name.c_str(), name_text.c_str());
      continue;
    }
    CefRefPtr<CefV8Value> function = CefV8Value::CreateFunction(name, handler);
    const bool set = function && external->SetValue(name, function, V8_PROPERTY_ATTRIBUTE_READONLY);
    LogInfoW(L"%s register cached function: %s ret:%d", object_name.c_str(), name_text.c_str(), set ? 1 : 0);
  }
}

void SyncCallerRenderDelegate::MuteVolume(CefRefPtr<CefListValue> args) {
  if (!args || args->GetSize() == 0)
    return;
  // The library loads on the first use in this process; without it the call changes nothing.
  // Its answer is not needed: the browser process has already applied the setting to itself.
  (void)VolumeCtrlModule::GetInstance()->MuteApp(args->GetBool(0));
}

}  // namespace

void CreateDelegates(ClientAppRenderer::DelegateSet& delegates) {
  delegates.insert(new SyncCallerRenderDelegate);
}

}  // namespace render_sync_call
}  // namespace client
