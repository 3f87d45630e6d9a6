// Signature reader: the certificate table's SignedData blob. A success names certificates in
// the reader's own form: 40 lower-case hexadecimal digits per thumbprint, joined by ";".
#include <windows.h>

#include <string>
#include <vector>

#include "product/authenticode_reader.h"
#include "tools/fuzz/der_bytes.h"
#include "tools/fuzz/fuzz_drivers.h"

namespace fuzz {

namespace {

using namespace der;

std::vector<std::string> Seeds() {
  const Bytes root = Name("", "Root Authority");
  const Bytes leaf = Name("Release Unit", "Leaf Signer");
  const Bytes stamper = Name("", "Time Stamping Service");
  std::vector<std::string> seeds = {
      SignedData(Certificate(1, root, root) + Certificate(7, root, leaf), SignerInfo(root, 7)),
      SignedData(Certificate(1, root, root) + Certificate(2, root, leaf) + Certificate(3, root, stamper), Bytes()),
      SignedData(Certificate(5, root, Seq(Rdn(kCnOid, Tlv(30, Bytes("\x00\x44\x00\xE9", 4))))), SignerInfo(root, 5)),
      TinyCertificates(40, SignerInfo(root, 7)),
  };
  // The signed stand-ins of the build, when this runs beside them.
  for (const wchar_t* file : {L"signer_fixtures\\pe32_full_trusted.dll", L"signer_fixtures\\pe64_full_trusted.dll"}) {
    std::string table;
    if (ReadPeCertificateTable(file, &table) && table.size() > 8) seeds.push_back(table.substr(8));
  }
  return seeds;
}

std::vector<std::string> Crafted() {
  const Bytes root = Name("", "Root Authority");
  return {TinyCertificates(100000, Bytes()), TinyCertificates(100000, SignerInfo(root, 7)),
          TinyCertificates(16u << 20, Bytes())};
}

bool IsThumbprintList(const std::string& text) {
  if (text.empty()) return true;
  size_t at = 0;
  for (;;) {
    if (text.size() - at < 40) return false;
    for (size_t i = at; i < at + 40; ++i) {
      const char c = text[i];
      if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    at += 40;
    if (at == text.size()) return true;
    if (text[at] != ';') return false;
    ++at;
  }
}

void Check(const std::string& input, CaseReport* report) {
  std::string subject = "stale", thumbprint = "stale", issuer = "stale";
  const int result = ParseSignedData(reinterpret_cast<const BYTE*>(input.data()), DWORD(input.size()), subject,
                                     thumbprint, issuer);
  if (result != 0 && result != -102 && result != -103) report->Violation("result " + std::to_string(result));
  if (result != 0 && !(subject.empty() && thumbprint.empty() && issuer.empty())) {
    report->Violation("a failure left outputs behind");
  }
  if (result == 0 && !IsThumbprintList(thumbprint)) report->Violation("thumbprint text " + thumbprint);
}

}  // namespace

const Driver kSignatureDriver = {"signature", 1u << 20, &Seeds, &Crafted, &Check};

}  // namespace fuzz
