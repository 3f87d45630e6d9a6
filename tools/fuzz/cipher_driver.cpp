// The text cipher (Base64 of Blowfish-ECB), as ProductInfo.dat and packages reach it: damaged
// cipher text and wrong keys give a failure or exactly as many bytes as the text carries.
#include <string>
#include <vector>

#include "base/base64_codec.h"
#include "base/string_cipher.h"
#include "tools/fuzz/fuzz_drivers.h"

namespace fuzz {

namespace {

const char kKey[] = "{6B1D2E3F-4A5B-4C6D-8E7F-90A1B2C3D4E5}";

std::vector<std::string> Seeds() {
  std::vector<std::string> seeds;
  for (const std::string& plain : {std::string("{\"info\":[]}"), std::string(1, 'x'), std::string(1000, 'q')}) {
    std::string text;
    if (StringCipher::EncryptData(plain, kKey, &text)) seeds.push_back(text);
  }
  return seeds;
}

void Check(const std::string& input, CaseReport* report) {
  for (const std::string& key : {std::string(kKey), input.substr(0, input.size() % 57)}) {
    std::string plain;
    if (!StringCipher::DecryptData(input, key, &plain)) continue;
    // As many bytes as the Base64 text carries (a partial last block is deciphered as well).
    std::string carried;
    if (!Base64Codec::DecodeString(&carried, input) || plain.size() != carried.size()) {
      report->Violation("plain text of another length than the text carries");
    }
  }
}

}  // namespace

const Driver kCipherDriver = {"cipher", 4096, &Seeds, nullptr, &Check};

}  // namespace fuzz
