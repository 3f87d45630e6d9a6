// Parser for a command-line text of its own (such as the value of a "cmd" switch).
//
// Tokens are separated by blanks (U+0020 only). A double quote toggles quoting, and one right
// after a backslash toggles a second, independent quoting; an unbalanced quote runs to the
// end of the line. Quotes and backslashes stay in the tokens.
// Switches begin with "-", "--", "/" or "/-"; a value follows the first "=" and loses one
// outer pair of double quotes, then one outer pair of \" ... \". Names are case-sensitive; a
// later switch of the same name wins. Other tokens are loose arguments, kept as written.
//
// Not thread-safe: one thread at a time.
#pragma once

#include <map>
#include <string>
#include <vector>

class CCommandLine {
 public:
  using SwitchMap = std::map<std::wstring, std::wstring>;

  CCommandLine() = default;
  explicit CCommandLine(const std::wstring& line);
  virtual ~CCommandLine() = default;

  // Adds the line's switches and arguments to those already held; always true.
  bool Parse(const std::wstring& line);
  // name as stored, or with any of the prefixes in front.
  bool HasSwitch(const std::wstring& name) const;
  // The stored name that a prefixed (or bare) name stands for, or empty.
  std::wstring FindSwitchName(const std::wstring& name) const;
  // False, with value empty, when there is no such switch.
  bool GetSwitchValue(const std::wstring& name, std::wstring& value) const;
  // Present without a value, or with exactly "true", "yes" or "1": true. Present otherwise:
  // false. Absent: defaultValue.
  bool GetSwitchBool(const std::wstring& name, bool defaultValue) const;
  // Stores name exactly as given; always true.
  bool SetSwitch(const std::wstring& name, const std::wstring& value);
  bool GetSwitches(SwitchMap& out) const;
  bool GetArguments(std::vector<std::wstring>& out) const;
  // True when no switch is held (arguments do not count).
  bool IsEmpty() const;
  // " --name=\"value\"" per switch in name order, then " argument " per argument when asked.
  // Nothing is escaped. On running out of memory: false, out empty, last error
  // ERROR_OUTOFMEMORY.
  bool GetCommandLineString(std::wstring& out, bool withArguments) const;
  void Reset();

 private:
  // Files the token line[first..last] (inclusive); equals is the position of its first "=",
  // or npos.
  void AddToken(const std::wstring& line, size_t first, size_t last, size_t equals);

  SwitchMap m_mapSwitches;
  std::vector<std::wstring> m_vecArguments;
  std::wstring m_strCommandLine;
};
