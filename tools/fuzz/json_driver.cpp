// JSON helper: a document that parses gives compact text that parses again to an equal document,
// and path lookups on it stay within the document.
#include <string>
#include <vector>

#include "base/json_helper.h"
#include "tools/fuzz/fuzz_drivers.h"

namespace fuzz {

namespace {

std::vector<std::string> Seeds() {
  return {
      "{\"a\":{\"b\":[10,20,{\"c\":\"x\"}]},\"n\":-1.5e3,\"t\":true,\"z\":null}",
      "[1, /* inner */ 2, // after\n 3, {\"k\": \"\\u00e9\\n\\\"\"}]",
      "// leading comment\n{\"info\":[{\"product_id\":\"p\",\"order\":[1,2]}],\"version\":\"1\"} /* end */",
      "{\"deep\":[[[[[[[[{\"x\":[1]}]]]]]]]],\"big\":18446744073709551615,\"neg\":-9223372036854775808}",
      "{\"s\":\"\xC3\xA9\xE2\x82\xAC\",\"e\":\"\",\"o\":{},\"l\":[]}",
  };
}

std::vector<std::string> Crafted() {
  return {std::string(100000, '['), "{\"a\":1 // comment swallowing the rest\n}",
          "[" + std::string(200000, '1') + "]"};
}

void Check(const std::string& input, CaseReport* report) {
  CJsonHelper document;
  if (!document.Parse(input)) return;
  std::string compact;
  document.ToString(compact);
  CJsonHelper again;
  if (!again.Parse(compact)) {
    report->Violation("compact text does not parse: " + compact.substr(0, 80));
    return;
  }
  if (!(again.GetNode("") == document.GetNode(""))) report->Violation("compact text parses to another document");
  for (const char* path : {"a.b[2].c", "info[0].order", "[3].k", "deep[0][0]", "s"}) {
    std::string text;
    document.GetString(text, path, std::string());
    if (text.size() > input.size() * 4 + 32) report->Violation(std::string("value at ") + path + " longer than the text");
    (void)document.GetArraySize(path);
  }
}

}  // namespace

const Driver kJsonDriver = {"json", 1u << 20, &Seeds, &Crafted, &Check};

}  // namespace fuzz
