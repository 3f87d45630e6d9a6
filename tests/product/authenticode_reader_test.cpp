#include "product/authenticode_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "signer_fixture_files.h"
#include "tools/fuzz/der_bytes.h"

namespace {

using signer_fixtures::Path;

using namespace der;

struct Outputs {
  int result = 0;
  std::string subject = "old", thumbprint = "old", issuer = "old";
};
Outputs Parse(const Bytes& blob) {
  Outputs out;
  out.result = ParseSignedData(reinterpret_cast<const BYTE*>(blob.data()), DWORD(blob.size()), out.subject,
                               out.thumbprint, out.issuer);
  return out;
}

const Bytes kRoot = Name("", "Root Authority");
const Bytes kLeaf = Name("Release Unit", "Leaf Signer");

// The build's own stand-in and both image formats whatever the build (the product reads PE32).
class AuthenticodeSignedFileTest : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(AuthenticodeSignedFileTest, GivesLeafCommonNameThumbprintAndIssuer) {
  std::string subject = "stale", thumbprint = "stale", issuer = "stale";
  ASSERT_EQ(0, ReadFileSignInfo(Path(GetParam()).c_str(), subject, thumbprint, issuer));
  EXPECT_EQ("HARNSTAVE Network Technology Co., Ltd.", subject);  // OU and O are present too
  EXPECT_EQ(signer_fixtures::ReadLine(Path(L"trusted_leaf.sha1")), thumbprint);
  EXPECT_EQ(40u, thumbprint.size());
  EXPECT_EQ("Brivelo Test Root CA", issuer);
}

INSTANTIATE_TEST_SUITE_P(Formats, AuthenticodeSignedFileTest,
                         ::testing::Values(L"ph_full_trusted.dll", L"pe32_full_trusted.dll", L"pe64_full_trusted.dll"));

TEST(AuthenticodeReader, FixturesHoldBothImageFormats) {
  for (const auto& file : {std::make_pair(L"pe32_full_trusted.dll", IMAGE_NT_OPTIONAL_HDR32_MAGIC),
                           std::make_pair(L"pe64_full_trusted.dll", IMAGE_NT_OPTIONAL_HDR64_MAGIC)}) {
    const Bytes image = signer_fixtures::ReadBytes(Path(file.first));
    ASSERT_GT(image.size(), 512u);
    DWORD ntOffset = 0;
    WORD magic = 0;
    memcpy(&ntOffset, image.data() + 60, 4);
    ASSERT_LT(ntOffset + 26u, image.size());
    memcpy(&magic, image.data() + ntOffset + 24, 2);
    EXPECT_EQ(file.second, magic);
  }
}

// Copies of the signed file with the table's header or size changed.
enum class TableEdit { kNone, kRevision, kType, kSize8 };
struct TableCase {
  const wchar_t* file;
  TableEdit edit;
  int expected;
};
class AuthenticodeTableTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(AuthenticodeTableTest, ReportsTableProblems) {
  const TableCase& c = GetParam();
  std::wstring path = Path(c.file);
  if (c.edit != TableEdit::kNone) {
    Bytes image = signer_fixtures::ReadBytes(path);
    ASSERT_GT(image.size(), 512u);
    const size_t entry = signer_fixtures::SecurityEntryOffset(image);
    DWORD tableOffset = 0;
    memcpy(&tableOffset, image.data() + entry, 4);
    ASSERT_NE(0u, tableOffset);
    if (c.edit == TableEdit::kRevision) image[tableOffset + 5] = 0x01;  // 0x0100
    if (c.edit == TableEdit::kType) image[tableOffset + 6] = 0x01;
    if (c.edit == TableEdit::kSize8) {
      const DWORD size = 8;
      memcpy(&image[entry + 4], &size, 4);
    }
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    path = std::wstring(temp) + L"authenticode_edit_" + std::to_wstring(GetCurrentProcessId()) + L".dll";
    ASSERT_TRUE(signer_fixtures::WriteBytes(path, image));
  }
  std::string subject, thumbprint, issuer;
  EXPECT_EQ(c.expected, ReadFileSignInfo(path.c_str(), subject, thumbprint, issuer));
  if (c.edit != TableEdit::kNone) DeleteFileW(path.c_str());
}

std::string TableCaseName(const ::testing::TestParamInfo<TableCase>& info) {
  static const char* const kEdits[] = {"", "Revision", "Type", "EightBytes"};
  const std::wstring file = info.param.file;
  if (info.param.edit == TableEdit::kNone) {
    if (file == L"missing.dll") return "Missing";
    if (file == L"trusted_leaf.sha1") return "NotAnImage";
  }
  const std::string format = file.compare(0, 4, L"pe32") == 0 ? "Pe32" : file.compare(0, 4, L"pe64") == 0 ? "Pe64" : "Own";
  if (info.param.edit == TableEdit::kNone) return "Unsigned" + format;
  return kEdits[static_cast<int>(info.param.edit)] + format;
}

INSTANTIATE_TEST_SUITE_P(Tables, AuthenticodeTableTest,
                         ::testing::Values(TableCase{L"ph_full_unsigned.dll", TableEdit::kNone, -1},
                                           TableCase{L"pe32_full_unsigned.dll", TableEdit::kNone, -1},
                                           TableCase{L"pe64_full_unsigned.dll", TableEdit::kNone, -1},
                                           TableCase{L"missing.dll", TableEdit::kNone, -1},
                                           TableCase{L"trusted_leaf.sha1", TableEdit::kNone, -1},
                                           TableCase{L"ph_full_trusted.dll", TableEdit::kRevision, -3},
                                           TableCase{L"ph_full_trusted.dll", TableEdit::kType, -3},
                                           TableCase{L"ph_full_trusted.dll", TableEdit::kSize8, -2},
                                           TableCase{L"pe32_full_trusted.dll", TableEdit::kRevision, -3},
                                           TableCase{L"pe32_full_trusted.dll", TableEdit::kType, -3},
                                           TableCase{L"pe32_full_trusted.dll", TableEdit::kSize8, -2},
                                           TableCase{L"pe64_full_trusted.dll", TableEdit::kRevision, -3},
                                           TableCase{L"pe64_full_trusted.dll", TableEdit::kType, -3},
                                           TableCase{L"pe64_full_trusted.dll", TableEdit::kSize8, -2}),
                         &TableCaseName);

TEST(AuthenticodeReader, SignerInfoPicksItsCertificateByIssuerAndSerial) {
  const Bytes blob = SignedData(Certificate(1, kRoot, kRoot) + Certificate(7, kRoot, kLeaf), SignerInfo(kRoot, 7));
  Outputs out = Parse(blob);
  EXPECT_EQ(0, out.result);
  EXPECT_EQ("Leaf Signer", out.subject);  // the common name follows the unit
  EXPECT_EQ("Root Authority", out.issuer);
  EXPECT_EQ(40u, out.thumbprint.size());

  // A SignerInfo naming a serial that no certificate has: -102 and nothing from earlier.
  out = Parse(SignedData(Certificate(1, kRoot, kRoot) + Certificate(7, kRoot, kLeaf), SignerInfo(kRoot, 9)));
  EXPECT_EQ(-102, out.result);
  EXPECT_EQ("", out.subject);
  EXPECT_EQ("", out.thumbprint);
  EXPECT_EQ("", out.issuer);
}

TEST(AuthenticodeReader, WithoutSignerInfoEveryLeafButTimeStampersIsJoined) {
  const Bytes stamper = Name("", "Harbour Time Stamp Service");
  const Bytes other = Name("", "Second Leaf");
  const Bytes blob = SignedData(Certificate(1, kRoot, kRoot) + Certificate(2, kRoot, kLeaf) +
                                    Certificate(3, kRoot, stamper) + Certificate(4, kRoot, other),
                                Bytes());
  Outputs out = Parse(blob);
  EXPECT_EQ(0, out.result);
  EXPECT_EQ("Leaf Signer;Second Leaf", out.subject);
  EXPECT_EQ("Root Authority;Root Authority", out.issuer);
  EXPECT_EQ(81u, out.thumbprint.size());
}

TEST(AuthenticodeReader, BmpStringNamesBecomeUtf8) {
  const Bytes bmp("\x00\x44\x00\xE9\x00\x6A\x00\xE0", 8);  // "Déjà"
  const Bytes leaf = Seq(Rdn(kCnOid, Tlv(30, bmp)));
  Outputs out = Parse(SignedData(Certificate(5, kRoot, leaf), SignerInfo(kRoot, 5)));
  EXPECT_EQ(0, out.result);
  EXPECT_EQ("D\xC3\xA9j\xC3\xA0", out.subject);
}

TEST(AuthenticodeReader, MalformedBlobsGiveEmptyOutputsWithoutReadingPastThem) {
  const Bytes good = SignedData(Certificate(1, kRoot, kRoot) + Certificate(7, kRoot, kLeaf), SignerInfo(kRoot, 7));
  // Every prefix of a good blob, each in a buffer of exactly its own size.
  for (size_t length = 0; length < good.size(); ++length) {
    std::vector<BYTE> copy(good.begin(), good.begin() + length);
    std::string subject, thumbprint, issuer;
    const int result = ParseSignedData(copy.data(), DWORD(copy.size()), subject, thumbprint, issuer);
    EXPECT_TRUE(result == 0 || result == -102) << length;
  }
  const Bytes notSigned = Seq(Oid("\x2A\x86\x48\x86\xF7\x0D\x01\x07\x01") + Tlv(0xA0, Seq(Bytes())));
  const Bytes longForm("\x30\x83\x00\x00\x10", 5);
  const Bytes beyond("\x30\x7F\x06\x09", 4);
  Bytes deep;
  for (int i = 0; i < 3000; ++i) deep += "\x30\x80";
  Bytes nested = Oid(kSignedDataOid);
  for (int i = 0; i < 200; ++i) nested = Seq(nested);
  for (const Bytes& blob : {notSigned, longForm, beyond, deep, nested}) {
    Outputs out = Parse(blob);
    EXPECT_EQ(0, out.result);
    EXPECT_EQ("", out.subject);
    EXPECT_EQ("", out.thumbprint);
    EXPECT_EQ("", out.issuer);
  }
}

// Picking the certificate takes one look-up per certificate, and a blob with more certificates
// than any real signature holds is refused instead of collected: 100,000 of them fail at once.
TEST(AuthenticodeReader, CertificateCountsBeyondTheLimitAreRefused) {
  const size_t limit = SignInfoCollecter::kMaxCertificates;
  Outputs atLimit = Parse(TinyCertificates(limit, Bytes()));
  EXPECT_EQ(0, atLimit.result);
  for (const size_t count : {limit + 1, size_t(100000)}) {
    for (const bool withSigner : {false, true}) {
      Outputs out = Parse(TinyCertificates(count, withSigner ? SignerInfo(kRoot, 7) : Bytes()));
      EXPECT_EQ(-103, out.result) << count;
      EXPECT_EQ("", out.subject);
      EXPECT_EQ("", out.thumbprint);
    }
  }
}

// Records nothing; lets the walker see every item.
class WalkEverything : public IASN1ParserCallback {
 public:
  DWORD OnItem(int, BYTE, DWORD, const BYTE*, DWORD, const BYTE*) override { return 0; }
};

struct WalkCase {
  const char* name;
  Bytes bytes;
  int expected;
};

TEST(ASN1ParserWalk, ReportsErrorsWithTheirDepth) {
  const WalkCase cases[] = {
      {"tag without length", Bytes("\x04", 1), 2},
      {"four length bytes", Bytes("\x04\x84\x00\x00\x00\x01", 6), 3},
      {"content beyond data", Bytes("\x04\x05\x01\x02", 4), 5},
      {"missing one-byte length", Bytes("\x04\x81", 2), 6},
      {"missing two-byte length", Bytes("\x04\x82\x01", 3), 4},
      {"end of contents with content", Bytes("\x30\x80\x00\x01\x00", 5), 0x10007},
      {"error inside a sequence", Bytes("\x30\x03\x04\x05\x00", 5), 0x10005},
      {"closed indefinite item", Bytes("\x30\x80\x04\x01\x41\x00\x00\x04\x00", 9), 0},
      {"zero tag ends the walk", Bytes("\x04\x00\x00\x77\x77", 5), 0},
  };
  for (const WalkCase& c : cases) {
    WalkEverything callback;
    ASN1Parser parser(reinterpret_cast<const BYTE*>(c.bytes.data()), DWORD(c.bytes.size()), &callback);
    EXPECT_EQ(c.expected, parser.Walk()) << c.name;
  }
}

}  // namespace
