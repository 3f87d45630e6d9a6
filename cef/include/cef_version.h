// The CEF release this API is: 3.2623.1401 on Chromium 49.0.2623.110. The fourth part of
// CEF_VERSION names this engine's build where a release names its commit.
#ifndef CEF_INCLUDE_CEF_VERSION_H_
#define CEF_INCLUDE_CEF_VERSION_H_

#include "include/internal/cef_export.h"

#define CEF_VERSION "3.2623.1401.brivelo"
#define CEF_VERSION_MAJOR 3
#define CEF_COMMIT_NUMBER 1401
#define CHROME_VERSION_MAJOR 49
#define CHROME_VERSION_MINOR 0
#define CHROME_VERSION_BUILD 2623
#define CHROME_VERSION_PATCH 110

// The release's API hashes: the universal one over every platform's API, the platform one over
// the Windows API.
#define CEF_API_HASH_UNIVERSAL "32c1d3523da124f2dea7b80b92c53c4d4a463c65"
#define CEF_API_HASH_PLATFORM "64b27477b82b44b51ce817522f744fca6768cbbb"

extern "C" {
// Version numbers: entry 0 CEF_VERSION_MAJOR, 1 CEF_COMMIT_NUMBER, 2-5 Chrome's major, minor,
// build and patch; 0 for any other entry.
CEF_EXPORT int cef_version_info(int entry);
// API hash: entry 0 platform, 1 universal; null for any other entry. The text is static.
CEF_EXPORT const char* cef_api_hash(int entry);
}

#endif  // CEF_INCLUDE_CEF_VERSION_H_
