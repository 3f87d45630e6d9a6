// A value per script context, found by the context's identity.
//
// CEF hands out a new CefV8Context object with every callback and every GetCurrentContext call,
// so two references to one context are different pointers; entries are found with IsSame. Walks
// run in the order the entries were added. Renderer main thread only.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "include/cef_v8.h"

namespace client {
namespace render_sync_call {

template <typename T>
class ContextMap {
 public:
  struct Entry {
    CefRefPtr<CefV8Context> context;  // the reference the entry was made with
    T value;
  };

  // The value of `context`, or null. The pointer is valid until the map next changes.
  T* Find(const CefRefPtr<CefV8Context>& context) {
    auto it = Position(context);
    return it == entries_.end() ? nullptr : &it->value;
  }

  // The value of `context`, added at the end (default-constructed) when missing. The reference
  // is valid until the map next changes.
  T& Get(const CefRefPtr<CefV8Context>& context) {
    auto it = Position(context);
    if (it != entries_.end())
      return it->value;
    entries_.push_back(Entry{context, T()});
    return entries_.back().value;
  }

  // False when `context` had no entry.
  bool Erase(const CefRefPtr<CefV8Context>& context) {
    auto it = Position(context);
    if (it == entries_.end())
      return false;
    entries_.erase(it);
    return true;
  }

  // Erases every entry for which `pred(entry)` holds.
  template <typename Pred>
  void EraseIf(Pred pred) {
    std::vector<Entry> kept;
    kept.reserve(entries_.size());
    for (Entry& entry : entries_) {
      if (!pred(entry))
        kept.push_back(std::move(entry));
    }
    entries_.swap(kept);
  }

  // In the order added. Erasing while walking invalidates the walk; so does a call into V8 that
  // can run page script (which may create or release contexts): such a walk goes over a copy.
  std::vector<Entry>& entries() { return entries_; }
  size_t size() const { return entries_.size(); }

 private:
  typename std::vector<Entry>::iterator Position(const CefRefPtr<CefV8Context>& context) {
    if (!context)
      return entries_.end();
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->context->IsSame(context))
        return it;
    }
    return entries_.end();
  }

  std::vector<Entry> entries_;
};

}  // namespace render_sync_call
}  // namespace client
