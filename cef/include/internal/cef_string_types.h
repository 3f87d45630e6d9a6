// C form of the engine's strings: UTF-16, counted, with the function that frees the buffer.
#ifndef CEF_INCLUDE_INTERNAL_CEF_STRING_TYPES_H_
#define CEF_INCLUDE_INTERNAL_CEF_STRING_TYPES_H_

#include <cstddef>

#include "include/base/cef_basictypes.h"
#include "include/internal/cef_export.h"

extern "C" {

// A string owned by whoever set it: `dtor` (may be null for a borrowed buffer) frees `str`.
// `str` need not be terminated; the engine's own setters always add a terminating 0.
typedef struct _cef_string_utf16_t {
  char16* str;
  size_t length;
  void (*dtor)(char16* str);
} cef_string_utf16_t;

typedef cef_string_utf16_t cef_string_t;
typedef cef_string_utf16_t* cef_string_userfree_t;

// Sets `output` to `len` units of `src`. copy != 0: a private copy (freed by cef_string_clear);
// copy == 0: `output` borrows `src`, which must outlive it. Frees what `output` held before.
// Returns 1 on success, 0 when memory ran out (output then empty).
CEF_EXPORT int cef_string_set(const char16* src, size_t len, cef_string_t* output, int copy);
// Frees the buffer (through its dtor) and leaves an empty string.
CEF_EXPORT void cef_string_clear(cef_string_t* str);
// Compares by UTF-16 code units: < 0, 0 or > 0. Null counts as empty.
CEF_EXPORT int cef_string_cmp(const cef_string_t* str1, const cef_string_t* str2);

// Conversions; `output` receives a private copy. Return 1 on success.
CEF_EXPORT int cef_string_from_utf8(const char* src, size_t src_len, cef_string_t* output);
CEF_EXPORT int cef_string_from_ascii(const char* src, size_t src_len, cef_string_t* output);
CEF_EXPORT int cef_string_from_wide(const wchar_t* src, size_t src_len, cef_string_t* output);

CEF_EXPORT cef_string_userfree_t cef_string_userfree_alloc();
CEF_EXPORT void cef_string_userfree_free(cef_string_userfree_t str);

// A list of strings (used by a few structures).
typedef struct _cef_string_list_t* cef_string_list_t;
}

#endif  // CEF_INCLUDE_INTERNAL_CEF_STRING_TYPES_H_
