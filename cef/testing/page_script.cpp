#include "testing/page_script.h"

#include <memory>

#include "engine/v8_context.h"
#include "engine/v8_value.h"

namespace cefengine {
namespace test {

namespace {

PageValue OfKind(PageValue::Kind kind) {
  PageValue value;
  value.kind = kind;
  return value;
}

PageValue Function(std::shared_ptr<PageFunctionPlan> plan) {
  PageValue value = OfKind(PageValue::Kind::kFunction);
  value.function = std::move(plan);
  return value;
}

}  // namespace

PageValue Str(const CefString& text) {
  PageValue value = OfKind(PageValue::Kind::kString);
  value.string_value = text.ToWString();
  return value;
}

PageValue Int(int32 number) {
  PageValue value = OfKind(PageValue::Kind::kInt);
  value.int_value = number;
  return value;
}

PageValue Double(double number) {
  PageValue value = OfKind(PageValue::Kind::kDouble);
  value.double_value = number;
  return value;
}

PageValue Bool(bool flag) {
  PageValue value = OfKind(PageValue::Kind::kBool);
  value.bool_value = flag;
  return value;
}

PageValue Null() {
  return OfKind(PageValue::Kind::kNull);
}

PageValue Undefined() {
  return OfKind(PageValue::Kind::kUndefined);
}

PageValue Obj(const std::vector<std::pair<CefString, PageValue>>& members) {
  PageValue value = OfKind(PageValue::Kind::kObject);
  for (const auto& member : members) {
    value.member_names.push_back(member.first.ToWString());
    value.member_values.push_back(member.second);
  }
  return value;
}

PageValue PageFn(const CefString& name) {
  auto plan = std::make_shared<PageFunctionPlan>();
  plan->name = name.ToWString();
  return Function(plan);
}

PageValue PageFnReturning(const CefString& name, const PageValue& result) {
  auto plan = std::make_shared<PageFunctionPlan>();
  plan->name = name.ToWString();
  plan->outcome = PageFunctionPlan::Outcome::kValue;
  plan->result.push_back(result);
  return Function(plan);
}

PageValue PageFnThrowing(const CefString& name, const CefString& message) {
  auto plan = std::make_shared<PageFunctionPlan>();
  plan->name = name.ToWString();
  plan->outcome = PageFunctionPlan::Outcome::kThrow;
  plan->exception = message.ToWString();
  return Function(plan);
}

CallResult RendererCall(CefRefPtr<CefV8Context> context, const std::string& path, const std::vector<PageValue>& args) {
  return CallInContext(context, path, args);
}

CallResult RendererGet(CefRefPtr<CefV8Context> context, const std::string& path) {
  return GetInContext(context, path);
}

CallResult RendererAssign(CefRefPtr<CefV8Context> context, const std::string& path, const PageValue& value) {
  return AssignInContext(context, path, value);
}

CallResult RendererCall(int browser_id, int64 frame_id, const std::string& path, const std::vector<PageValue>& args) {
  return CallInContext(FindFrameContext(browser_id, frame_id), path, args);
}

CallResult RendererGet(int browser_id, int64 frame_id, const std::string& path) {
  return GetInContext(FindFrameContext(browser_id, frame_id), path);
}

CallResult RendererAssign(int browser_id, int64 frame_id, const std::string& path, const PageValue& value) {
  return AssignInContext(FindFrameContext(browser_id, frame_id), path, value);
}

void SetPropertyTrap(std::function<void(const std::string& operation, const CefString& key)> trap) {
  if (!trap) {
    cefengine::SetPropertyTrap(nullptr);
    return;
  }
  cefengine::SetPropertyTrap(
      [trap](const char* operation, const std::wstring& key) { trap(operation, CefString(key)); });
}

std::vector<JournalEntry> PageFnCalls(const std::string& name) {
  std::vector<JournalEntry> calls;
  for (auto& entry : JournalSnapshot()) {
    if (entry.kind == kPageFunctionCallKind && !entry.args.empty() && entry.args[0] == name)
      calls.push_back(std::move(entry));
  }
  return calls;
}

}  // namespace test
}  // namespace cefengine
