#ifndef CEF_INCLUDE_BASE_CEF_CALLBACK_H_
#define CEF_INCLUDE_BASE_CEF_CALLBACK_H_

#include <functional>
#include <utility>

#include "include/base/cef_callback_forward.h"

namespace base {

// A copyable, possibly empty function object (made by base::Bind). Copies share nothing but
// the bound arguments' own reference semantics. Running an empty callback is a fault.
template <typename R, typename... Args>
class Callback<R(Args...)> {
 public:
  typedef R RunType(Args...);

  Callback() {}
  explicit Callback(std::function<R(Args...)> f) : f_(std::move(f)) {}

  R Run(Args... args) const { return f_(std::forward<Args>(args)...); }
  bool is_null() const { return !f_; }
  void Reset() { f_ = nullptr; }
  // True when both are empty (a callback is equal to itself only through copies of nothing).
  bool Equals(const Callback& other) const { return is_null() && other.is_null(); }

 private:
  std::function<R(Args...)> f_;
};

}  // namespace base

#endif  // CEF_INCLUDE_BASE_CEF_CALLBACK_H_
