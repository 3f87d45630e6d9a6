#include "tools/hostsim/host_script.h"

#include <cstdlib>

#include "browser/host_protocol.h"
#include "tools/json_text.h"

using namespace client;

namespace {

bool ParseNumber(const std::string& word, int64_t* value) {
  if (word.empty()) return false;
  char* end = nullptr;
  const long long v = std::strtoll(word.c_str(), &end, 0);
  if (!end || *end) return false;
  *value = v;
  return true;
}

PayloadItem Int(int64_t v) {
  PayloadItem i;
  i.kind = 'i';
  i.present = true;
  i.number = v;
  return i;
}

PayloadItem Text(const std::string& utf8) {
  PayloadItem i;
  i.kind = 's';
  i.present = true;
  i.text = FromUtf8(utf8);
  return i;
}

struct Parser {
  std::vector<std::string> words;
  std::string* error;

  bool Fail(const std::string& text) {
    *error = text;
    return false;
  }
  bool Count(size_t min, size_t max) {
    if (words.size() < min || words.size() > max) return Fail("wrong number of words for '" + words[0] + "'");
    return true;
  }
  bool View(size_t index, uint32_t* view) {
    int64_t v;
    if (!ParseNumber(words[index], &v) || v < 0 || v > 0xFFFFFFFFLL) return Fail("bad view '" + words[index] + "'");
    *view = static_cast<uint32_t>(v);
    return true;
  }
  bool Ints(size_t first, size_t count, std::vector<PayloadItem>* items) {
    for (size_t i = first; i < first + count; ++i) {
      int64_t v;
      if (!ParseNumber(words[i], &v)) return Fail("bad number '" + words[i] + "'");
      items->push_back(Int(v));
    }
    return true;
  }
};

}  // namespace

std::vector<std::string> SplitScriptWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, have = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      have = true;
    } else if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
      if (have) words.push_back(word);
      word.clear();
      have = false;
    } else {
      word += c;
      have = true;
    }
  }
  if (have) words.push_back(word);
  return words;
}

bool ParseEventName(const std::string& word, uint32_t* code) {
  int64_t number;
  if (ParseNumber(word, &number)) {
    if (!FindHostEvent(static_cast<uint32_t>(number))) return false;
    *code = static_cast<uint32_t>(number);
    return true;
  }
  for (const ProtocolEntry& entry : kHostEvents) {
    const std::string name = entry.name;
    if (word == name || "MsgToHost" + word == name) {
      *code = entry.code;
      return true;
    }
  }
  return false;
}

