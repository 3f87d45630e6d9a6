#ifndef CEF_INCLUDE_CEF_COMMAND_LINE_H_
#define CEF_INCLUDE_CEF_COMMAND_LINE_H_

#include <map>
#include <vector>

#include "include/cef_base.h"

// A program, its switches and its arguments.
// - Switches start with "--", "-" or "/"; a value follows "=". Names are kept lower-cased and
//   compared without case; a later duplicate replaces the value but keeps its first position.
// - A lone "--" ends switch parsing: everything after it is an argument.
// - Lines are split with the Windows rules (quotes group, backslashes escape quotes).
// Works before start-up and after shutdown. Not thread-safe; the global line is read-only.
class CefCommandLine : public virtual CefBase {
 public:
  typedef std::vector<CefString> ArgumentList;
  typedef std::map<CefString, CefString> SwitchMap;

  // A new, empty, writable command line.
  static CefRefPtr<CefCommandLine> CreateCommandLine();
  // The process's line: after start-up the line as the application's
  // OnBeforeCommandLineProcessing left it (read-only), before start-up the raw process line.
  static CefRefPtr<CefCommandLine> GetGlobalCommandLine();

  virtual bool IsValid() = 0;
  virtual bool IsReadOnly() = 0;
  virtual CefRefPtr<CefCommandLine> Copy() = 0;
  // argv[0] is the program; narrow arguments are UTF-8.
  virtual void InitFromArgv(int argc, const char* const* argv) = 0;
  virtual void InitFromString(const CefString& command_line) = 0;
  virtual void Reset() = 0;
  // Program, switches ("--name" or "--name=value") and arguments, unquoted.
  virtual void GetArgv(std::vector<CefString>& argv) = 0;
  // The same parts joined by blanks; a part with blanks or quotes is quoted.
  virtual CefString GetCommandLineString() = 0;
  virtual CefString GetProgram() = 0;
  virtual void SetProgram(const CefString& program) = 0;
  virtual bool HasSwitches() = 0;
  virtual bool HasSwitch(const CefString& name) = 0;
  // "" when absent or without value.
  virtual CefString GetSwitchValue(const CefString& name) = 0;
  virtual void GetSwitches(SwitchMap& switches) = 0;
  // `name` may carry its leading "--", "-" or "/".
  virtual void AppendSwitch(const CefString& name) = 0;
  virtual void AppendSwitchWithValue(const CefString& name, const CefString& value) = 0;
  virtual bool HasArguments() = 0;
  virtual void GetArguments(ArgumentList& arguments) = 0;
  virtual void AppendArgument(const CefString& argument) = 0;
  // Puts a launcher (e.g. "gdb --args") in front of the program.
  virtual void PrependWrapper(const CefString& wrapper) = 0;
};

#endif  // CEF_INCLUDE_CEF_COMMAND_LINE_H_
