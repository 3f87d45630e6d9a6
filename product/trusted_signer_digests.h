#pragma once

// MD5 digests (32 upper-case hexadecimal digits) of the lower-cased UTF-8 display names of the
// signers this program trusts without asking the trusted-signer list. Searched in order.
extern const wchar_t* const TrustedSignerDigests[22];
