#include "base/command_line.h"

#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "compat/atlstr.h"

namespace {

// Switches as "name=value;" in map order, then "|", then arguments as "[arg]".
std::wstring Render(const CCommandLine& cmd) {
  CCommandLine::SwitchMap switches;
  std::vector<std::wstring> arguments;
  cmd.GetSwitches(switches);
  cmd.GetArguments(arguments);
  std::wstring out;
  for (const auto& s : switches) out += s.first + L"=" + s.second + L";";
  out += L"|";
  for (const auto& a : arguments) out += L"[" + a + L"]";
  return out;
}

struct ParseCase {
  const char* name;
  const wchar_t* line;
  const wchar_t* expected;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

class CommandLineParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CommandLineParse, FilesSwitchesAndArguments) {
  CCommandLine cmd;
  EXPECT_TRUE(cmd.Parse(GetParam().line));
  EXPECT_EQ(Render(cmd), GetParam().expected) << CStringA(GetParam().line).GetString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineParse,
    ::testing::Values(
        ParseCase{"AllPrefixes", L"-a -b=1 /c --d=\"x y\" e", L"a=;b=1;c=;d=x y;|[e]"},
        ParseCase{"UnbalancedQuoteRunsToTheEnd", L"--a=\"x -b=2 c", L"a=\"x -b=2 c;|"},
        ParseCase{"LoneQuoteValueStays", L"--a=\"", L"a=\";|"},
        ParseCase{"LoneEscapedQuoteValueStays", L"--a=\\\"", L"a=\\\";|"},
        ParseCase{"EscapedQuotePairGroupsAndIsStripped", L"--a=\\\"x y\\\" b", L"a=x y;|[b]"},
        ParseCase{"QuotesThenEscapedQuotesStripped", L"--a=\"\\\"x\\\"\"", L"a=x;|"},
        ParseCase{"InnerQuotesKept", L"-a=x\"y\"", L"a=x\"y\";|"},
        ParseCase{"LoneLeadsAreArguments", L"- /", L"|[-][/]"},
        ParseCase{"BarePrefixesAreDropped", L"-- /- x", L"|[x]"},
        ParseCase{"SlashAfterDashIsTheName", L"-/", L"/=;|"},
        ParseCase{"ThirdDashBelongsToTheName", L"---x", L"-x=;|"},
        ParseCase{"EmptyName", L"-=5", L"=5;|"},
        ParseCase{"EqualsAtTheEndGivesEmptyValue", L"-a= -b", L"a=;b=;|"},
        ParseCase{"FirstEqualsSplits", L"-a=b=c", L"a=b=c;|"},
        ParseCase{"NamesAreNotUnquoted", L"-\"a b\"=c", L"\"a b\"=c;|"},
        ParseCase{"LaterDuplicateWins", L"-a=1 -a=2", L"a=2;|"},
        ParseCase{"NamesAreCaseSensitive", L"-A -a=1", L"A=;a=1;|"},
        ParseCase{"QuotedArgumentKeepsQuotes", L"\"x y\" z", L"|[\"x y\"][z]"},
        ParseCase{"TabDoesNotSeparate", L"-a\t-b", L"a\t-b=;|"},
        ParseCase{"RunsOfBlanks", L"   -a     b   ", L"a=;|[b]"},
        ParseCase{"Empty", L"", L"|"}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return info.param.name; });

TEST(CommandLine, SwitchQuestionsAcceptEveryPrefix) {
  CCommandLine cmd(L"-a -=5");
  for (const wchar_t* name : {L"a", L"-a", L"--a", L"/a", L"/-a"}) EXPECT_TRUE(cmd.HasSwitch(name)) << name;
  EXPECT_FALSE(cmd.HasSwitch(L"b"));
  EXPECT_FALSE(cmd.HasSwitch(L"-"));

  std::wstring value = L"stale";
  EXPECT_FALSE(cmd.GetSwitchValue(L"b", value));  // the empty-named switch does not answer
  EXPECT_TRUE(value.empty());
  EXPECT_TRUE(cmd.GetSwitchValue(L"", value));
  EXPECT_EQ(value, L"5");
  EXPECT_TRUE(cmd.GetSwitchValue(L"--a", value));
  EXPECT_EQ(value, L"");
}

TEST(CommandLine, SwitchBoolIsCaseSensitive) {
  CCommandLine cmd(L"-t=TRUE -y=yes -one=1 -bare -no=0");
  EXPECT_FALSE(cmd.GetSwitchBool(L"t", true));
  EXPECT_TRUE(cmd.GetSwitchBool(L"y", false));
  EXPECT_TRUE(cmd.GetSwitchBool(L"--one", false));
  EXPECT_TRUE(cmd.GetSwitchBool(L"bare", false));
  EXPECT_FALSE(cmd.GetSwitchBool(L"no", true));
  EXPECT_TRUE(cmd.GetSwitchBool(L"absent", true));
  EXPECT_FALSE(cmd.GetSwitchBool(L"absent", false));
}

TEST(CommandLine, RebuildsInNameOrderAndAccumulatesUntilReset) {
  CCommandLine cmd(L"-b=1 x -a=2");
  std::wstring out = L"stale";
  EXPECT_TRUE(cmd.GetCommandLineString(out, false));
  EXPECT_EQ(out, L" --a=\"2\" --b=\"1\"");
  cmd.Parse(L"-c \"y z\"");
  EXPECT_TRUE(cmd.GetCommandLineString(out, true));
  EXPECT_EQ(out, L" --a=\"2\" --b=\"1\" --c=\"\" x  \"y z\" ");

  cmd.SetSwitch(L"-raw", L"v");
  EXPECT_TRUE(cmd.HasSwitch(L"-raw"));
  EXPECT_FALSE(cmd.HasSwitch(L"raw"));

  EXPECT_FALSE(cmd.IsEmpty());
  cmd.Reset();
  EXPECT_TRUE(cmd.IsEmpty());
  EXPECT_EQ(Render(cmd), L"|");
  CCommandLine onlyArguments(L"x y");
  EXPECT_TRUE(onlyArguments.IsEmpty());
}

}  // namespace
