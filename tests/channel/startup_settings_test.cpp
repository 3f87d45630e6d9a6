#include "channel/startup_settings.h"

#include <windows.h>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "include/cef_command_line.h"

namespace {

StartupSettings Parse(const std::wstring& switches) {
  CefRefPtr<CefCommandLine> command_line = CefCommandLine::CreateCommandLine();
  command_line->InitFromString(L"Brivelo.exe " + switches);
  StartupSettings settings;
  EXPECT_TRUE(settings.ParseCommandLine(command_line));
  return settings;
}

uint32_t HandleBits(HWND hwnd) { return static_cast<uint32_t>(reinterpret_cast<UINT_PTR>(hwnd)); }

struct SettingsCase {
  const char* name;
  const wchar_t* switches;
  std::function<void(const StartupSettings&)> check;
};

void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }

class StartupSettingsParse : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(StartupSettingsParse, FillsTheRecordFromTheSwitches) {
  const SettingsCase& c = GetParam();
  const StartupSettings first = Parse(c.switches);
  c.check(first);
  // Parsing the same line again into the same record changes nothing.
  CefRefPtr<CefCommandLine> command_line = CefCommandLine::CreateCommandLine();
  command_line->InitFromString(std::wstring(L"Brivelo.exe ") + c.switches);
  StartupSettings twice = first;
  EXPECT_TRUE(twice.ParseCommandLine(command_line));
  c.check(twice);
  EXPECT_EQ(twice.url, first.url);
  EXPECT_EQ(twice.tab_rect, first.tab_rect);
  EXPECT_EQ(twice.workarea, first.workarea);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartupSettingsParse,
    ::testing::Values(
        SettingsCase{"NothingGivesDefaults", L"",
                     [](const StartupSettings& s) {
                       EXPECT_EQ(s.url, "about:blank");
                       EXPECT_EQ(s.parent_wnd, nullptr);
                       EXPECT_EQ(s.class_name, L"Brivelo");
                       EXPECT_EQ(s.tab_rect, CefRect(0, 0, 0, 0));
                       EXPECT_EQ(s.workarea, CefRect(0, 0, 0, 0));
                       EXPECT_EQ(s.web_view_id, 0);
                       EXPECT_EQ(s.background_color, 0u);
                       EXPECT_TRUE(s.tab_ids.empty());
                       EXPECT_TRUE(s.referrer.empty());
                       EXPECT_FALSE(s.transparent_window || s.sc_init_hide || s.self_adaption_dpi ||
                                    s.enable_setparent);
                     }},
        SettingsCase{"EmptyUrlIsAboutBlank", L"--url=", [](const StartupSettings& s) { EXPECT_EQ(s.url, "about:blank"); }},
        SettingsCase{"UrlIsUtf8", L"\"--url=http://h/\u00e4 b\"",
                     [](const StartupSettings& s) { EXPECT_EQ(s.url, "http://h/\xc3\xa4 b"); }},
        SettingsCase{"ParentHex", L"--parent_wnd=1A2B",
                     [](const StartupSettings& s) { EXPECT_EQ(HandleBits(s.parent_wnd), 0x1A2Bu); }},
        SettingsCase{"ParentHexWithPrefix", L"--parent_wnd=0x1a2b",
                     [](const StartupSettings& s) { EXPECT_EQ(HandleBits(s.parent_wnd), 0x1A2Bu); }},
        SettingsCase{"ParentNotHex", L"--parent_wnd=zz", [](const StartupSettings& s) { EXPECT_EQ(s.parent_wnd, nullptr); }},
        SettingsCase{"ParentAtOrAbove2To31KeepsAllBits", L"--parent_wnd=FFFFFFFF",
                     [](const StartupSettings& s) {
                       EXPECT_EQ(HandleBits(s.parent_wnd), 0xFFFFFFFFu);
                       EXPECT_EQ(reinterpret_cast<LONG_PTR>(s.parent_wnd), -1) << "widened as Windows widens handles";
                     }},
        SettingsCase{"ParentHighHandle", L"--parent_wnd=80010ABC",
                     [](const StartupSettings& s) { EXPECT_EQ(HandleBits(s.parent_wnd), 0x80010ABCu); }},
        SettingsCase{"ViewDecimal", L"--web_view_id=256", [](const StartupSettings& s) { EXPECT_EQ(s.web_view_id, 256); }},
        SettingsCase{"ViewStopsAtX", L"--web_view_id=0x100", [](const StartupSettings& s) { EXPECT_EQ(s.web_view_id, 0); }},
        SettingsCase{"ViewNegative", L"--web_view_id=-5", [](const StartupSettings& s) { EXPECT_EQ(s.web_view_id, -5); }},
        SettingsCase{"RectPartial", L"--tab_rect=1,2,3",
                     [](const StartupSettings& s) { EXPECT_EQ(s.tab_rect, CefRect(1, 2, 3, 0)); }},
        SettingsCase{"RectUnreadable", L"--tab_rect=a,b,c,d",
                     [](const StartupSettings& s) { EXPECT_EQ(s.tab_rect, CefRect(0, 0, 0, 0)); }},
        SettingsCase{"RectsNegative", L"--tab_rect=-10,20,300,400 --workarea=0,0,1920,-1",
                     [](const StartupSettings& s) {
                       EXPECT_EQ(s.tab_rect, CefRect(-10, 20, 300, 400));
                       EXPECT_EQ(s.workarea, CefRect(0, 0, 1920, -1));
                     }},
        SettingsCase{"WorkareaWithoutValue", L"--workarea",
                     [](const StartupSettings& s) { EXPECT_EQ(s.workarea, CefRect(0, 0, 0, 0)); }},
        SettingsCase{"EmptyClassNameKeepsDefault", L"--class_name=",
                     [](const StartupSettings& s) { EXPECT_EQ(s.class_name, L"Brivelo"); }},
        SettingsCase{"ClassAndTexts", L"--class_name=HostView --tab_ids=group7 --referrer=http://r/",
                     [](const StartupSettings& s) {
                       EXPECT_EQ(s.class_name, L"HostView");
                       EXPECT_EQ(s.tab_ids, L"group7");
                       EXPECT_EQ(s.referrer, L"http://r/");
                     }},
        SettingsCase{"FlagsByPresence",
                     L"--transparent_window --sc_init_hide=0 --self_adaption_dpi --enable_setparent=false",
                     [](const StartupSettings& s) {
                       EXPECT_TRUE(s.transparent_window);
                       EXPECT_TRUE(s.sc_init_hide);
                       EXPECT_TRUE(s.self_adaption_dpi);
                       EXPECT_TRUE(s.enable_setparent);
                     }},
        SettingsCase{"BackgroundColour", L"--background-color=#ff0000",
                     [](const StartupSettings& s) { EXPECT_EQ(s.background_color, 0xFFFF0000u); }}),
    [](const ::testing::TestParamInfo<SettingsCase>& info) { return std::string(info.param.name); });

TEST(StartupSettingsRecord, LaterValuesReplaceAndAbsentTextsEmpty) {
  StartupSettings settings = Parse(L"--tab_ids=a --referrer=r --url=http://x/ --web_view_id=512");
  CefRefPtr<CefCommandLine> other = CefCommandLine::CreateCommandLine();
  other->InitFromString(L"Brivelo.exe --web_view_id=");
  EXPECT_TRUE(settings.ParseCommandLine(other));
  EXPECT_TRUE(settings.tab_ids.empty());
  EXPECT_TRUE(settings.referrer.empty());
  EXPECT_EQ(settings.url, "http://x/") << "kept: the switch is absent and the field not empty";
  EXPECT_EQ(settings.web_view_id, 512) << "an empty value is not read";
  StartupSettingsPtr owned(new StartupSettings(settings));
  EXPECT_EQ(owned->web_view_id, 512);
}

}  // namespace
