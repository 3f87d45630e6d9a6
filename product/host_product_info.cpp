#include "product/host_product_info.h"

#include <shlwapi.h>

#include "base/common_util.h"
#include "base/string_cipher.h"
#include "product/machine_id_v1.h"
#include "product/new_mid.h"
#include "product/product_data.h"

namespace {

const wchar_t kHostExe[] = L"\\KIVVireDaredo.exe";
const wchar_t kMorvaneSiblingExe[] = L"\\..\\Ostrevana_CN.exe";

HostProductSources BuildSources() {
  HostProductSources sources;
  sources.keyText = BRIVELO_HOST_INFO_KEY;
  sources.embedMarker = BRIVELO_HOST_EMBED_MARKER;
  sources.pelmaExe = BRIVELO_HOST_PELMA_EXE;
  sources.pelmaUserKey = BRIVELO_HOST_PELMA_USER_KEY;
  sources.siblingAKey = BRIVELO_HOST_SIBLING_A_KEY;
  sources.siblingBKey = BRIVELO_HOST_SIBLING_B_KEY;
  sources.siblingBExe = BRIVELO_HOST_SIBLING_B_EXE;
  return sources;
}

HostProductSources& Sources() {
  static HostProductSources sources = BuildSources();
  return sources;
}

// Deciphered anew on every use; "" when not supplied.
ATL::CStringW Decipher(const std::wstring& cipher) {
  if (cipher.empty()) return ATL::CStringW();
  return StringCipher::DecryptString(cipher.c_str(), Sources().keyText.c_str());
}

BOOL Exists(const ATL::CStringW& path) { return CommonUtil::FileExists(path, FALSE); }

// A value read as SHGetValueW does (32-bit view) into 260 characters; "" when it cannot be read or is empty.
ATL::CStringW ReadShellValue(HKEY root, const wchar_t* subKey, const wchar_t* name) {
  if (!subKey || !*subKey) return ATL::CStringW();
  wchar_t buffer[MAX_PATH + 1] = {};
  DWORD type = REG_SZ;
  DWORD bytes = MAX_PATH * sizeof(wchar_t);
  if (CommonUtil::GetRegValue32(root, subKey, name, &type, buffer, &bytes) != ERROR_SUCCESS) return ATL::CStringW();
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ATL::CStringW();
  return ATL::CStringW(buffer);
}

ATL::CStringW FolderOf(HKEY root, const ATL::CStringW& subKey, const wchar_t* name) {
  if (subKey.IsEmpty()) return ATL::CStringW();
  ATL::CStringW folder = CommonUtil::GetRegString(root, subKey, name, nullptr);
  if (folder.IsEmpty()) return folder;
  return folder + L"\\";
}

ATL::CStringW VersionOf(const ATL::CStringW& folder, const ATL::CStringW& exe) {
  if (folder.IsEmpty() || exe.IsEmpty()) return ATL::CStringW();
  return CommonUtil::GetFileVersion(folder + exe, FALSE);
}

}  // namespace

HostProductSources GetHostProductSources() { return Sources(); }

HostProductSources SetHostProductSources(const HostProductSources& sources) {
  HostProductSources previous = Sources();
  Sources() = sources;
  return previous;
}

ATL::CStringW HostInstallDir(const ATL::CStringW& relativeDir) {
  return CommonUtil::CanonicalizePath(CommonUtil::GetExeDir() + L"\\" + relativeDir);
}

BOOL IsEmbeddedInstall(const ATL::CStringW& dir) {
  if (!Exists(dir + kHostExe)) return FALSE;
  ATL::CStringW marker = Decipher(Sources().embedMarker);
  return !marker.IsEmpty() && Exists(dir + marker);
}

BOOL IsMorvaneSibling(const ATL::CStringW& dir) { return Exists(dir + kMorvaneSiblingExe); }

BOOL IsPelmaSibling(const ATL::CStringW& dir) {
  ATL::CStringW exe = Decipher(Sources().pelmaExe);
  return !exe.IsEmpty() && Exists(dir + L"\\..\\" + exe);
}

ATL::CStringW ReadHostVendorId() {
  return ReadShellValue(Sources().hostRoot, Sources().hostKey.c_str(), L"VendorID");
}

ATL::CStringW ReadHostSubPid() { return ReadShellValue(Sources().hostRoot, Sources().hostKey.c_str(), L"SubPID"); }

ATL::CStringW ReadPelmaVendor() {
  ATL::CStringW key = Decipher(Sources().pelmaUserKey);
  if (key.IsEmpty()) return key;
  return CommonUtil::GetRegString(Sources().pelmaRoot, key, L"pid", L"");
}

ATL::CStringW ReadPelmaInstallDate() {
  ATL::CStringW key = Decipher(Sources().pelmaUserKey);
  if (key.IsEmpty()) return key;
  return CommonUtil::GetRegString(Sources().pelmaRoot, key, L"InstallDate", L"");
}

ATL::CStringW DetectHostProduct(const ATL::CStringW& dir, ATL::CStringW* product, ATL::CStringW* vendor,
                                ATL::CStringW* installDate) {
  if (!Exists(dir + kHostExe)) return ATL::CStringW();
  ATL::CStringW foundProduct, foundVendor, foundDate;
  if (IsEmbeddedInstall(dir)) {
    if (IsMorvaneSibling(dir)) {
      const HostProductSources& sources = Sources();
      foundProduct = L"morvaneembed";
      foundVendor = CommonUtil::GetRegString(sources.morvaneRoot, sources.morvaneKey.c_str(), L"VendorID", L"");
      if (foundVendor.IsEmpty()) foundVendor = L"morvane";
      foundDate = CommonUtil::GetRegString(sources.morvaneRoot, sources.morvaneKey.c_str(), L"InstallDate", L"");
    }
    if (IsPelmaSibling(dir)) {
      foundProduct = L"pelmaembed";
      foundVendor = ReadPelmaVendor();
      if (foundVendor.IsEmpty()) foundVendor = L"pelma";
      foundDate = ReadPelmaInstallDate();
    }
  } else {
    foundProduct = ReadHostVendorId();
    foundVendor = ReadHostSubPid();
  }
  if (product) *product = foundProduct;
  if (vendor) *vendor = foundVendor;
  if (installDate) *installDate = foundDate;
  if (foundProduct.IsEmpty()) return ATL::CStringW();
  return foundProduct + L"__" + foundVendor;
}

