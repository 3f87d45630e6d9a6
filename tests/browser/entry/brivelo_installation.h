// A private installation of Brivelo.exe for one test, started through the host simulator.
//
// <scratch>\bin holds the executable (a hard link to the build's, else a copy) and, when asked
// for, the trusted volume-control stand-in as VolumeCtrl.dll; <scratch>\temp is TMP and TEMP of
// every process the run starts. No product family is installed around it, so the product folder
// is "<scratch>\temp\Grallomix": the logs (all levels switched on by their ".on" markers) and
// CEF's default cache folder are the test's own, whatever other tests run at the same time.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "base/string_cipher.h"
#include "tests/base/log_test_support.h"
#include "tests/product/product_info_fixture.h"
#include "tests/product/volume_standin_files.h"
#include "tools/hostsim/hostsim_runner.h"

namespace entry_test {

// Process starts under Wine take a second or more on a loaded machine.
constexpr DWORD kRunMs = 30000;

class BriveloInstallation {
 public:
  explicit BriveloInstallation(bool with_volume_control = false) {
    bin_ = tree_.Folder(L"bin");
    temp_ = tree_.Folder(L"temp");
    const std::wstring built = product_fixture::ExeDir() + L"\\Brivelo.exe";
    exe_ = bin_ + L"\\Brivelo.exe";
    if (!CreateHardLinkW(exe_.c_str(), built.c_str(), nullptr)) {
      EXPECT_TRUE(CopyFileW(built.c_str(), exe_.c_str(), FALSE)) << "Brivelo.exe could not be placed";
    }
    if (with_volume_control) {
      EXPECT_TRUE(CopyFileW(volume_standin::Trusted().c_str(), (bin_ + L"\\VolumeCtrl.dll").c_str(), FALSE));
    }
    const std::wstring log = tree_.Folder(L"temp\\Grallomix\\Log");
    for (const wchar_t* kind : {L"browser", L"render", L"other"}) {
      product_fixture::Touch(log + L"\\Brivelo." + kind + L".log.on");
    }
  }

  const std::wstring& Exe() const { return exe_; }
  const std::wstring& Bin() const { return bin_; }
  // The product folder the processes use.
  std::wstring AppData() const { return temp_ + L"\\Grallomix"; }

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
  product_fixture::ScratchTree tree_;
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
