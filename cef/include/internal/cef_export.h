// How the API's C functions are declared and how the library calls code back through C function
// pointers, as libcef.dll does: CEF_EXPORT on each C function of the library, CEF_CALLBACK on each
// function a C structure hands the library to call.
#ifndef CEF_INCLUDE_INTERNAL_CEF_EXPORT_H_
#define CEF_INCLUDE_INTERNAL_CEF_EXPORT_H_

#include "include/internal/cef_build.h"

// The engine is linked statically: its C functions need no import or export marking.
#define CEF_EXPORT

// libcef.dll's callback convention: __stdcall, which counts on 32-bit Windows (the callee pops its
// arguments) and is the one convention on 64-bit Windows. Code that hands the library a callback
// declares it with this, so it builds and calls the same against the layer and the real library.
#define CEF_CALLBACK __stdcall

#endif  // CEF_INCLUDE_INTERNAL_CEF_EXPORT_H_
