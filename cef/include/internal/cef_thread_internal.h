#ifndef CEF_INCLUDE_INTERNAL_CEF_THREAD_INTERNAL_H_
#define CEF_INCLUDE_INTERNAL_CEF_THREAD_INTERNAL_H_

#include <windows.h>

#include "include/internal/cef_export.h"

extern "C" {
typedef DWORD cef_platform_thread_id_t;
typedef DWORD cef_platform_thread_handle_t;
// Id of the calling OS thread (GetCurrentThreadId).
CEF_EXPORT cef_platform_thread_id_t cef_get_current_platform_thread_id();
CEF_EXPORT cef_platform_thread_handle_t cef_get_current_platform_thread_handle();
}

#endif  // CEF_INCLUDE_INTERNAL_CEF_THREAD_INTERNAL_H_
