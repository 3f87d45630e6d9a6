// base::Bind: binds leading arguments of a function or method and leaves the rest open.
//   base::Bind(&Free, 1)                      -> Callback<void(rest...)>
//   base::Bind(&C::Method, receiver, args...)  receiver: C*, CefRefPtr<C>, scoped_refptr<C>,
//                                              or base::Unretained(p)
// Bound arguments are copied (decayed) into the callback. A raw receiver whose class is
// reference counted is held by a reference until the last copy of the callback dies;
// base::Unretained opts out of that.
#ifndef CEF_INCLUDE_BASE_CEF_BIND_H_
#define CEF_INCLUDE_BASE_CEF_BIND_H_

#include <functional>
#include <tuple>
#include <type_traits>
#include <utility>

#include "include/base/cef_callback.h"
#include "include/base/cef_ref_counted.h"

namespace base {

template <typename T>
class UnretainedWrapper {
 public:
  explicit UnretainedWrapper(T* o) : ptr_(o) {}
  T* get() const { return ptr_; }

 private:
  T* ptr_;
};

// Binds a receiver without taking a reference; the caller guarantees it outlives the callback.
template <typename T>
inline UnretainedWrapper<T> Unretained(T* o) {
  return UnretainedWrapper<T>(o);
}

template <typename T>
class ConstRefWrapper {
 public:
  explicit ConstRefWrapper(const T& o) : ptr_(&o) {}
  const T& get() const { return *ptr_; }

 private:
  const T* ptr_;
};

// Binds a reference instead of a copy; the object must outlive the callback.
template <typename T>
inline ConstRefWrapper<T> ConstRef(const T& o) {
  return ConstRefWrapper<T>(o);
}

namespace cef_internal {

template <typename T, typename = void>
struct IsRefCounted : std::false_type {};
template <typename T>
struct IsRefCounted<T, std::void_t<decltype(std::declval<T*>()->AddRef()), decltype(std::declval<T*>()->Release())>>
    : std::true_type {};

// Receiver storage: raw pointers to counted classes are retained.
template <typename T>
struct ReceiverStorage {
  typedef T type;
  static const T& Wrap(const T& t) { return t; }
};
template <typename T>
struct ReceiverStorage<T*> {
  typedef typename std::conditional<IsRefCounted<T>::value, scoped_refptr<T>, T*>::type type;
  static type Wrap(T* t) { return type(t); }
};

template <typename T>
inline const T& Unwrap(const T& t) {
  return t;
}
template <typename T>
inline T* Unwrap(const UnretainedWrapper<T>& t) {
  return t.get();
}
template <typename T>
inline const T& Unwrap(const ConstRefWrapper<T>& t) {
  return t.get();
}
template <typename T>
inline T* Unwrap(const scoped_refptr<T>& t) {
  return t.get();
}

// The signature left open after the first N parameters.
template <size_t N, typename R, typename Tuple, typename Seq>
struct OpenSigImpl;
template <size_t N, typename R, typename Tuple, size_t... I>
struct OpenSigImpl<N, R, Tuple, std::index_sequence<I...>> {
  typedef R type(std::tuple_element_t<N + I, Tuple>...);
};
template <size_t N, typename R, typename... A>
struct OpenSig {
  static_assert(N <= sizeof...(A), "base::Bind: more arguments bound than the function takes");
  typedef typename OpenSigImpl<N, R, std::tuple<A...>, std::make_index_sequence<sizeof...(A) - N>>::type type;
};

template <typename Sig>
struct Binder;
template <typename R, typename... Open>
struct Binder<R(Open...)> {
  template <typename F, typename Tuple>
  static Callback<R(Open...)> Make(F f, Tuple bound) {
    return Callback<R(Open...)>(std::function<R(Open...)>([f, bound](Open... open) -> R {
      return std::apply(
          [&](const auto&... b) -> R {
            return static_cast<R>(std::invoke(f, Unwrap(b)...,
                                              std::forward<Open>(open)...));
          },
          bound);
    }));
  }
};

template <typename F>
struct FunctorTraits;
template <typename R, typename... A>
struct FunctorTraits<R (*)(A...)> {
  template <typename... Bound>
  using Open = typename OpenSig<sizeof...(Bound), R, A...>::type;
  static const bool is_method = false;
};
template <typename R, typename C, typename... A>
struct FunctorTraits<R (C::*)(A...)> {
  template <typename Receiver, typename... Bound>
  using Open = typename OpenSig<sizeof...(Bound), R, A...>::type;
  static const bool is_method = true;
};
template <typename R, typename C, typename... A>
struct FunctorTraits<R (C::*)(A...) const> {
  template <typename Receiver, typename... Bound>
  using Open = typename OpenSig<sizeof...(Bound), R, A...>::type;
  static const bool is_method = true;
};

}  // namespace cef_internal

template <typename R, typename... A, typename... Bound>
Callback<typename cef_internal::OpenSig<sizeof...(Bound), R, A...>::type> Bind(R (*f)(A...), Bound&&... bound) {
  typedef typename cef_internal::OpenSig<sizeof...(Bound), R, A...>::type Sig;
  return cef_internal::Binder<Sig>::Make(f, std::make_tuple(std::forward<Bound>(bound)...));
}

template <typename M, typename Receiver, typename... Bound,
          typename = std::enable_if_t<std::is_member_function_pointer<M>::value>>
Callback<typename cef_internal::FunctorTraits<M>::template Open<Receiver, Bound...>> Bind(M method, Receiver&& receiver,
                                                                                          Bound&&... bound) {
  typedef typename cef_internal::FunctorTraits<M>::template Open<Receiver, Bound...> Sig;
  typedef cef_internal::ReceiverStorage<std::decay_t<Receiver>> Storage;
  return cef_internal::Binder<Sig>::Make(
      method, std::tuple<typename Storage::type, std::decay_t<Bound>...>(Storage::Wrap(receiver),
                                                                        std::forward<Bound>(bound)...));
}

// Rebinding a callback's leading arguments.
template <typename R, typename... A, typename... Bound>
Callback<typename cef_internal::OpenSig<sizeof...(Bound), R, A...>::type> Bind(const Callback<R(A...)>& cb,
                                                                              Bound&&... bound) {
  typedef typename cef_internal::OpenSig<sizeof...(Bound), R, A...>::type Sig;
  auto f = [cb](A... a) -> R { return cb.Run(std::forward<A>(a)...); };
  return cef_internal::Binder<Sig>::Make(f, std::make_tuple(std::forward<Bound>(bound)...));
}

}  // namespace base

#endif  // CEF_INCLUDE_BASE_CEF_BIND_H_
