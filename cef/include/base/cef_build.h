#ifndef CEF_INCLUDE_BASE_CEF_BUILD_H_
#define CEF_INCLUDE_BASE_CEF_BUILD_H_
#include "include/internal/cef_build.h"
#endif  // CEF_INCLUDE_BASE_CEF_BUILD_H_
