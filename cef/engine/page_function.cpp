#include "engine/page_function.h"

#include "engine/journal.h"
#include "engine/renderer_call.h"
#include "engine/utf.h"
#include "engine/v8_value.h"

namespace cefengine {

const char kPageFunctionCallKind[] = "PageFn";

namespace {

class PageFunctionBody : public FunctionBody {
 public:
  explicit PageFunctionBody(std::shared_ptr<const PageFunctionPlan> plan) : plan_(std::move(plan)) {}

  CallOutcome Run(const std::wstring& name, CefRefPtr<CefV8Value> receiver,
                  const CefV8ValueList& arguments) override {
    std::vector<std::string> args{WideToUtf8(name)};
    for (const auto& argument : arguments)
      args.push_back(WideToUtf8(DisplayString(argument)));
    std::shared_ptr<ContextState> context = InnermostContext();
    Record(kPageFunctionCallKind, context ? context->browser_id : 0, context ? context->frame_id : 0,
           std::move(args));
    if (calls_chained_ < plan_->then_times && !plan_->then_path.empty()) {
      ++calls_chained_;
      (void)CallInContext(CefV8Context::GetEnteredContext(), plan_->then_path, plan_->then_args);
    }

    CallOutcome outcome;
    switch (plan_->outcome) {
      case PageFunctionPlan::Outcome::kUndefined:
        break;
      case PageFunctionPlan::Outcome::kValue:
        if (!plan_->result.empty())
          outcome.value = MakePageValue(plan_->result.front());
        break;
      case PageFunctionPlan::Outcome::kThrow:
        outcome.threw = true;
        outcome.exception = plan_->exception;
        break;
    }
    return outcome;
  }

 private:
  std::shared_ptr<const PageFunctionPlan> plan_;
  int calls_chained_ = 0;  // renderer thread only
};

}  // namespace

CefRefPtr<CefV8Value> MakePageValue(const PageValue& value) {
  switch (value.kind) {
    case PageValue::Kind::kUndefined:
      return CefV8Value::CreateUndefined();
    case PageValue::Kind::kNull:
      return CefV8Value::CreateNull();
    case PageValue::Kind::kBool:
      return CefV8Value::CreateBool(value.bool_value);
    case PageValue::Kind::kInt:
      return CefV8Value::CreateInt(value.int_value);
    case PageValue::Kind::kDouble:
      return CefV8Value::CreateDouble(value.double_value);
    case PageValue::Kind::kString:
      return CefV8Value::CreateString(value.string_value);
    case PageValue::Kind::kObject: {
      CefRefPtr<CefV8Value> object = CreatePageObject();
      if (!object)
        return nullptr;
      for (size_t i = 0; i < value.member_names.size() && i < value.member_values.size(); ++i) {
        CefRefPtr<CefV8Value> member = MakePageValue(value.member_values[i]);
        if (!member || !PageAssign(object, value.member_names[i], member))
          return nullptr;
      }
      return object;
    }
    case PageValue::Kind::kGlobal: {
      CefRefPtr<CefV8Context> context = CefV8Context::GetEnteredContext();
      CefRefPtr<CefV8Value> global = context ? context->GetGlobal() : nullptr;
      CefRefPtr<CefV8Value> found = global ? global->GetValue(value.string_value) : nullptr;
      return found ? found : CefV8Value::CreateUndefined();
    }
    case PageValue::Kind::kFunction: {
      auto plan = value.function ? value.function : std::make_shared<const PageFunctionPlan>();
      return CreatePageFunction(plan->name, std::make_shared<PageFunctionBody>(plan));
    }
  }
  return nullptr;
}

}  // namespace cefengine
