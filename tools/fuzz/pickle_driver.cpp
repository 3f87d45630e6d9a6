// Host channel messages as the channel window receives them: every read of a view over the
// block stays inside it, and the reader allocates no more than it returns.
#include <string>
#include <vector>

#include "channel/ipc_message.h"
#include "channel/pickle.h"
#include "tools/fuzz/fuzz_drivers.h"

namespace fuzz {

namespace {

std::string Block(const IPC::Message& message) { return std::string(message.GetData(), message.GetSize()); }

std::vector<std::string> Seeds() {
  IPC::Message a(1, 0x21, 2);
  (void)a.WriteInt(7);
  (void)a.WriteString("zip://pkg/index.html");
  (void)a.WriteString16(L"T\u00e9tel");
  (void)a.WriteInt(1);
  (void)a.WriteInt64(-5);
  IPC::Message b(0, 0x99, 2);
  (void)b.WriteData("\x01\x02\x03\x04\x05", 5);
  (void)b.WriteString(std::string(300, 'x'));
  IPC::Message c(2, 0x1, 2);
  return {Block(a), Block(b), Block(c)};
}

void Check(const std::string& input, CaseReport* report) {
  if (input.size() < IPC::Message::kHeaderSize) return;
  IPC::Message message(input.data(), static_cast<int>(input.size()));
  if (!message.IsUsable()) return;
  const char* begin = input.data();
  const char* end = begin + input.size();
  for (int order = 0; order < 3; ++order) {
    PickleReader reader(message);
    for (int step = 0; step < 64; ++step) {
      bool ok = false;
      switch ((step + order) % 6) {
        case 0: {
          int v;
          ok = reader.ReadInt(&v);
          break;
        }
        case 1: {
          std::string s;
          ok = reader.ReadString(&s);
          if (ok && s.size() > input.size()) report->Violation("a string longer than the block");
          break;
        }
        case 2: {
          std::wstring s;
          ok = reader.ReadString16(&s);
          if (ok && s.size() * 2 > input.size()) report->Violation("a wide string longer than the block");
          break;
        }
        case 3: {
          const char* data = nullptr;
          int length = 0;
          ok = reader.ReadData(&data, &length);
          if (ok && length > 0 && (data < begin || data + length > end)) report->Violation("data outside the block");
          break;
        }
        case 4: {
          bool b;
          ok = reader.ReadBool(&b);
          break;
        }
        default: {
          int64_t v;
          ok = reader.ReadInt64(&v);
          break;
        }
      }
      if (!ok) break;
    }
  }
}

}  // namespace

const Driver kPickleDriver = {"pickle", 4096, &Seeds, nullptr, &Check};

}  // namespace fuzz
