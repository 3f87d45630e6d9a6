// brivelo_fuzz [driver|all] [cases] [seed]
//   Runs the named driver (or every one) over `cases` mutated inputs after its crafted ones,
//   and prints one summary line per driver. Exit code 0 when no case broke a contract.
//   The instruction driver runs cases * 200 of its own (cheap) cases.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/fuzz/fuzz_drivers.h"

int main(int argc, char** argv) {
  const fuzz::Driver* const drivers[] = {&fuzz::kZipDriver,    &fuzz::kFrameDriver,  &fuzz::kSignatureDriver,
                                         &fuzz::kProductInfoDriver, &fuzz::kJsonDriver, &fuzz::kPickleDriver,
                                         &fuzz::kBase64Driver, &fuzz::kCipherDriver, &fuzz::kInstructionDriver};
  const std::string which = argc > 1 ? argv[1] : "all";
  const uint64_t cases = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 2000;
  const uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 20260611;
  uint64_t violations = 0;
  bool found = false;
  for (const fuzz::Driver* driver : drivers) {
    if (which != "all" && which != driver->name) continue;
    found = true;
    const uint64_t count = driver->run ? cases * 200 : cases;
    violations += fuzz::RunDriver(*driver, count, seed).violations;
  }
  if (!found) {
    std::fprintf(stderr, "fuzz: no driver named %s\n", which.c_str());
    return 2;
  }
  return violations == 0 ? 0 : 1;
}
