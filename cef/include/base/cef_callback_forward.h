#ifndef CEF_INCLUDE_BASE_CEF_CALLBACK_FORWARD_H_
#define CEF_INCLUDE_BASE_CEF_CALLBACK_FORWARD_H_

namespace base {
template <typename Sig>
class Callback;
typedef Callback<void()> Closure;
}  // namespace base

#endif  // CEF_INCLUDE_BASE_CEF_CALLBACK_FORWARD_H_
