#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "include/cef_command_line.h"

namespace {

struct LineCase {
  const wchar_t* line;
  const wchar_t* program;
  std::vector<std::pair<std::wstring, std::wstring>> switches;  // in order
  std::vector<std::wstring> arguments;
  const wchar_t* rebuilt;
};

class CommandLineParse : public ::testing::TestWithParam<LineCase> {};

TEST_P(CommandLineParse, SplitsProgramSwitchesAndArguments) {
  const LineCase& c = GetParam();
  CefRefPtr<CefCommandLine> cl = CefCommandLine::CreateCommandLine();
  cl->InitFromString(c.line);
  EXPECT_EQ(cl->GetProgram().ToWString(), c.program);

  // GetSwitches is a map; the order is checked through the rebuilt line.
  CefCommandLine::SwitchMap switches;
  cl->GetSwitches(switches);
  ASSERT_EQ(switches.size(), c.switches.size());
  for (const auto& s : c.switches) {
    EXPECT_TRUE(cl->HasSwitch(s.first)) << s.first;
    EXPECT_EQ(cl->GetSwitchValue(s.first).ToWString(), s.second) << s.first;
  }
  EXPECT_EQ(cl->HasSwitches(), !c.switches.empty());

  CefCommandLine::ArgumentList arguments;
  cl->GetArguments(arguments);
  ASSERT_EQ(arguments.size(), c.arguments.size());
  for (size_t i = 0; i < arguments.size(); ++i)
    EXPECT_EQ(arguments[i].ToWString(), c.arguments[i]);

  EXPECT_EQ(cl->GetCommandLineString().ToWString(), c.rebuilt);

  // The rebuilt line reads back to the same parts.
  CefRefPtr<CefCommandLine> again = CefCommandLine::CreateCommandLine();
  again->InitFromString(cl->GetCommandLineString());
  std::vector<CefString> argv1, argv2;
  cl->GetArgv(argv1);
  again->GetArgv(argv2);
  EXPECT_EQ(argv1, argv2);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineParse,
    ::testing::Values(
        LineCase{L"prog.exe --a=1 -B /c=x arg", L"prog.exe", {{L"a", L"1"}, {L"b", L""}, {L"c", L"x"}}, {L"arg"},
                 L"prog.exe --a=1 --b --c=x arg"},
        // The view-creation form: a blank first means an empty program, every token is read.
        LineCase{L" --programe-placement --url=http://h/p?q=1 --tab_rect=1,2,3,4 loose",
                 L"",
                 {{L"programe-placement", L""}, {L"url", L"http://h/p?q=1"}, {L"tab_rect", L"1,2,3,4"}},
                 {L"loose"},
                 L" --programe-placement --url=http://h/p?q=1 --tab_rect=1,2,3,4 loose"},
        LineCase{L"p -- --x y", L"p", {}, {L"--x", L"y"}, L"p -- --x y"},
        // A later duplicate replaces the value but keeps the first position; names lose case.
        LineCase{L"p --Alpha=1 --b --ALPHA=2", L"p", {{L"alpha", L"2"}, {L"b", L""}}, {}, L"p --alpha=2 --b"},
        LineCase{L"\"C:\\Program Files\\x.exe\" --path=\"C:\\a b\" \"arg two\" -",
                 L"C:\\Program Files\\x.exe",
                 {{L"path", L"C:\\a b"}},
                 {L"arg two", L"-"},
                 L"\"C:\\Program Files\\x.exe\" --path=\"C:\\a b\" \"arg two\" -"},
        LineCase{L"p --q=\"say \\\"hi\\\"\" --empty=", L"p", {{L"q", L"say \"hi\""}, {L"empty", L""}}, {},
                 L"p --q=\"say \\\"hi\\\"\" --empty="},
        LineCase{L"", L"", {}, {}, L""}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return "Line" + std::to_string(info.index); });

TEST(CommandLine, AppendSwitchStripsTheGivenPrefixAndLookupIgnoresCase) {
  CefRefPtr<CefCommandLine> cl = CefCommandLine::CreateCommandLine();
  cl->SetProgram(L"browser.exe");
  cl->AppendSwitch("--disable-extensions");
  cl->AppendSwitchWithValue("--lang", "en-US");
  cl->AppendSwitch("-Single");
  cl->AppendSwitchWithValue("/cache-path", L"C:\\cef cache");
  cl->AppendArgument("about:blank");

  EXPECT_TRUE(cl->HasSwitch("disable-extensions"));
  EXPECT_TRUE(cl->HasSwitch("DISABLE-EXTENSIONS"));
  EXPECT_FALSE(cl->HasSwitch("--disable-extensions"));
  EXPECT_EQ(cl->GetSwitchValue("Lang").ToString(), "en-US");
  EXPECT_TRUE(cl->HasSwitch("single"));
  EXPECT_EQ(cl->GetSwitchValue("missing").ToString(), "");
  EXPECT_EQ(cl->GetCommandLineString().ToWString(),
            L"browser.exe --disable-extensions --lang=en-US --single --cache-path=\"C:\\cef cache\" about:blank");

  std::vector<CefString> argv;
  cl->GetArgv(argv);
  ASSERT_EQ(argv.size(), 6u);
  EXPECT_EQ(argv[4].ToWString(), L"--cache-path=C:\\cef cache");
}

TEST(CommandLine, InitFromArgvReadsUtf8AndCopyIsIndependent) {
  const char* argv[] = {"a.exe", "--name=gr\xC3\xBC\xC3\x9F", "file"};
  CefRefPtr<CefCommandLine> cl = CefCommandLine::CreateCommandLine();
  cl->InitFromArgv(3, argv);
  EXPECT_EQ(cl->GetSwitchValue("name").ToWString(), L"gr\u00FC\u00DF");

  CefRefPtr<CefCommandLine> copy = cl->Copy();
  copy->AppendSwitch("extra");
  EXPECT_FALSE(cl->HasSwitch("extra"));
  EXPECT_FALSE(copy->IsReadOnly());
}

TEST(CommandLine, GlobalLineBeforeStartUpIsTheReadOnlyProcessLine) {
  CefRefPtr<CefCommandLine> global = CefCommandLine::GetGlobalCommandLine();
  ASSERT_TRUE(global.get());
  EXPECT_TRUE(global->IsReadOnly());
  EXPECT_FALSE(global->GetProgram().empty());
  global->AppendSwitch("should-not-stick");
  EXPECT_FALSE(CefCommandLine::GetGlobalCommandLine()->HasSwitch("should-not-stick"));
}

}  // namespace
