// Operations that act on the system: deleting a folder tree or a stubborn file, starting a
// program through the shell, the browser-engine emulation mode of this executable, the URL
// library's user agent, the message filter, and a few readers (the installed browser-engine
// version, a process's image path, resource bytes, a file's creation time).
//
// Contracts:
// - Every operation reports by its result; only DeleteDirectory logs (a debug line before it
//   deletes) and RunApp writes a debugger line when the signer check fails. Nothing throws.
// - Paths are at most 260 units. Reentrant, any thread; RunApp with wait blocks the calling
//   thread up to its time-out.
#pragma once

#include <windows.h>

#include <string>

#include "compat/atlstr.h"

namespace CommonUtil {

// Deletes the folder and everything in it with the file functions (no command line is
// built). 0 on success; -1 for a path under 4 or over 260 characters, which is not touched;
// otherwise the negated system error of the first entry that could not be deleted (the
// remaining entries are still tried). Links inside the tree are removed, not followed.
int DeleteDirectory(const std::wstring& directory);
int DeleteDirectory(const std::string& directory);  // ANSI code page

// TRUE when the file is gone, or renamed and scheduled for deletion at the next system start
// (a file in use).
BOOL ForceDeleteFile(const ATL::CStringW& path);

// Starts the program at path (at most 260 characters, existing) with the shell's "open".
// With checkSigner the file's signer must pass the product services' check first (see
// CommonUtil::SetProductServices). With wait the call waits up to timeoutMs for the program
// to end; *exitCode (may be null) receives its exit code, STILL_ACTIVE while it runs. TRUE
// when the program was started.
BOOL RunApp(const wchar_t* path, const wchar_t* parameters, int showCommand, BOOL checkSigner, BOOL wait,
            DWORD* exitCode, DWORD timeoutMs);

// The installed browser engine's version ("11.0.9600.18376"), or "".
ATL::CStringW GetIEVersion();
// GetIEVersion up to its first '.', the whole text when it has none or starts with one.
ATL::CStringW GetIEMajorVersion();
ATL::CStringW MajorVersionOf(const ATL::CStringW& version);
// The emulation mode for an engine version: "11." 11001, "10." 10001, "9." 9999, else 8888.
DWORD EmulationModeFor(const ATL::CStringW& version);
// Writes EmulationModeFor(GetIEVersion()) as this executable's FEATURE_BROWSER_EMULATION.
BOOL SetBrowserEmulation();
// Writes one browser-engine feature value for this executable's file name, for the machine
// when allowed, else for the user.
BOOL SetFeatureControl(const ATL::CStringW& feature, DWORD value);
BOOL SetFeatureControlValue(HKEY root, const ATL::CStringW& feature, const wchar_t* valueName, DWORD value);

// The URL library's user agent for this process (UTF-8 or ANSI text, not null).
BOOL SetUserAgent(const char* userAgent);
// Adds the message to (allow) or removes it from the process's message filter.
BOOL AllowWindowMessage(UINT message, BOOL allow);
// The path of the process's executable, or "".
ATL::CStringW GetProcessImagePath(DWORD processId);
// Exactly the bytes of one resource; *out unchanged on failure.
BOOL LoadResourceData(HMODULE module, WORD id, const wchar_t* type, std::string* out);
// The file's creation time (zero when it cannot be read; the result is then FALSE).
BOOL GetFileCreationTime(const wchar_t* path, FILETIME* out);

}  // namespace CommonUtil