namespace HostProductInfo {

ATL::CStringW GetChannelForDir(const ATL::CStringW& dir) {
  ATL::CStringW product, vendor;
  DetectHostProduct(dir, &product, &vendor, nullptr);
  if (product.IsEmpty()) product = L"morvane";
  if (vendor.IsEmpty()) vendor = product;
  return product + L"__" + vendor;
}

ATL::CStringW GetChannel(const ATL::CStringW& relativeDir) { return GetChannelForDir(HostInstallDir(relativeDir)); }

ATL::CStringW GetHostVersion(const ATL::CStringW& relativeDir) {
  return CommonUtil::GetFileVersion(HostInstallDir(relativeDir) + kHostExe, FALSE);
}

ATL::CStringW GetMid() {
  wchar_t buffer[256] = {};
  (void)GetMachineIdV1W(buffer, 256);  // the buffer tells
  if (!buffer[0]) OutputDebugStringW(L"GetUlv Safe MIDW failed\n");
  return ATL::CStringW(buffer);
}

ATL::CStringW GetMid2() {
  wchar_t buffer[256] = {};
  (void)NewMIDW_Kiv(buffer, 256);  // the buffer tells
  if (!buffer[0]) OutputDebugStringW(L"GetUlv NewMIDW_Kiv failed\n");
  return ATL::CStringW(buffer);
}

ATL::CStringW DetectFromRelativeDir(const ATL::CStringW& relativeDir, ATL::CStringW* product,
                                    ATL::CStringW* vendor, ATL::CStringW* installDate) {
  return DetectHostProduct(HostInstallDir(relativeDir), product, vendor, installDate);
}

}  // namespace HostProductInfo

ATL::CStringW GetChannelFromRegistry() {
  ATL::CStringW product = ReadHostVendorId();
  if (product.IsEmpty()) product = L"morvane";
  ATL::CStringW vendor = ReadHostSubPid();
  if (vendor.IsEmpty()) vendor = product;
  return product + L"__" + vendor;
}

ATL::CStringW GetHostInstallDir() {
  return FolderOf(Sources().hostRoot, Sources().hostKey.c_str(), L"Setup Path");
}

ATL::CStringW GetHostInstallDate() {
  return CommonUtil::GetRegString(Sources().hostRoot, Sources().hostKey.c_str(), L"InstallDate", L"");
}

ATL::CStringW GetHostExePath() {
  ATL::CStringW folder = GetHostInstallDir();
  if (folder.IsEmpty()) return folder;
  ATL::CStringW path = folder + L"KIVVireDaredo.exe";
  return Exists(path) ? path : ATL::CStringW();
}

ATL::CStringW GetHostVersionFromRegistry() {
  ATL::CStringW path = GetHostExePath();
  return path.IsEmpty() ? path : CommonUtil::GetFileVersion(path, FALSE);
}

ATL::CStringW GetLiteInstallDir() { return FolderOf(Sources().liteRoot, Sources().liteKey.c_str(), L"Setup Path"); }

ATL::CStringW GetLiteVersion() { return VersionOf(GetLiteInstallDir(), L"kivlite.exe"); }

ATL::CStringW GetMorvaneVendorId() {
  return CommonUtil::GetRegString(Sources().morvaneRoot, Sources().morvaneKey.c_str(), L"VendorID", L"");
}

ATL::CStringW GetMorvaneInstallDir() {
  return FolderOf(Sources().morvaneRoot, Sources().morvaneKey.c_str(), L"Setup Path");
}

ATL::CStringW GetMorvaneInstallDate() {
  return CommonUtil::GetRegString(Sources().morvaneRoot, Sources().morvaneKey.c_str(), L"InstallDate", L"");
}

ATL::CStringW GetMorvaneVersion() { return VersionOf(GetMorvaneInstallDir(), L"Ostrevana_CN.exe"); }

ATL::CStringW GetSiblingAInstallDir() { return FolderOf(Sources().siblingRoot, Decipher(Sources().siblingAKey), L"Path"); }

ATL::CStringW GetSiblingBInstallDir() { return FolderOf(Sources().siblingRoot, Decipher(Sources().siblingBKey), L"Path"); }

ATL::CStringW GetSiblingAVersion() { return VersionOf(GetSiblingAInstallDir(), Decipher(Sources().pelmaExe)); }

ATL::CStringW GetSiblingBVersion() { return VersionOf(GetSiblingBInstallDir(), Decipher(Sources().siblingBExe)); }

BOOL IsMorvaneNextToModule() { return IsMorvaneSibling(CommonUtil::GetModuleDir()); }

BOOL IsLiteWithoutMorvane(const ATL::CStringW& dir) {
  return Exists(dir + L"\\..\\KivLite.exe") && !Exists(dir + kMorvaneSiblingExe);
}

BOOL IsLiteWithoutMorvaneNextToModule() { return IsLiteWithoutMorvane(CommonUtil::GetModuleDir()); }

BOOL IsPelmaSiblingNextToModule() { return IsPelmaSibling(CommonUtil::GetModuleDir()); }
