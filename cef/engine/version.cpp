#include "include/cef_version.h"

extern "C" int cef_version_info(int entry) {
  switch (entry) {
    case 0:
      return CEF_VERSION_MAJOR;
    case 1:
      return CEF_COMMIT_NUMBER;
    case 2:
      return CHROME_VERSION_MAJOR;
    case 3:
      return CHROME_VERSION_MINOR;
    case 4:
      return CHROME_VERSION_BUILD;
    case 5:
      return CHROME_VERSION_PATCH;
    default:
      return 0;
  }
}

extern "C" const char* cef_api_hash(int entry) {
  switch (entry) {
    case 0:
      return CEF_API_HASH_PLATFORM;
    case 1:
      return CEF_API_HASH_UNIVERSAL;
    default:
      return nullptr;
  }
}
