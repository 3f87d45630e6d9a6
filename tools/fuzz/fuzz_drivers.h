// The drivers of the fuzz executable, one per decoder of untrusted bytes.
#pragma once

#include "tools/fuzz/fuzz_harness.h"

namespace fuzz {

extern const Driver kZipDriver;
extern const Driver kFrameDriver;
extern const Driver kSignatureDriver;
extern const Driver kProductInfoDriver;
extern const Driver kJsonDriver;
extern const Driver kPickleDriver;
extern const Driver kBase64Driver;
extern const Driver kCipherDriver;
extern const Driver kInstructionDriver;

}  // namespace fuzz
