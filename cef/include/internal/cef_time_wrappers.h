#ifndef CEF_INCLUDE_INTERNAL_CEF_TIME_WRAPPERS_H_
#define CEF_INCLUDE_INTERNAL_CEF_TIME_WRAPPERS_H_

#include "include/internal/cef_time.h"

// A UTC calendar time with conversions to and from time_t (64-bit; years past 2038 work).
class CefTime : public cef_time_t {
 public:
  CefTime() : cef_time_t{} {}
  CefTime(const cef_time_t& r) : cef_time_t(r) {}
  explicit CefTime(time_t r) : cef_time_t{} { SetTimeT(r); }
  explicit CefTime(double r) : cef_time_t{} { SetDoubleT(r); }

  void SetTimeT(time_t r) { cef_time_from_timet(r, this); }
  time_t GetTimeT() const {
    time_t time = 0;
    cef_time_to_timet(this, &time);
    return time;
  }
  void SetDoubleT(double r) { cef_time_from_doublet(r, this); }
  double GetDoubleT() const {
    double time = 0;
    cef_time_to_doublet(this, &time);
    return time;
  }
  void Now() { cef_time_now(this); }
  // Milliseconds from `from` to this time.
  long long Delta(const CefTime& from) {
    long long delta = 0;
    cef_time_delta(&from, this, &delta);
    return delta;
  }
};

#endif  // CEF_INCLUDE_INTERNAL_CEF_TIME_WRAPPERS_H_
