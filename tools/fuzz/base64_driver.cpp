// Base64: a decoded text is at most three bytes for every four characters, and encodes back to
// a text that decodes to the same bytes.
#include <string>
#include <vector>

#include "base/base64_codec.h"
#include "tools/fuzz/fuzz_drivers.h"

namespace fuzz {

namespace {

std::vector<std::string> Seeds() {
  std::string bytes;
  for (int i = 0; i < 300; ++i) bytes.push_back(static_cast<char>(i * 37));
  std::vector<std::string> seeds;
  for (size_t length : {size_t(0), size_t(1), size_t(2), size_t(3), size_t(50), size_t(300)}) {
    std::string text;
    if (Base64Codec::EncodeString(&text, bytes.substr(0, length))) seeds.push_back(text);
  }
  seeds.push_back("QUJD====");
  return seeds;
}

void Check(const std::string& input, CaseReport* report) {
  std::string decoded;
  if (!Base64Codec::DecodeString(&decoded, input)) return;
  if (decoded.size() > input.size() / 4 * 3) report->Violation("more bytes than the text can hold");
  std::string text, again;
  if (!Base64Codec::EncodeString(&text, decoded) || !Base64Codec::DecodeString(&again, text) || again != decoded) {
    report->Violation("the decoded bytes do not survive encoding");
  }
}

}  // namespace

const Driver kBase64Driver = {"base64", 4096, &Seeds, nullptr, &Check};

}  // namespace fuzz
