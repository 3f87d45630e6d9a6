// The host simulator's command language, one command per line (UTF-8). Words are separated by
// blanks; double quotes group a word. Views are decimal or 0x-hex web_view_ids.
//
//   load <view> <url> [cookies]            cookies get <view> <url> [httponly 0|1]
//   cookies set <url> <cookie text>        cookies del <url> [name]
//   bounds <view> <x> <y> <w> <h>          workarea <view> <x> <y> <w> <h>
//   show <view>    hide <view>             close <view>       mute <view> [0|1]
//   call <view> <id> <function> [args...]  register <view> <name>
//   create "<switches>"                    schemes "<s1;s2>"
//   nav <view> back|fwd|reload|reloadnc|stop
//   referrer <view> <url>
//   wait <event> [view|*] [timeout ms]     event: MsgToHost name, its short form or a code
//   sleep <ms>    kill-self    quit        # comment
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "channel/ipc_message.h"

struct ScriptCommand {
  enum Kind { kNothing, kSend, kWait, kSleep, kKillSelf, kQuit } kind = kNothing;
  IPC::Message message;        // kSend
  uint32_t event_code = 0;     // kWait
  int64_t view = -1;           // kWait: -1 any view
  uint32_t milliseconds = 0;   // kWait timeout, kSleep
};

// Splits a line into words (quotes group, and are removed).
std::vector<std::string> SplitScriptWords(const std::string& line);

// False with error set when the line is not a valid command.
[[nodiscard]] bool ParseScriptLine(const std::string& line, ScriptCommand* command, std::string* error);

// An event code from its name ("MsgToHostLoadEnd", "LoadEnd") or number; false if unknown.
[[nodiscard]] bool ParseEventName(const std::string& word, uint32_t* code);
