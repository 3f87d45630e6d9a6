// Which product of the family the host application was installed as, by which vendor, the host
// executable's version and the machine identifier, for the page functions GetChannel,
// GetVersion and GetMID.
//
// The host's installation folder is found relative to this executable's folder ("..\" in the
// system). Every call reads the file system and the registry anew: no state, no lock, any
// thread. Nothing is logged; failures give empty texts and then the defaults below.
#pragma once

#include <windows.h>

#include <string>

#include "compat/atlstr.h"

// Where the identification looks. Texts marked enciphered are Base64 of the string cipher under
// keyText; they are product data of the product build, empty when not supplied (then the
// embedded-install checks never hold).
struct HostProductSources {
  HKEY hostRoot = HKEY_LOCAL_MACHINE;
  std::wstring hostKey = L"Software\\KIVVireDaredo";  // "VendorID", "SubPID", "Setup Path", "InstallDate"
  HKEY morvaneRoot = HKEY_LOCAL_MACHINE;
  std::wstring morvaneKey = L"Software\\Morvane";  // "VendorID", "InstallDate", "Setup Path"
  HKEY liteRoot = HKEY_LOCAL_MACHINE;
  std::wstring liteKey = L"Software\\KivLite";  // "Setup Path"
  HKEY pelmaRoot = HKEY_CURRENT_USER;           // under the deciphered pelmaUserKey
  HKEY siblingRoot = HKEY_LOCAL_MACHINE;        // under the deciphered sibling key paths
  std::wstring keyText;                         // a GUID in braces
  std::wstring embedMarker;                     // enciphered: path appended to the folder
  std::wstring pelmaExe;                        // enciphered: "pelma" executable name
  std::wstring pelmaUserKey;                    // enciphered: key with "pid", "InstallDate"
  std::wstring siblingAKey;                     // enciphered: key with "Path"
  std::wstring siblingBKey;                     // enciphered: key with "Path"
  std::wstring siblingBExe;                     // enciphered: second sibling's executable name
};

// The sources of the product build. Replace them only while nothing else identifies.
HostProductSources GetHostProductSources();
// Returns the previous sources.
HostProductSources SetHostProductSources(const HostProductSources& sources);

namespace HostProductInfo {

// product + "__" + vendor of the installation folder exeDir\relativeDir; never empty: the
// product defaults to "morvane" and the vendor to the product.
ATL::CStringW GetChannel(const ATL::CStringW& relativeDir);
// The same for a folder given as it is.
ATL::CStringW GetChannelForDir(const ATL::CStringW& dir);
// "a.b.c.d" of the folder's KIVVireDaredo.exe, "" when missing or without version block.
ATL::CStringW GetHostVersion(const ATL::CStringW& relativeDir);
// The first machine identifier, "" (with a debugger line) when it cannot be had.
ATL::CStringW GetMid();
// The second machine identifier, "" (with a debugger line) when it cannot be had.
ATL::CStringW GetMid2();
// DetectHostProduct on exeDir\relativeDir.
ATL::CStringW DetectFromRelativeDir(const ATL::CStringW& relativeDir, ATL::CStringW* product,
                                    ATL::CStringW* vendor, ATL::CStringW* installDate);

}  // namespace HostProductInfo

// The installation folder exeDir\relativeDir, canonicalised.
ATL::CStringW HostInstallDir(const ATL::CStringW& relativeDir);

// product + "__" + vendor for dir, "" when no product was found. Each output may be null and is
// written only when dir holds the host executable.
ATL::CStringW DetectHostProduct(const ATL::CStringW& dir, ATL::CStringW* product, ATL::CStringW* vendor,
                                ATL::CStringW* installDate);
BOOL IsEmbeddedInstall(const ATL::CStringW& dir);
BOOL IsMorvaneSibling(const ATL::CStringW& dir);
BOOL IsPelmaSibling(const ATL::CStringW& dir);
// "VendorID" / "SubPID" of the host key; "" when missing, empty or unreadable.
ATL::CStringW ReadHostVendorId();
ATL::CStringW ReadHostSubPid();
// "pid" / "InstallDate" under the "pelma" user key; "" when missing.
ATL::CStringW ReadPelmaVendor();
ATL::CStringW ReadPelmaInstallDate();

// Registry- and module-based readers of the host and its sibling products.
ATL::CStringW GetChannelFromRegistry();
ATL::CStringW GetHostInstallDir();
ATL::CStringW GetHostInstallDate();
ATL::CStringW GetHostExePath();
ATL::CStringW GetHostVersionFromRegistry();
ATL::CStringW GetLiteInstallDir();
ATL::CStringW GetLiteVersion();
ATL::CStringW GetMorvaneVendorId();
ATL::CStringW GetMorvaneInstallDir();
ATL::CStringW GetMorvaneInstallDate();
ATL::CStringW GetMorvaneVersion();
ATL::CStringW GetSiblingAInstallDir();
ATL::CStringW GetSiblingBInstallDir();
ATL::CStringW GetSiblingAVersion();
ATL::CStringW GetSiblingBVersion();
BOOL IsMorvaneNextToModule();
BOOL IsLiteWithoutMorvaneNextToModule();
BOOL IsLiteWithoutMorvane(const ATL::CStringW& dir);
BOOL IsPelmaSiblingNextToModule();
