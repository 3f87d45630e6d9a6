#ifndef CEF_INCLUDE_CEF_VERSION_H_
#define CEF_INCLUDE_CEF_VERSION_H_

#define CEF_VERSION "3.2526.1366.brivelo"
#define CEF_VERSION_MAJOR 3
#define CEF_COMMIT_NUMBER 1366
#define CHROME_VERSION_MAJOR 47
#define CHROME_VERSION_MINOR 0
#define CHROME_VERSION_BUILD 2526
#define CHROME_VERSION_PATCH 0

#define CEF_API_HASH_UNIVERSAL "64b27477b82b44b51ce817522f744fca6768cbbb"
#define CEF_API_HASH_PLATFORM "64b27477b82b44b51ce817522f744fca6768cbbb"

extern "C" {
// Version numbers: entry 0 CEF_VERSION_MAJOR, 1 CEF_COMMIT_NUMBER, 2-5 Chrome's.
int cef_version_info(int entry);
// API hash: entry 0 platform, 1 universal.
const char* cef_api_hash(int entry);
}

#endif  // CEF_INCLUDE_CEF_VERSION_H_
