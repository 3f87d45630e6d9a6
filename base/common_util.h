// Small stateless operations over the platform: where the executable lies, file versions,
// the product's application-data folder and id, file existence, path canonicalisation and
// registry text reads.
//
// Contracts:
// - Every text comes back as a new CStringW by value, empty on failure. Nothing is logged.
// - Paths are built in buffers of 260 characters plus a terminator; longer paths are not
//   supported.
// - A version a.b.c.d travels as two words: ms = (a << 16) | b, ls = (c << 16) | d.
// - Reentrant, any thread. The product answers come from the product services, which keep
//   their own lock.
#pragma once

#include <windows.h>

#include "compat/atlstr.h"

namespace CommonUtil {

ATL::CStringW GetExeDir();
ATL::CStringW GetExePath();
// The module that holds this code (in this system: the executable).
ATL::CStringW GetModuleDir();
ATL::CStringW GetModulePath();

// Fixed version information of a file: file version with `fileVersion`, else product version.
// ms, ls and text may each be null; text, when given, must hold 260 characters. FALSE when the
// file has no version block, it cannot be read, or the block is 8192 bytes or larger.
[[nodiscard]] BOOL QueryFileVersion(const wchar_t* path, DWORD* ms, DWORD* ls, wchar_t* text,
                                    BOOL fileVersion);
// "%d.%d.%d.%d" of the file version, or "". With checkSigner the file must exist and pass the
// signer check first.
ATL::CStringW GetFileVersion(const ATL::CStringW& path, BOOL checkSigner);
ATL::CStringW GetModuleVersion();
// Dotted text to words: up to four parts, each read as _wtoi does and kept as its low 16 bits;
// missing parts are 0. FALSE only for a null text (the words are zeroed anyway).
BOOL ParseVersion(const wchar_t* text, DWORD* ms, DWORD* ls);
// -1, 0 or 1 as version a is lower than, equal to or higher than version b (null = 0.0.0.0).
int CompareVersion(const wchar_t* a, const wchar_t* b);

// The product's application-data folder, never empty: the product services asked 0, 1 and 2
// folder levels above the executable, else the temporary folder joined with "Grallomix".
ATL::CStringW GetProductAppDataPath();
// The current product's id, never empty: levels 0, 1 and 2, else "KIVVireDaredo".
ATL::CStringW GetProductId();
// As GetProductId, asking levels 0 and 1 only.
ATL::CStringW GetProductIdNear();

// The path exists (a folder counts) and, with checkSigner, passes the signer check too. The
// check runs only on an existing file.
BOOL FileExists(const wchar_t* path, BOOL checkSigner);
// Doubled backslashes and doubled slashes collapsed (one left-to-right pass each; a UNC
// prefix becomes a single backslash), then dot elements resolved.
ATL::CStringW CanonicalizePath(const ATL::CStringW& path);
// As SHGetValueW, but always in the 32-bit registry view: the product is a 32-bit process
// and reads that view under WOW64; a 64-bit build of the same code then reads what it reads.
LSTATUS GetRegValue32(HKEY root, const wchar_t* subKey, const wchar_t* valueName, DWORD* type, void* data,
                      DWORD* bytes);
// A text value (REG_SZ, REG_EXPAND_SZ) of at most 1024 bytes, in the 32-bit view. The default
// (or "" when it is null) for a null argument, a missing key or value, a larger value or
// another value type.
ATL::CStringW GetRegString(HKEY root, const wchar_t* subKey, const wchar_t* valueName,
                           const wchar_t* defaultValue);

// What these utilities ask of the product services. The defaults reach the real product
// information and signer check; tests swap in their own.
struct ProductServices {
  ATL::CStringW (*getAppDataDir)(int levelsUp);
  ATL::CStringW (*getProductId)(int levelsUp);
  BOOL (*verifyFileSigner)(const wchar_t* path);
};
// Replaces the services and returns the previous ones. Not synchronised: call it while no
// other thread uses these utilities.
ProductServices SetProductServices(const ProductServices& services);
ProductServices DefaultProductServices();

}  // namespace CommonUtil
