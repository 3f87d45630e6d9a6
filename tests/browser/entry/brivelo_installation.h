// A private installation of Brivelo.exe for one test, started through the host simulator.
//
// <scratch>\product\bin holds the executable (a hard link to the build's, else a copy) and, when
// asked for, the trusted volume-control stand-in as VolumeCtrl.dll; <scratch>\temp is TMP and TEMP
// of every process the run starts. Without a product family around it the product folder is
// "<scratch>\temp\Grallomix"; InstallProduct puts a product two folders above the executable
// (ProductInfo.dat, its main program and its registry values) whose statistics go to a test's
// server and whose folder is one of the test's own under the roaming application data. Either
// way the logs (all levels switched on by their ".on" markers) and CEF's default cache folder
// are the test's own, whatever other tests run at the same time.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "base/string_cipher.h"
#include "tests/base/log_test_support.h"
#include "tests/product/owned_registry_key.h"
#include "tests/product/product_info_fixture.h"
#include "tests/product/volume_standin_files.h"
#include "tools/hostsim/hostsim_runner.h"

namespace entry_test {

// Process starts under Wine take a second or more on a loaded machine.
constexpr DWORD kRunMs = 30000;

class BriveloInstallation {
 public:
  explicit BriveloInstallation(bool with_volume_control = false) {
    bin_ = tree_.Folder(L"product\\bin");
    temp_ = tree_.Folder(L"temp");
    app_data_ = temp_ + L"\\Grallomix";
    const std::wstring built = product_fixture::ExeDir() + L"\\Brivelo.exe";
    exe_ = bin_ + L"\\Brivelo.exe";
    if (!CreateHardLinkW(exe_.c_str(), built.c_str(), nullptr)) {
      EXPECT_TRUE(CopyFileW(built.c_str(), exe_.c_str(), FALSE)) << "Brivelo.exe could not be placed";
    }
    if (with_volume_control) {
      EXPECT_TRUE(CopyFileW(volume_standin::Trusted().c_str(), (bin_ + L"\\VolumeCtrl.dll").c_str(), FALSE));
    }
    SwitchLogsOn();
  }
  ~BriveloInstallation() {
    if (!roaming_name_.empty()) RemoveFolderTree(app_data_);
  }

  // Installs the product family: its statistics reports go to
  // stats_base + "/s.gif?a={action}&t={type}&p={pid}" (the channel id is "chan7"), and the product
  // folder becomes a new one under the roaming application data. Before the first run.
  void InstallProduct(const std::wstring& stats_base) {
    const std::wstring root = tree_.Root();
    const std::string name = "brivelo_entry_" + std::to_string(GetCurrentProcessId()) + "_" +
                             std::to_string(reinterpret_cast<UINT_PTR>(this) & 0xFFFFFF);
    roaming_name_.assign(name.begin(), name.end());
    EXPECT_TRUE(CopyFileW((product_fixture::ExeDir() + L"\\host_stub.exe").c_str(), (root + L"\\main.exe").c_str(),
                          FALSE));
    product_key_.SetString(L"Product", L"ch", L"chan7");
    product_key_.SetString(L"Product", L"dir", root);
    std::string key_path;
    for (wchar_t c : product_key_.Sub(L"Product")) {
      if (c == L'\\') key_path += "\\\\";
      else key_path += static_cast<char>(c);
    }
    const std::wstring stats = stats_base + L"/s.gif?a={action}&t={type}&p={pid}";
    product_fixture::WriteProductInfo(
        root + L"\\ProductInfo.dat",
        R"({"version":"1","info":[{"product_id":"kvd","main_process_name":"main.exe",)"
        R"("reg_path":"HKEY_CURRENT_USER\\)" + key_path + R"(","channel_reg_key":"ch","install_dir_reg_key":"dir",)"
        R"("appdata_dir_name":")" + name + R"(","stats_url":")" + std::string(stats.begin(), stats.end()) + R"("}]})");
    wchar_t roaming[MAX_PATH + 1] = {};
    EXPECT_TRUE(SHGetSpecialFolderPathW(nullptr, roaming, CSIDL_APPDATA, FALSE));
    app_data_ = std::wstring(roaming) + L"\\" + roaming_name_;
    RemoveFolderTree(app_data_);
    SwitchLogsOn();
  }

  const std::wstring& Exe() const { return exe_; }
  const std::wstring& Bin() const { return bin_; }
  // The product folder the processes use.
  const std::wstring& AppData() const { return app_data_; }

  // Runner options that start this installation's executable with the installation's TMP and
  // TEMP, then the further variables (an empty value removes one).
  hostsim::RunnerOptions Options(std::vector<std::wstring> args,
                                 std::vector<std::pair<std::wstring, std::wstring>> environment = {}) const {
    hostsim::RunnerOptions options;
    options.exe = exe_;
    options.args = std::move(args);
    options.environment = {{L"TMP", temp_}, {L"TEMP", temp_}};
    options.environment.insert(options.environment.end(), environment.begin(), environment.end());
    return options;
  }

  // The log of one process kind ("browser", "render", "other") as UTF-8; empty when none was
  // written. Every process of that kind appends to the same file.
  std::string Log(const wchar_t* kind) const {
    const std::wstring text = log_test::WideText(log_test::ReadBytes(AppData() + L"\\Log\\Brivelo." + kind + L".log"));
    return StringCipher::WideToCodePage(text.c_str(), CP_UTF8);
  }
  void ClearLogs() const {
    for (const wchar_t* kind : {L"browser", L"render", L"other"}) {
      DeleteFileW((AppData() + L"\\Log\\Brivelo." + std::wstring(kind) + L".log").c_str());
    }
  }

  // The stand-in's calls from every process of this installation ("<pid> MuteApp 1", ...).
  std::vector<std::string> VolumeCalls() const { return volume_standin::Calls(bin_, true); }
  void ClearVolumeCalls() const { DeleteFileW((bin_ + L"\\volume_calls.log").c_str()); }

 private:
  void SwitchLogsOn() {
    std::wstring log = app_data_;
    CreateDirectoryW(log.c_str(), nullptr);
    log += L"\\Log";
    CreateDirectoryW(log.c_str(), nullptr);
    for (const wchar_t* kind : {L"browser", L"render", L"other"}) {
      product_fixture::Touch(log + L"\\Brivelo." + kind + L".log.on");
    }
  }

  product_fixture::ScratchTree tree_;
  OwnedRegistryKey product_key_{HKEY_CURRENT_USER, L"entry"};
  std::wstring app_data_;
  std::wstring roaming_name_;
  std::wstring bin_;
  std::wstring temp_;
  std::wstring exe_;
};

// How often `part` occurs in `text`.
inline size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

}  // namespace entry_test
