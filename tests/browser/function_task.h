// A task that runs a function (base::Bind takes no lambdas), for tests and their helpers.
#pragma once

#include <functional>
#include <utility>

#include "include/cef_task.h"

class FunctionTask : public CefTask {
 public:
  explicit FunctionTask(std::function<void()> fn) : fn_(std::move(fn)) {}
  void Execute() override { fn_(); }

 private:
  std::function<void()> fn_;
  IMPLEMENT_REFCOUNTING(FunctionTask);
};
