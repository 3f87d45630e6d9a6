// Folders under the user's roaming application-data folder and the temporary folder, copies of
// files into them, and paths of files beside the executable.
//
// Contracts:
// - Sub-paths and names are appended as given: no separator is inserted. The application-data
//   folder has no final backslash (pass sub-folders with a leading one); the temporary folder
//   ends in one.
// - Paths are built in 260-unit buffers: a joined path longer than 260 units is refused ("",
//   or ERROR_FILENAME_EXCED_RANGE from the Make* forms), never cut.
// - "" (or an empty out-string) means failure. Nothing is logged. Reentrant, any thread.
// - The narrow forms convert with the ANSI code page.
#pragma once

#include <windows.h>

#include <string>

#include "compat/atlstr.h"

namespace CommonUtil {

// %APPDATA% + sub; with create the folder tree is made and "" is returned when it does not
// exist afterwards.
ATL::CStringW GetAppDataDir(const ATL::CStringW& sub, BOOL create);
// *out = %APPDATA% + sub, created; returns the creation's code (0, ERROR_ALREADY_EXISTS, ...).
int MakeAppDataDirW(const std::wstring& sub, std::wstring* out);
int MakeAppDataDirA(const std::string& sub, std::string* out);
// The temporary folder + sub, as GetAppDataDir.
ATL::CStringW GetTempDir(const ATL::CStringW& sub, BOOL create);
// *out = the temporary folder + name (nothing is created).
void GetTempFilePathW(const std::wstring& name, std::wstring* out);
void GetTempFilePathA(const std::string& name, std::string* out);

// Copies the file at source into GetAppDataDir(sub, TRUE) (GetTempDir for the second) under its
// own name, replacing an older copy; when the older copy cannot be deleted (it is in use), the
// copy is named "<name>-<seconds since 1970>". Returns the copy's path and gives the folder to
// *folderOut (may be null); "" on failure, with nothing created for a null source.
ATL::CStringW CopyToAppDataDir(const wchar_t* source, const wchar_t* sub, ATL::CStringW* folderOut);
ATL::CStringW CopyToTempDir(const wchar_t* source, const wchar_t* sub, ATL::CStringW* folderOut);

// *out = the executable's folder with its backslash, then name.
void MakeExeDirPath(const std::wstring& name, std::wstring* out);
void MakeExeDirPathA(const std::string& name, std::string* out);
// The same with a name printed from a printf format (Microsoft's rules: "%s" takes a wide text
// in the wide forms); a printed name longer than 260 units is cut there first.
ATL::CStringW FormatExeDirPath(const wchar_t* format, ...);
void FormatExeDirPathW(std::wstring* out, const wchar_t* format, ...);
void FormatExeDirPathA(std::string* out, const char* format, ...);
ATL::CStringW GetExeDirPath(const wchar_t* name);

// The system folder (GetSystemDirectoryA) with its backslash, then name; "" when the folder
// cannot be read or the whole path does not fit 260 units. For starting the system's own
// programs by full path, never through the search path.
std::string SystemDirPathA(const char* name);

}  // namespace CommonUtil
