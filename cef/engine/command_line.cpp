#include <windows.h>
#include <shellapi.h>

#include <mutex>

#include "engine/command_line_impl.h"
#include "engine/logging.h"
#include "engine/utf.h"

namespace cefengine {

namespace {

std::mutex g_global_mutex;
CefRefPtr<CommandLineImpl>* g_global = nullptr;

bool IsBlankOnly(const std::wstring& s) {
  return s.find_first_not_of(L" \t") == std::wstring::npos;
}

// Splits "--name=value" / "-name" / "/name" into key and value; false for an argument.
bool ParseSwitch(const std::wstring& token, std::wstring* key, std::wstring* value, bool* has_value) {
  size_t prefix = 0;
  if (token.compare(0, 2, L"--") == 0)
    prefix = 2;
  else if (!token.empty() && (token[0] == L'-' || token[0] == L'/'))
    prefix = 1;
  if (prefix == 0 || token.size() <= prefix)
    return false;
  std::wstring rest = token.substr(prefix);
  size_t eq = rest.find(L'=');
  std::wstring name = eq == std::wstring::npos ? rest : rest.substr(0, eq);
  if (name.empty())
    return false;
  *key = AsciiLower(name);
  *has_value = eq != std::wstring::npos;
  *value = *has_value ? rest.substr(eq + 1) : std::wstring();
  return true;
}

// Strips one leading switch prefix from a name given to AppendSwitch.
std::wstring SwitchKey(const std::wstring& name) {
  size_t prefix = 0;
  if (name.compare(0, 2, L"--") == 0)
    prefix = 2;
  else if (!name.empty() && (name[0] == L'-' || name[0] == L'/'))
    prefix = 1;
  return AsciiLower(name.substr(prefix));
}

}  // namespace

std::vector<std::wstring> SplitCommandLine(const std::wstring& line) {
  std::vector<std::wstring> tokens;
  if (line.empty())
    return tokens;
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(line.c_str(), &argc);
  if (!argv)
    return tokens;
  for (int i = 0; i < argc; ++i)
    tokens.push_back(argv[i]);
  LocalFree(argv);
  // A line that starts with blank space has an empty program.
  if ((line[0] == L' ' || line[0] == L'\t') && !tokens.empty() && !tokens[0].empty())
    tokens.insert(tokens.begin(), std::wstring());
  return tokens;
}

std::wstring QuoteCommandLinePart(const std::wstring& part) {
  if (!part.empty() && part.find_first_of(L" \t\"") == std::wstring::npos)
    return part;
  if (part.empty())
    return part;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : part) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      // Backslashes before a quote are doubled, and the quote escaped.
      out.append(backslashes * 2 + 1, L'\\');
    } else {
      out.append(backslashes, L'\\');
    }
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

CefRefPtr<CefCommandLine> CommandLineImpl::Copy() {
  CefRefPtr<CommandLineImpl> copy = new CommandLineImpl();
  copy->program_ = program_;
  copy->wrapper_ = wrapper_;
  copy->switches_ = switches_;
  copy->arguments_ = arguments_;
  return copy.get();
}

bool CommandLineImpl::CheckWritable(const char* what) {
  if (!read_only_)
    return true;
  CEFENGINE_MISUSE(std::string("CefCommandLine::") + what + " on a read-only command line ignored");
  return false;
}

void CommandLineImpl::InitFromTokens(const std::vector<std::wstring>& tokens) {
  program_.clear();
  wrapper_.clear();
  switches_.clear();
  arguments_.clear();
  if (tokens.empty())
    return;
  program_ = tokens[0];
  bool parse_switches = true;
  for (size_t i = 1; i < tokens.size(); ++i) {
    const std::wstring& token = tokens[i];
    if (parse_switches && token == L"--") {
      parse_switches = false;
      continue;
    }
    std::wstring key, value;
    bool has_value = false;
    if (parse_switches && ParseSwitch(token, &key, &value, &has_value))
      SetSwitch(key, value, has_value);
    else
      arguments_.push_back(token);
  }
}

void CommandLineImpl::InitFromArgv(int argc, const char* const* argv) {
  if (!CheckWritable("InitFromArgv"))
    return;
  std::vector<std::wstring> tokens;
  for (int i = 0; argv && i < argc; ++i)
    tokens.push_back(argv[i] ? Utf8ToWide(argv[i]) : std::wstring());
  InitFromTokens(tokens);
}

void CommandLineImpl::InitFromString(const CefString& command_line) {
  if (!CheckWritable("InitFromString"))
    return;
  std::wstring line = command_line.ToWString();
  if (IsBlankOnly(line) && !line.empty()) {
    InitFromTokens({std::wstring()});
    return;
  }
  InitFromTokens(SplitCommandLine(line));
}

void CommandLineImpl::Reset() {
  if (!CheckWritable("Reset"))
    return;
  InitFromTokens({});
}

