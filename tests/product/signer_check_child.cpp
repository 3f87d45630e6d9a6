// Runs the process-wide signer check in its own process: signer_check_child <path>.
// Exit code 1 when the file may be loaded, 0 when not, 2 for bad arguments.
#include <windows.h>

#include "product/signer_verification.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  return VerifyFileSigner(argv[1]) ? 1 : 0;
}
