// Whole-file reads and writes, folder trees, folder walks, path text parts and the paths of
// the special folders.
//
// Contracts:
// - Free functions without state; any thread. Nothing is logged and nothing throws (an
//   allocation failure while reading is a FALSE result).
// - Path buffers handed to the platform hold 260 characters plus a terminator: longer paths
//   are not supported and give FALSE or "".
// - An empty CStringW result means failure or that there is nothing to return.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "compat/atlstr.h"

namespace FileUtil {

// The whole file (under 4 GiB) as raw bytes in *out. FALSE for a null argument, a missing
// path, a folder, a file of 4 GiB or more (out untouched) or a short read.
[[nodiscard]] BOOL ReadFileToString(const wchar_t* path, std::string* out);
// Replaces the file by exactly `size` bytes, creating missing parent folders. FALSE for null
// data, size 0 or a path without a parent folder.
[[nodiscard]] BOOL WriteBufferToFile(const wchar_t* path, const void* data, DWORD size);
// The folder and its missing parents exist afterwards. A relative path is FALSE; a root TRUE.
[[nodiscard]] bool CreateDirectoryTree(const wchar_t* folder);

// Called for every entry of a walk except "." and ".."; setting *stop ends the walk of the
// folder being listed (the folders above it go on). The callback is copied for each level.
using EnumCallback = std::function<void(const WIN32_FIND_DATAW& entry, BOOL* stop)>;
using EnumCallbackA = std::function<void(const WIN32_FIND_DATAA& entry, BOOL* stop)>;
// Lists the folder (and with `recursive` its sub-folders, each after its own entry). A
// sub-folder whose path would not fit 260 characters is reported but not entered.
void EnumDirectory(const wchar_t* folder, BOOL recursive, EnumCallback callback);
void EnumDirectoryA(const char* folder, BOOL recursive, EnumCallbackA callback);
// "." or "..", the entries a folder listing gives for itself and its parent.
bool IsDotEntry(const wchar_t* name);

ATL::CStringW RemoveTrailingBackslash(const ATL::CStringW& path);
ATL::CStringW AddTrailingBackslash(const ATL::CStringW& path);
// Extension (with its dot) and name of the last path component only; a dot in a folder name
// does not count.
ATL::CStringW GetFileExtension(const ATL::CStringW& path);
// After the last backslash ("" without one); without the extension: up to the name's last dot.
ATL::CStringW GetFileName(const ATL::CStringW& path, BOOL withExtension);
// Before the last backslash ("" without one).
ATL::CStringW GetParentFolder(const ATL::CStringW& path);
// Removes up to `levels` trailing components; stops where nothing more can be removed (a root).
ATL::CStringW GetAncestorFolder(const ATL::CStringW& path, int levels);
// Drive ("C:"), folder (with its trailing backslash), name, extension (with its dot).
void SplitPath(const ATL::CStringW& path, ATL::CStringW& drive, ATL::CStringW& folder,
               ATL::CStringW& name, ATL::CStringW& extension);

// Folders; the *SubFolder forms join `sub` and, with `create`, create the folder tree and give
// "" when it does not exist afterwards.
ATL::CStringW GetModuleFolder(HMODULE module);
ATL::CStringW GetModuleSubFolder(HMODULE module, const wchar_t* sub, BOOL create);
ATL::CStringW GetExeFolder();
ATL::CStringW GetExeSubFolder(const wchar_t* sub, BOOL create);
ATL::CStringW GetLocalAppDataFolder();
ATL::CStringW GetLocalAppDataSubFolder(const wchar_t* sub, BOOL create);
ATL::CStringW GetAppDataFolder();
ATL::CStringW GetAppDataSubFolder(const wchar_t* sub, BOOL create);
ATL::CStringW GetDesktopFolder();
ATL::CStringW GetDesktopSubFolder(const wchar_t* sub, BOOL create);
ATL::CStringW GetProgramsFolder();
ATL::CStringW GetProgramsSubFolder(const wchar_t* sub, BOOL create);
// Ends in a backslash.
ATL::CStringW GetTempFolder();
ATL::CStringW GetTempSubFolder(const wchar_t* sub, BOOL create);
// base joined with sub (dot elements resolved); "" for a null argument or a failed join. With
// `create` the folder tree is created and "" is returned when the path does not exist then.
ATL::CStringW CombinePath(const wchar_t* base, const wchar_t* sub, BOOL create);

}  // namespace FileUtil
