// ProductInfo.dat: deciphered, parsed and indexed by product. The mutations work on the JSON
// text, which is enciphered as the file holds it; damage to the cipher text itself is the
// cipher driver's. After a load every product's values must be readable.
#include <windows.h>

#include <string>
#include <vector>

#include "base/string_cipher.h"
#include "product/product_helper_impl.h"
#include "product/product_info_key.h"
#include "tools/fuzz/fuzz_drivers.h"

namespace fuzz {

namespace {

std::string Entry(const std::string& id, const std::string& process) {
  return "{\"product_id\":\"" + id + "\",\"main_process_name\":\"" + process +
         "\",\"channel_id\":\"c1\",\"app_path\":\"%APPDATA%\\\\" + id +
         "\",\"install_dir\":{\"reg_path\":\"HKEY_LOCAL_MACHINE\\\\Software\\\\" + id +
         "\",\"value\":\"Setup Path\"},\"stats_url\":\"https://stat.example/{type}/{action}?p={pid}\",\"order\":[1,2.5,true,null]}";
}

std::vector<std::string> Seeds() {
  return {
      "{\"version\":\"3.1\",\"info\":[" + Entry("KivVireDaredo", "KIVVireDaredo.exe") + "," +
          Entry("Morvane", "Ostrevana_CN.exe") + "]}",
      "{\"version\":7,\"info\":[" + Entry("Pelma", "utils\\\\Pelma_Main.exe") + "]} // trailing comment",
      "{\"info\":{\"product_id\":\"x\"},\"version\":\"\\u00e9\"}",
      "[" + Entry("A", "a.exe") + "]",
  };
}

std::vector<std::string> Crafted() {
  // A million entries in 4 MB.
  std::string many = "{\"version\":\"1\",\"info\":[";
  for (int i = 0; i < 1000000; ++i) many += i ? ",{}" : "{}";
  many += "]}";
  // Just under the size limit, with more entries than the limit.
  std::string under = "{\"info\":[";
  while (under.size() < 700 * 1024) under += "{\"product_id\":\"p" + std::to_string(under.size()) + "\"},";
  under += "{}]}";
  return {many, under};
}

const wchar_t* BaseDir() {
  static wchar_t folder[MAX_PATH + 1] = {};
  if (!folder[0]) GetTempPathW(MAX_PATH, folder);
  return folder;
}

void Check(const std::string& input, CaseReport* report) {
  std::string cipherText;
  if (input.empty() || !StringCipher::EncryptData(input, kProductInfoKey, &cipherText)) return;
  ProductHelperImpl helper;
  if (!helper.LoadProductInfoData(BaseDir(), cipherText)) return;
  (void)helper.GetProductInfoVersion();
  // Values straight from the entries (the registry and file lookups some values make are
  // not what is tried here).
  for (const wchar_t* id : {L"KivVireDaredo", L"Pelma", L"x", L""}) {
    for (const wchar_t* key : {L"product_id", L"install_dir.reg_path", L"order", L"order[3]", L"stats_url"}) {
      const std::wstring value = helper.GetGeneralValueByKey(key, id);
      if (value.size() > input.size() * 6 + 64) report->Violation("a value longer than the document");
    }
  }
}

}  // namespace

// Deciphering and parsing keep the cipher text, the plain text and the document alive at once.
const Driver kProductInfoDriver = {"productinfo", 1u << 20, &Seeds, &Crafted, &Check};

}  // namespace fuzz
