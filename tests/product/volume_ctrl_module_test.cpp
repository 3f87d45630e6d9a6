#include "product/volume_ctrl_module.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "product_info_fixture.h"
#include "volume_standin_files.h"

namespace {

using product_fixture::ScratchTree;
using product_fixture::Utf8;

// A tree root\gp\p\exe with the probe in exe; the library is looked for in exe, p and gp\Utils.
struct ProbeTree {
  ScratchTree tree;
  std::wstring exe = tree.Folder(L"gp\\p\\exe");
  std::wstring parent = tree.Path(L"gp\\p");
  std::wstring utils = tree.Folder(L"gp\\Utils");
  std::wstring probe = product_fixture::PlaceProbe(exe, L"volume_ctrl_probe.exe");

  // Places a copy of source as folder\name.
  void Place(const std::wstring& source, const std::wstring& folder, const wchar_t* name) const {
    ASSERT_TRUE(CopyFileW(source.c_str(), (folder + L"\\" + name).c_str(), FALSE)) << Utf8(source);
  }

  struct Run {
    std::vector<std::string> logLines;  // the lines about the library, in order
    std::map<std::string, std::string> answers;
  };
  Run Probe(const std::wstring& arguments) const {
    Run run;
    std::istringstream lines(product_fixture::RunProbeOutput(probe, arguments));
    std::string line;
    while (std::getline(lines, line)) {
      while (!line.empty() && line.back() == '\r') line.pop_back();  // the log ends its lines with \r\n
      size_t equals = line.find('=');
      if (line.compare(0, 10, "VolumeCtrl") == 0) run.logLines.push_back(line);
      else if (equals != std::string::npos) run.answers[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return run;
  }
};

struct SearchCase {
  const char* name;
  // Each placement: folder (0 exe, 1 parent, 2 grandparent's Utils), file name, signed or not.
  struct Placement {
    int folder;
    const wchar_t* file;
    bool trusted;
  };
  std::vector<Placement> placements;
  std::vector<std::pair<bool, std::pair<int, const wchar_t*>>> expectedLog;  // (found?, (folder, file))
  int loadedFolder;  // -1: nothing loaded
  const wchar_t* loadedFile;
};

void PrintTo(const SearchCase& c, std::ostream* out) { *out << c.name; }

class VolumeCtrlSearch : public ::testing::TestWithParam<SearchCase> {};

TEST_P(VolumeCtrlSearch, LoadsTheFirstTrustedLibraryInOrder) {
  const SearchCase& c = GetParam();
  ProbeTree t;
  const std::wstring folders[] = {t.exe, t.parent, t.utils};
  for (const auto& p : c.placements) {
    t.Place(p.trusted ? volume_standin::Trusted() : volume_standin::Unsigned(), folders[p.folder], p.file);
  }
  ProbeTree::Run run = t.Probe(L"1");

  std::vector<std::string> expected;
  for (const auto& line : c.expectedLog) {
    const std::string path = Utf8(folders[line.second.first] + L"\\" + line.second.second);
    expected.push_back((line.first ? "VolumeCtrl:" : "VolumeCtrl not exist:") + path);
  }
  EXPECT_EQ(expected, run.logLines);
  EXPECT_EQ("1", run.answers["instances"]);
  if (c.loadedFolder < 0) {
    EXPECT_EQ("", run.answers["module"]);
    EXPECT_EQ("0000", run.answers["entries"]);
  } else {
    EXPECT_EQ(Utf8(folders[c.loadedFolder] + L"\\" + c.loadedFile), run.answers["module"]);
    EXPECT_EQ("1111", run.answers["entries"]);
    EXPECT_EQ(std::vector<std::string>{"Init"}, volume_standin::Calls(folders[c.loadedFolder]));
  }
  // A refused library is never loaded, so it records nothing.
  for (const auto& p : c.placements) {
    if (!p.trusted) {
      EXPECT_TRUE(volume_standin::Calls(folders[p.folder]).empty());
    }
  }
}

const wchar_t* const kVolume = L"VolumeCtrl.dll";
const wchar_t* const kKiv = L"KivVolumeCtrl.dll";

INSTANTIATE_TEST_SUITE_P(
    Trees, VolumeCtrlSearch,
    ::testing::Values(
        // Beside the executable: taken at once; the second name is never looked for.
        SearchCase{"BesideExe", {{0, kVolume, true}, {0, kKiv, true}}, {{true, {0, kVolume}}}, 0, kVolume},
        SearchCase{"ParentBeforeUtils",
                   {{1, kVolume, true}, {2, kVolume, true}},
                   {{true, {1, kVolume}}},
                   1,
                   kVolume},
        // The first name is looked for in all three places (the last one logged), then the second.
        SearchCase{"OnlySecondNameInUtils",
                   {{2, kKiv, true}},
                   {{false, {2, kVolume}}, {true, {2, kKiv}}},
                   2,
                   kKiv},
        // A file that exists stops the search for its name even when the check refuses it.
        SearchCase{"UnsignedFirstNameFallsBackToSecond",
                   {{0, kVolume, false}, {1, kVolume, true}, {1, kKiv, true}},
                   {{true, {0, kVolume}}, {true, {1, kKiv}}},
                   1,
                   kKiv},
        SearchCase{"BothRefused",
                   {{0, kVolume, false}, {0, kKiv, false}},
                   {{true, {0, kVolume}}, {true, {0, kKiv}}},
                   -1,
                   nullptr},
        SearchCase{"Nowhere", {}, {{false, {2, kVolume}}, {false, {2, kKiv}}}, -1, nullptr}),
    [](const ::testing::TestParamInfo<SearchCase>& info) { return std::string(info.param.name); });

TEST(VolumeCtrlModule, WithoutLibraryMuteIsANoOp) {
  ProbeTree t;
  ProbeTree::Run run = t.Probe(L"1 mute");
  EXPECT_EQ("0000", run.answers["entries"]);
  EXPECT_EQ("0", run.answers["mute1"]);
  EXPECT_EQ("0", run.answers["mute0"]);
}

TEST(VolumeCtrlModule, MuteCountsOnlyResultsAboveZero) {
  const struct {
    const wchar_t* result;  // null: variable not set (the stand-in answers 1)
    const char* success;
  } cases[] = {{nullptr, "1"}, {L"2", "1"}, {L"1", "1"}, {L"0", "0"}, {L"-1", "0"}};
  for (const auto& c : cases) {
    ProbeTree t;
    t.Place(volume_standin::Trusted(), t.exe, kVolume);
    SetEnvironmentVariableW(L"BRIVELO_VOLUME_MUTE_RESULT", c.result);
    ProbeTree::Run run = t.Probe(L"1 mute");
    SetEnvironmentVariableW(L"BRIVELO_VOLUME_MUTE_RESULT", nullptr);
    EXPECT_EQ(c.success, run.answers["mute1"]) << (c.result ? Utf8(c.result) : "unset");
    EXPECT_EQ(c.success, run.answers["mute0"]) << (c.result ? Utf8(c.result) : "unset");
    EXPECT_EQ((std::vector<std::string>{"Init", "MuteApp 1", "MuteApp 0"}), volume_standin::Calls(t.exe));
  }
}

TEST(VolumeCtrlModule, MissingExportsStayNull) {
  ProbeTree t;
  t.Place(volume_standin::MuteOnlyTrusted(), t.exe, kVolume);
  ProbeTree::Run run = t.Probe(L"1 mute");
  EXPECT_EQ("0010", run.answers["entries"]);
  EXPECT_EQ("1", run.answers["mute1"]);
  EXPECT_EQ((std::vector<std::string>{"MuteApp 1", "MuteApp 0"}), volume_standin::Calls(t.exe));
}

TEST(VolumeCtrlModule, ConcurrentFirstCallsMakeOneRecordAndInitOnce) {
  ProbeTree t;
  t.Place(volume_standin::Trusted(), t.exe, kVolume);
  ProbeTree::Run run = t.Probe(L"16");
  EXPECT_EQ("1", run.answers["instances"]);
  EXPECT_EQ("1111", run.answers["entries"]);
  EXPECT_EQ(std::vector<std::string>{"Init"}, volume_standin::Calls(t.exe));
  EXPECT_EQ(1u, run.logLines.size());
}

}  // namespace