bool ParseScriptLine(const std::string& line, ScriptCommand* command, std::string* error) {
  Parser p{SplitScriptWords(line), error};
  command->kind = ScriptCommand::kNothing;
  if (p.words.empty() || p.words[0][0] == '#') return true;
  const std::string& verb = p.words[0];
  uint32_t view = 0;
  HostCommand code;
  std::vector<PayloadItem> items;

  if (verb == "wait") {
    if (!p.Count(2, 4)) return false;
    if (!ParseEventName(p.words[1], &command->event_code)) return p.Fail("unknown event '" + p.words[1] + "'");
    command->view = -1;
    command->milliseconds = 10000;
    if (p.words.size() >= 3 && p.words[2] != "*") {
      if (!p.View(2, &view)) return false;
      command->view = view;
    }
    int64_t timeout;
    if (p.words.size() == 4) {
      if (!ParseNumber(p.words[3], &timeout) || timeout < 0) return p.Fail("bad timeout");
      command->milliseconds = static_cast<uint32_t>(timeout);
    }
    command->kind = ScriptCommand::kWait;
    return true;
  }
  if (verb == "sleep") {
    int64_t ms;
    if (!p.Count(2, 2) || !ParseNumber(p.words[1], &ms) || ms < 0) return p.Fail("sleep <ms>");
    command->milliseconds = static_cast<uint32_t>(ms);
    command->kind = ScriptCommand::kSleep;
    return true;
  }
  if (verb == "kill-self" || verb == "quit") {
    if (!p.Count(1, 1)) return false;
    command->kind = verb == "quit" ? ScriptCommand::kQuit : ScriptCommand::kKillSelf;
    return true;
  }

  if (verb == "load") {
    if (!p.Count(3, 4) || !p.View(1, &view)) return false;
    code = MsgToBrowserLoadUrl;
    items = {Text(p.words[2]), Text(p.words.size() == 4 ? p.words[3] : "")};
  } else if (verb == "cookies") {
    if (p.words.size() < 2) return p.Fail("cookies get|set|del");
    const std::string& what = p.words[1];
    if (what == "get") {
      if (!p.Count(4, 5) || !p.View(2, &view)) return false;
      code = MsgToBrowserGetCookies;
      items = {Text(p.words[3])};
      if (!p.Ints(4, p.words.size() - 4, &items)) return false;
      if (items.size() == 1) items.push_back(Int(0));
    } else if (what == "set") {
      if (!p.Count(4, 4)) return false;
      code = MsgToBrowserSetCookie;
      items = {Text(p.words[2]), Text(p.words[3])};
    } else if (what == "del") {
      if (!p.Count(3, 4)) return false;
      code = MsgToBrowserDeleteCookies;
      items = {Text(p.words[2]), Text(p.words.size() == 4 ? p.words[3] : "")};
    } else {
      return p.Fail("cookies get|set|del");
    }
  } else if (verb == "bounds" || verb == "workarea") {
    if (!p.Count(6, 6) || !p.View(1, &view) || !p.Ints(2, 4, &items)) return false;
    code = verb == "bounds" ? MsgToBrowserSetBounds : MsgToBrowserSetWorkArea;
  } else if (verb == "show" || verb == "hide") {
    if (!p.Count(2, 2) || !p.View(1, &view)) return false;
    code = MsgToBrowserShow;
    items = {Int(verb == "show" ? 1 : 0)};
  } else if (verb == "close") {
    if (!p.Count(2, 2) || !p.View(1, &view)) return false;
    code = MsgToBrowserClose;
  } else if (verb == "mute") {
    if (!p.Count(2, 3) || !p.View(1, &view)) return false;
    code = MsgToBrowserMute;
    if (p.words.size() == 3) {
      if (!p.Ints(2, 1, &items)) return false;
    } else {
      items = {Int(1)};
    }
    items[0].kind = 'b';
  } else if (verb == "call") {
    if (!p.Count(4, 1000) || !p.View(1, &view)) return false;
    int64_t id;
    if (!ParseNumber(p.words[2], &id)) return p.Fail("bad execute id '" + p.words[2] + "'");
    code = MsgToBrowserCallFunction;
    PayloadItem id_item = Int(id);
    id_item.kind = 'l';
    items = {id_item};
    for (size_t i = 3; i < p.words.size(); ++i) items.push_back(Text(p.words[i]));
  } else if (verb == "register") {
    if (!p.Count(3, 3) || !p.View(1, &view)) return false;
    code = MsgToBrowserRegisterFunction;
    items = {Text(p.words[2])};
  } else if (verb == "create" || verb == "schemes") {
    if (!p.Count(2, 2)) return false;
    code = verb == "create" ? MsgToBrowserCreateWebView : MsgToBrowserSetCookieSchemes;
    items = {Text(p.words[1])};
  } else if (verb == "nav") {
    if (!p.Count(3, 3) || !p.View(1, &view)) return false;
    const std::string& how = p.words[2];
    if (how == "back") code = MsgToBrowserGoBack;
    else if (how == "fwd") code = MsgToBrowserGoForward;
    else if (how == "reload") code = MsgToBrowserReload;
    else if (how == "reloadnc") code = MsgToBrowserReloadIgnoreCache;
    else if (how == "stop") code = MsgToBrowserStopLoad;
    else return p.Fail("nav back|fwd|reload|reloadnc|stop");
  } else if (verb == "referrer") {
    if (!p.Count(3, 3) || !p.View(1, &view)) return false;
    code = MsgToBrowserSetReferer;
    items = {Text(p.words[2])};
  } else {
    return p.Fail("unknown command '" + verb + "'");
  }
  if (!MakeCommand(view, code, items, &command->message)) return p.Fail("message too large");
  command->kind = ScriptCommand::kSend;
  return true;
}
