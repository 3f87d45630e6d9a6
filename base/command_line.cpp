#include "base/command_line.h"

#include <windows.h>

#include <new>

namespace {

bool IsSwitchLead(wchar_t c) { return c == L'-' || c == L'/'; }

// Length of the prefix ("-", "--", "/" or "/-") at the start of text, which begins with a
// switch lead.
size_t PrefixLength(const std::wstring& text) { return text.size() > 1 && text[1] == L'-' ? 2 : 1; }

std::wstring Unquote(std::wstring value) {
  if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"')
    value = value.substr(1, value.size() - 2);
  if (value.size() >= 4 && value.compare(0, 2, L"\\\"") == 0 &&
      value.compare(value.size() - 2, 2, L"\\\"") == 0)
    value = value.substr(2, value.size() - 4);
  return value;
}

}  // namespace

CCommandLine::CCommandLine(const std::wstring& line) { Parse(line); }

bool CCommandLine::Parse(const std::wstring& line) {
  m_strCommandLine = line;
  bool inQuotes = false;
  bool inEscapedQuotes = false;
  wchar_t previous = 0;
  bool inToken = false;
  size_t first = 0;
  size_t equals = std::wstring::npos;
  for (size_t i = 0; i < line.size(); ++i) {
    wchar_t c = line[i];
    if (!inToken) {
      if (c == L' ') {
        previous = c;
        continue;
      }
      inToken = true;
      first = i;
      equals = std::wstring::npos;
    }
    if (c == L'"') {
      if (previous == L'\\')
        inEscapedQuotes = !inEscapedQuotes;
      else
        inQuotes = !inQuotes;
    } else if (c == L'=') {
      if (equals == std::wstring::npos) equals = i;
    } else if (c == L' ' && !inQuotes && !inEscapedQuotes) {
      AddToken(line, first, i - 1, equals);
      inToken = false;
    }
    previous = c;
  }
  if (inToken) AddToken(line, first, line.size() - 1, equals);
  return true;
}

void CCommandLine::AddToken(const std::wstring& line, size_t first, size_t last, size_t equals) {
  std::wstring token = line.substr(first, last - first + 1);
  if (token.size() < 2 || !IsSwitchLead(token[0])) {
    m_vecArguments.push_back(token);
    return;
  }
  size_t nameStart = PrefixLength(token);
  if (nameStart >= token.size()) return;  // "--" or "/-" alone
  if (equals == std::wstring::npos) {
    m_mapSwitches[token.substr(nameStart)] = std::wstring();
    return;
  }
  size_t eq = equals - first;
  std::wstring name = token.substr(nameStart, eq - nameStart);
  m_mapSwitches[name] = eq + 1 < token.size() ? Unquote(token.substr(eq + 1)) : std::wstring();
}

std::wstring CCommandLine::FindSwitchName(const std::wstring& name) const {
  if (name.size() < 2) return std::wstring();
  std::wstring rest = IsSwitchLead(name[0]) ? name.substr(PrefixLength(name)) : name;
  if (rest.empty() || m_mapSwitches.find(rest) == m_mapSwitches.end()) return std::wstring();
  return rest;
}

bool CCommandLine::HasSwitch(const std::wstring& name) const {
  return m_mapSwitches.find(name) != m_mapSwitches.end() || !FindSwitchName(name).empty();
}

bool CCommandLine::GetSwitchValue(const std::wstring& name, std::wstring& value) const {
  value.clear();
  auto it = m_mapSwitches.find(name);
  if (it == m_mapSwitches.end()) {
    std::wstring stored = FindSwitchName(name);
    if (stored.empty()) return false;
    it = m_mapSwitches.find(stored);
  }
  value = it->second;
  return true;
}

bool CCommandLine::GetSwitchBool(const std::wstring& name, bool defaultValue) const {
  if (!HasSwitch(name)) return defaultValue;
  std::wstring value;
  GetSwitchValue(name, value);
  return value.empty() || value == L"true" || value == L"yes" || value == L"1";
}

bool CCommandLine::SetSwitch(const std::wstring& name, const std::wstring& value) {
  m_mapSwitches[name] = value;
  return true;
}

bool CCommandLine::GetSwitches(SwitchMap& out) const {
  if (&out != &m_mapSwitches) out = m_mapSwitches;
  return true;
}

bool CCommandLine::GetArguments(std::vector<std::wstring>& out) const {
  if (&out != &m_vecArguments) out = m_vecArguments;
  return true;
}

bool CCommandLine::IsEmpty() const { return m_mapSwitches.empty(); }

bool CCommandLine::GetCommandLineString(std::wstring& out, bool withArguments) const {
  out.clear();
  try {
    for (const auto& entry : m_mapSwitches)
      out.append(L" --").append(entry.first).append(L"=\"").append(entry.second).append(L"\"");
    if (withArguments) {
      for (const std::wstring& argument : m_vecArguments)
        out.append(L" ").append(argument).append(L" ");
    }
  } catch (const std::bad_alloc&) {
    out.clear();
    SetLastError(ERROR_OUTOFMEMORY);
    return false;
  }
  return true;
}

void CCommandLine::Reset() {
  m_mapSwitches.clear();
  m_vecArguments.clear();
  m_strCommandLine.clear();
}
