#ifndef CEF_ENGINE_COMMAND_LINE_IMPL_H_
#define CEF_ENGINE_COMMAND_LINE_IMPL_H_

#include <string>
#include <utility>
#include <vector>

#include "include/cef_command_line.h"

namespace cefengine {

class CommandLineImpl : public CefCommandLine {
 public:
  CommandLineImpl() {}

  // The global line refuses changes (with a warning) once start-up has made it read-only.
  void SetReadOnly(bool read_only) { read_only_ = read_only; }

  bool IsValid() override { return true; }
  bool IsReadOnly() override { return read_only_; }
  CefRefPtr<CefCommandLine> Copy() override;
  void InitFromArgv(int argc, const char* const* argv) override;
  void InitFromString(const CefString& command_line) override;
  void Reset() override;
  void GetArgv(std::vector<CefString>& argv) override;
  CefString GetCommandLineString() override;
  CefString GetProgram() override;
  void SetProgram(const CefString& program) override;
  bool HasSwitches() override;
  bool HasSwitch(const CefString& name) override;
  CefString GetSwitchValue(const CefString& name) override;
  void GetSwitches(SwitchMap& switches) override;
  void AppendSwitch(const CefString& name) override;
  void AppendSwitchWithValue(const CefString& name, const CefString& value) override;
  bool HasArguments() override;
  void GetArguments(ArgumentList& arguments) override;
  void AppendArgument(const CefString& argument) override;
  void PrependWrapper(const CefString& wrapper) override;

 private:
  bool CheckWritable(const char* what);
  void InitFromTokens(const std::vector<std::wstring>& tokens);
  void SetSwitch(const std::wstring& key, const std::wstring& value, bool has_value);
  std::vector<std::wstring> Parts(bool quoted);

  bool read_only_ = false;
  std::wstring program_;
  // Tokens of a prepended wrapper that follow its program (the old program included).
  std::vector<std::wstring> wrapper_;
  struct Switch {
    std::wstring key;  // lower-cased, without prefix
    std::wstring value;
    bool has_value;
  };
  std::vector<Switch> switches_;
  std::vector<std::wstring> arguments_;

  IMPLEMENT_REFCOUNTING(CommandLineImpl);
};

// Splits a line with the Windows rules (CommandLineToArgvW). A line that starts with a blank
// gives an empty program; an empty line gives no tokens.
std::vector<std::wstring> SplitCommandLine(const std::wstring& line);
// Quotes one part when it holds blanks or quotes (inner quotes escaped).
std::wstring QuoteCommandLinePart(const std::wstring& part);

// The process's global line. Before start-up a read-only parse of GetCommandLineW().
void SetGlobalCommandLine(CefRefPtr<CommandLineImpl> line);

}  // namespace cefengine

#endif  // CEF_ENGINE_COMMAND_LINE_IMPL_H_
