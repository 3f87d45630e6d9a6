// Platform and compiler settings shared by every public header of the engine.
#ifndef CEF_INCLUDE_INTERNAL_CEF_BUILD_H_
#define CEF_INCLUDE_INTERNAL_CEF_BUILD_H_

#if !defined(_WIN32)
#error "The engine is built for Windows only."
#endif

#ifndef OS_WIN
#define OS_WIN 1
#endif

#ifndef OVERRIDE
#define OVERRIDE override
#endif

#ifndef ALLOW_UNUSED_LOCAL
#define ALLOW_UNUSED_LOCAL(x) (void)(x)
#endif

#endif  // CEF_INCLUDE_INTERNAL_CEF_BUILD_H_
