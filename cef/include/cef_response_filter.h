#ifndef CEF_INCLUDE_CEF_RESPONSE_FILTER_H_
#define CEF_INCLUDE_CEF_RESPONSE_FILTER_H_

#include "include/cef_base.h"

typedef enum {
  RESPONSE_FILTER_NEED_MORE_DATA,
  RESPONSE_FILTER_DONE,
  RESPONSE_FILTER_ERROR
} cef_response_filter_status_t;

// Rewrites a response body (IO thread). Declared for completeness; the engine does not apply
// filters.
class CefResponseFilter : public virtual CefBase {
 public:
  typedef cef_response_filter_status_t FilterStatus;

  virtual bool InitFilter() = 0;
  virtual FilterStatus Filter(void* data_in, size_t data_in_size, size_t& data_in_read, void* data_out,
                              size_t data_out_size, size_t& data_out_written) = 0;
};

#endif  // CEF_INCLUDE_CEF_RESPONSE_FILTER_H_
