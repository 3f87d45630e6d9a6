// First machine identifier: the digest, the stored form, the hardware readers' order and
// fallbacks, all on a canned machine.
#include "product/machine_id_v1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "tests/product/fake_machine.h"

namespace {

const wchar_t kStore[] = L"Software\\Harnstave";
const char kCpuText[] = "GenuineIntel:bfebfbff";  // the fake processor's part

std::string D(const std::string& text) {
  char out[33] = {};
  MachineIdV1Digest(text.c_str(), out, sizeof(out));
  return out;
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), ::toupper);
  return text;
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

class MachineIdV1Test : public ::testing::Test {
 protected:
  std::string Compute() {
    char out[260] = {};
    ComputeMachineIdV1(out, sizeof(out));
    return out;
  }
  std::wstring Stored(const wchar_t* name) { return machine_.GetString(kStore, name); }

  fake::FakeMachine machine_;
  fake::FakeMachineScope scope_{&machine_};
};

// --- the digest ----------------------------------------------------------------------------

struct DigestCase {
  const char* text;
  const char* digest;
};

void PrintTo(const DigestCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class MachineIdV1DigestTest : public ::testing::TestWithParam<DigestCase> {};

TEST_P(MachineIdV1DigestTest, MatchesKnownValue) {
  EXPECT_EQ(D(GetParam().text), GetParam().digest);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, MachineIdV1DigestTest,
    ::testing::Values(DigestCase{"abc", "ab32b7d610b8276088dc6cdcfe9adbf3"},  // plain MD5: 900150...
                      DigestCase{"", "5d2735c78b4ad61d0f6b5933aef45e4f"},
                      DigestCase{"Mid2Failed", "30908dae359c9665d70190674e7dc5a0"}));

TEST(MachineIdV1Digest, CutsTextAt259BytesAndBoundsItsOutput) {
  std::string long300;
  for (int i = 0; i < 300; ++i) long300.push_back(static_cast<char>('a' + i % 26));
  EXPECT_EQ(D(long300), D(long300.substr(0, 259)));
  EXPECT_NE(D(long300), D(long300.substr(0, 258)));

  char small[8];
  memset(small, 'x', sizeof(small));
  MachineIdV1Digest("abc", small, sizeof(small));
  EXPECT_STREQ(small, "ab32b7d");
}

// --- the stored form -------------------------------------------------------------------------

struct StoreCase {
  const char* name;
  bool hasStored;
  std::function<std::string(const std::string& fresh)> stored;  // from the id about to be stored
  std::function<std::string(const std::string& fresh)> result;  // "" = the fresh id
  bool expectOld;                                               // mid_old = the stored text
};

void PrintTo(const StoreCase& c, std::ostream* os) { *os << c.name; }

const std::string kId = "0123456789abcdef0123456789abcdef";
const std::string kIdUpper = "0123456789ABCDEF0123456789ABCDEF";

class MachineIdV1StoreTest : public MachineIdV1Test, public ::testing::WithParamInterface<StoreCase> {};

TEST_P(MachineIdV1StoreTest, AcceptsOnlyAValidStoredValue) {
  const StoreCase& c = GetParam();
  const std::string fresh = D(kCpuText);
  std::string stored;
  if (c.hasStored) {
    stored = c.stored(fresh);
    machine_.SetString(kStore, L"mid", Wide(stored));
  }
  const int writesBefore = machine_.registryWrites;
  std::string expected = c.result(fresh);

  EXPECT_EQ(Compute(), expected);
  EXPECT_FALSE(machine_.used64BitView);
  if (expected != fresh) {
    EXPECT_EQ(machine_.registryWrites, writesBefore) << "an accepted value is not rewritten";
    return;
  }
  EXPECT_EQ(Stored(L"mid"), Wide(fresh + D(fresh)));
  EXPECT_EQ(machine_.ValueBytes(kStore, L"mid"), 64 * sizeof(wchar_t)) << "64 characters, no terminator";
  EXPECT_EQ(Stored(L"mid_old"), c.expectOld ? Wide(stored) : L"<none>");
}

INSTANTIATE_TEST_SUITE_P(
    Table, MachineIdV1StoreTest,
    ::testing::Values(
        StoreCase{"Valid", true, [](const std::string&) { return kId + D(kId); },
                  [](const std::string&) { return kId; }, false},
        StoreCase{"CheckDiffersInCase", true, [](const std::string&) { return kId + Upper(D(kId)); },
                  [](const std::string&) { return kId; }, false},
        StoreCase{"UpperCaseIdReturnedAsStored", true,
                  [](const std::string&) { return kIdUpper + D(kIdUpper); },
                  [](const std::string&) { return kIdUpper; }, false},
        StoreCase{"Length63", true, [](const std::string&) { return (kId + D(kId)).substr(0, 63); },
                  [](const std::string& f) { return f; }, true},
        StoreCase{"Length65", true, [](const std::string&) { return kId + D(kId) + "0"; },
                  [](const std::string& f) { return f; }, true},
        StoreCase{"BadCheck", true,
                  [](const std::string&) { std::string v = kId + D(kId); v[63] = v[63] == '0' ? '1' : '0'; return v; },
                  [](const std::string& f) { return f; }, true},
        StoreCase{"IdAloneIsNotKeptAsOld", true, [](const std::string& f) { return f; },
                  [](const std::string& f) { return f; }, false},
        StoreCase{"Missing", false, nullptr, [](const std::string& f) { return f; }, false}),
    [](const ::testing::TestParamInfo<StoreCase>& info) { return std::string(info.param.name); });

// --- readers -----------------------------------------------------------------------------------

struct ReaderCase {
  const char* name;
  std::function<void(fake::FakeMachine*)> setup;
  std::string hardwareText;
  DWORD neverAsked;  // a control code that must not be asked (0: none)
};

void PrintTo(const ReaderCase& c, std::ostream* os) { *os << c.name; }

class MachineIdV1ReaderTest : public MachineIdV1Test, public ::testing::WithParamInterface<ReaderCase> {};

TEST_P(MachineIdV1ReaderTest, BuildsTheHardwareTextInOrder) {
  GetParam().setup(&machine_);
  EXPECT_EQ(Compute(), D(GetParam().hardwareText));
  if (GetParam().neverAsked) {
    EXPECT_EQ(std::count(machine_.controlCodes.begin(), machine_.controlCodes.end(), GetParam().neverAsked), 0);
  }
}

const std::wstring kDrive0 = L"\\\\.\\PhysicalDrive0";
const std::wstring kDrive1 = L"\\\\.\\PhysicalDrive1";
// "ABCD1234" as hexadecimal digits; decoded and swapped in pairs it reads "BADC2143".
const std::vector<BYTE> kHexDescriptor = fake::StorageDescriptor(false, 3, "", "", "4142434431323334");

INSTANTIATE_TEST_SUITE_P(
    Table, MachineIdV1ReaderTest,
    ::testing::Values(
        ReaderCase{"SmartWins",
                   [](fake::FakeMachine* m) {
                     m->AddDevice(kDrive0, fake::Disk(fake::IdentifyBlock("SMART-SERIAL", "M"), kHexDescriptor));
                     m->AddDevice(L"\\\\.\\Scsi0:", fake::ScsiPort(fake::IdentifyBlock("SCSI-SERIAL", "M")));
                   },
                   std::string(kCpuText) + "SMART-SERIAL", fake::kScsiMiniport},
        ReaderCase{"ScsiWhenSmartHasNoDeviceMap",
                   [](fake::FakeMachine* m) {
                     m->AddDevice(kDrive0, fake::Disk(fake::IdentifyBlock("SMART-SERIAL", "M"), kHexDescriptor, 0));
                     m->AddDevice(L"\\\\.\\Scsi2:", fake::ScsiPort(fake::IdentifyBlock("SCSI-SERIAL", "M")));
                   },
                   std::string(kCpuText) + "SCSI-SERIAL", fake::kStorageQuery},
        ReaderCase{"StorageQueryDecodesHexAndSwaps",
                   [](fake::FakeMachine* m) { m->AddDevice(kDrive1, fake::Disk({}, kHexDescriptor)); },
                   std::string(kCpuText) + "BADC2143", 0},
        ReaderCase{"SmartDirectLast",
                   [](fake::FakeMachine* m) {
                     m->AddDevice(kDrive0, fake::Disk(fake::IdentifyBlock("DIRECT-SN", "M"), {}, 0));
                   },
                   std::string(kCpuText) + "DIRECT-SN", 0},
        ReaderCase{"BlankSerialEndsTheDiskSearch",
                   [](fake::FakeMachine* m) {
                     m->AddDevice(kDrive0, fake::Disk(fake::IdentifyBlock("", "MODEL"), {}));
                     m->AddDevice(kDrive1, fake::Disk({}, kHexDescriptor));
                   },
                   kCpuText, fake::kStorageQuery},
        ReaderCase{"SmallestNetworkCardAddress",
                   [](fake::FakeMachine* m) {
                     fake::AddNetworkCard(m, 1, L"{A}", fake::Adapter(fake::Mac(0x00, 0xE0, 0x4C, 0x68, 0x00, 0x01)));
                     fake::AddNetworkCard(m, 2, L"{B}", fake::Adapter(fake::Mac(0x00, 0x15, 0x5D, 0x01, 0x02, 0x03)));
                     m->netbiosAddress = fake::Mac(0x00, 0x11, 0x11, 0x11, 0x11, 0x11);
                   },
                   std::string(kCpuText) + "00155D010203", 0},
        ReaderCase{"ShortAdapterAnswerSkipped",
                   [](fake::FakeMachine* m) {
                     fake::AddNetworkCard(m, 1, L"{A}", fake::Adapter({0x00, 0x01, 0x02, 0x03, 0x04}));
                     fake::AddNetworkCard(m, 2, L"{B}", fake::Adapter(fake::Mac(0x02, 0x15, 0x5D, 0x01, 0x02, 0x03)));
                   },
                   std::string(kCpuText) + "02155D010203", 0},
        ReaderCase{"NetbiosWhenNoCardAnswers",
                   [](fake::FakeMachine* m) {
                     fake::AddNetworkCard(m, 1, L"{A}", fake::Adapter({0x00, 0x01, 0x02}));
                     m->netbiosAddress = fake::Mac(0x52, 0x54, 0x00, 0xAB, 0xCD, 0xEF);
                   },
                   std::string(kCpuText) + "525400ABCDEF", 0},
        ReaderCase{"AllParts",
                   [](fake::FakeMachine* m) {
                     m->AddDevice(kDrive0, fake::Disk(fake::IdentifyBlock("SN1  ", "M"), {}));
                     m->netbiosAddress = fake::Mac(0x52, 0x54, 0x00, 0xAB, 0xCD, 0xEF);
                   },
                   std::string(kCpuText) + "SN1525400ABCDEF", 0}),
    [](const ::testing::TestParamInfo<ReaderCase>& info) { return std::string(info.param.name); });

TEST_F(MachineIdV1Test, NoHardwareGivesTheFallbackAndStoresNothing) {
  machine_.cpuidWorks = false;
  for (int call = 0; call < 2; ++call) EXPECT_EQ(Compute(), "30908dae359c9665d70190674e7dc5a0");
  EXPECT_EQ(machine_.registryWrites, 0);
  EXPECT_EQ(Stored(L"mid"), L"<none>");
}

TEST_F(MachineIdV1Test, MisspeltIntelVendorIsCorrected) {
  machine_.vendor = "GenuineIotel";
  char text[64] = {};
  ASSERT_TRUE(GetCpuIdText(text, sizeof(text)));
  EXPECT_STREQ(text, "GenuineIntel:bfebfbff");
}

TEST_F(MachineIdV1Test, RefusesAreasTooSmallForTheIdentifier) {
  char out[40];
  memset(out, 'x', sizeof(out));
  ComputeMachineIdV1(out, 32);
  EXPECT_EQ(out[0], 'x');
  ComputeMachineIdV1(out, 33);
  EXPECT_EQ(std::string(out), D(kCpuText));

  wchar_t wide[40];
  wmemset(wide, L'x', 40);
  EXPECT_FALSE(GetMachineIdV1W(wide, 32));
  EXPECT_FALSE(GetMachineIdV1W(nullptr, 260));
  EXPECT_EQ(wide[0], L'x');
  ASSERT_TRUE(GetMachineIdV1W(wide, 33));
  EXPECT_EQ(std::wstring(wide), Wide(D(kCpuText)));

  EXPECT_FALSE(GetMachineIdV1A(out, 32));
  ASSERT_TRUE(GetMachineIdV1A(out, 33));
  EXPECT_EQ(std::string(out), D(kCpuText));
}

}  // namespace
