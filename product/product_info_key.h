// The cipher key of ProductInfo.dat: a GUID text (36 characters, upper-case hexadecimal,
// hyphens, no braces) whose ASCII bytes are the Blowfish key. Tools and tests that write the
// file use the same constant.
#pragma once

constexpr char kProductInfoKey[] = "A612A1B8-590A-418A-86F4-C32C259491FA";
static_assert(sizeof(kProductInfoKey) == 37, "the key is a 36-character GUID text");