void CommandLineImpl::SetSwitch(const std::wstring& key, const std::wstring& value, bool has_value) {
  for (auto& s : switches_) {
    if (s.key == key) {
      s.value = value;
      s.has_value = has_value;
      return;
    }
  }
  switches_.push_back({key, value, has_value});
}

std::vector<std::wstring> CommandLineImpl::Parts(bool quoted) {
  std::vector<std::wstring> parts;
  parts.push_back(quoted ? QuoteCommandLinePart(program_) : program_);
  for (const auto& w : wrapper_)
    parts.push_back(quoted ? QuoteCommandLinePart(w) : w);
  for (const auto& s : switches_) {
    std::wstring part = L"--" + s.key;
    if (s.has_value)
      part += L"=" + (quoted ? QuoteCommandLinePart(s.value) : s.value);
    parts.push_back(part);
  }
  bool need_separator = false;
  for (const auto& a : arguments_) {
    std::wstring key, value;
    bool has_value;
    if (a == L"--" || ParseSwitch(a, &key, &value, &has_value))
      need_separator = true;
  }
  if (need_separator)
    parts.push_back(L"--");
  for (const auto& a : arguments_)
    parts.push_back(quoted ? QuoteCommandLinePart(a) : a);
  return parts;
}

void CommandLineImpl::GetArgv(std::vector<CefString>& argv) {
  argv.clear();
  for (const auto& p : Parts(false))
    argv.push_back(p);
}

CefString CommandLineImpl::GetCommandLineString() {
  std::wstring line;
  std::vector<std::wstring> parts = Parts(true);
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i)
      line += L" ";
    line += parts[i];
  }
  return line;
}

CefString CommandLineImpl::GetProgram() {
  return program_;
}

void CommandLineImpl::SetProgram(const CefString& program) {
  if (CheckWritable("SetProgram"))
    program_ = program.ToWString();
}

bool CommandLineImpl::HasSwitches() {
  return !switches_.empty();
}

bool CommandLineImpl::HasSwitch(const CefString& name) {
  std::wstring key = AsciiLower(name.ToWString());
  for (const auto& s : switches_)
    if (s.key == key)
      return true;
  return false;
}

CefString CommandLineImpl::GetSwitchValue(const CefString& name) {
  std::wstring key = AsciiLower(name.ToWString());
  for (const auto& s : switches_)
    if (s.key == key)
      return s.value;
  return CefString();
}

void CommandLineImpl::GetSwitches(SwitchMap& switches) {
  switches.clear();
  for (const auto& s : switches_)
    switches[s.key] = s.value;
}

void CommandLineImpl::AppendSwitch(const CefString& name) {
  if (!CheckWritable("AppendSwitch"))
    return;
  std::wstring key = SwitchKey(name.ToWString());
  if (!key.empty())
    SetSwitch(key, std::wstring(), false);
}

void CommandLineImpl::AppendSwitchWithValue(const CefString& name, const CefString& value) {
  if (!CheckWritable("AppendSwitchWithValue"))
    return;
  std::wstring key = SwitchKey(name.ToWString());
  if (!key.empty())
    SetSwitch(key, value.ToWString(), true);
}

bool CommandLineImpl::HasArguments() {
  return !arguments_.empty();
}

void CommandLineImpl::GetArguments(ArgumentList& arguments) {
  arguments.clear();
  for (const auto& a : arguments_)
    arguments.push_back(a);
}

void CommandLineImpl::AppendArgument(const CefString& argument) {
  if (CheckWritable("AppendArgument"))
    arguments_.push_back(argument.ToWString());
}

void CommandLineImpl::PrependWrapper(const CefString& wrapper) {
  if (!CheckWritable("PrependWrapper"))
    return;
  std::vector<std::wstring> tokens = SplitCommandLine(wrapper.ToWString());
  if (tokens.empty() || (tokens.size() == 1 && tokens[0].empty()))
    return;
  std::vector<std::wstring> rest(tokens.begin() + 1, tokens.end());
  rest.push_back(program_);
  rest.insert(rest.end(), wrapper_.begin(), wrapper_.end());
  program_ = tokens[0];
  wrapper_ = rest;
}

void SetGlobalCommandLine(CefRefPtr<CommandLineImpl> line) {
  std::lock_guard<std::mutex> lock(g_global_mutex);
  if (!g_global)
    g_global = new CefRefPtr<CommandLineImpl>();
  *g_global = line;
}

}  // namespace cefengine

CefRefPtr<CefCommandLine> CefCommandLine::CreateCommandLine() {
  return new cefengine::CommandLineImpl();
}

CefRefPtr<CefCommandLine> CefCommandLine::GetGlobalCommandLine() {
  using namespace cefengine;
  std::lock_guard<std::mutex> lock(g_global_mutex);
  if (!g_global)
    g_global = new CefRefPtr<CommandLineImpl>();
  if (!g_global->get()) {
    CefRefPtr<CommandLineImpl> line = new CommandLineImpl();
    line->InitFromString(GetCommandLineW());
    line->SetReadOnly(true);
    *g_global = line;
  }
  return g_global->get();
}
