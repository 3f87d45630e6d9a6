// Second machine identifier: text layout and check byte, the store/keep/replace decisions,
// stored-value validation, and the adapter and disk parts, all on a canned machine.
#include "product/machine_id_v2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "tests/product/fake_machine.h"

namespace {

const wchar_t kStore[] = L"SOFTWARE\\Harnstave";
const char kAdapterText[] = "00155D010203";
const char kDiskText[] = "WD-SERIAL01WDC MODEL";
const char kCpuText[] = "GenuineIntel,906ea,Example CPU @ 3.00GHz";  // the fake processor's part

// SHA-1 bodies of the parts above with their mask and check bytes, worked out independently.
const wchar_t kAll[] = L"6eb28707737c15cde8f952ba9e5ad9b0866e13152bf8";
const wchar_t kAllNotElevated[] = L"eeeeeeee737c15cde8f952ba9e5ad9b0866e13152b6f";
const wchar_t kAdapterCpu[] = L"1a665939a8c5b583cb4c3cf30f4c46c45b4b982e2916";
const wchar_t kAdapterCpuNotElevated[] = L"eeeeeeeea8c5b583cb4c3cf30f4c46c45b4b982e2929";
const wchar_t kDiskCpu[] = L"aa0a5c64536bb84bde9631d5f4382b3165bd59112a70";
const wchar_t kRandom[] = L"ffffffff0102030405060708090a0b0c0d0e0f1010e8";  // the fake GUID
const wchar_t kZeroCpu[] = L"000000000000000000000000000000000000000008a7";
const wchar_t kZeroNothing[] = L"00000000000000000000000000000000000000000065";

void AddAdapter(fake::FakeMachine* m) {
  fake::AddNetworkCard(m, 7, L"{NIC}", fake::Adapter(fake::Mac(0x00, 0x15, 0x5D, 0x01, 0x02, 0x03)));
}

void AddDisk(fake::FakeMachine* m) {
  m->AddDevice(L"\\\\.\\PhysicalDrive0",
               fake::Disk(fake::IdentifyBlock("WD-SERIAL01", "WDC MODEL"),
                          fake::StorageDescriptor(false, 3, "", "", "")));
}

TEST(MachineIdV2Crc8, CheckValue) {
  const char text[] = "123456789";
  EXPECT_EQ(Crc8(reinterpret_cast<const BYTE*>(text), 9), 0xA1);
  EXPECT_EQ(Crc8(nullptr, 0), 0x00);
}

// --- the text from the parts ---------------------------------------------------------------

struct BuildCase {
  const char* name;
  DWORD mask;
  bool elevated;
  bool guidWorks;
  const wchar_t* text;
  BOOL hashed;
};

void PrintTo(const BuildCase& c, std::ostream* os) { *os << c.name; }

class MachineIdV2BuildTest : public ::testing::TestWithParam<BuildCase> {};

TEST_P(MachineIdV2BuildTest, MaskDigitsAndBody) {
  const BuildCase& c = GetParam();
  fake::FakeMachine machine;
  fake::FakeMachineScope scope(&machine);
  machine.guidWorks = c.guidWorks;
  MachineIdV2Parts parts;
  parts.strAdapter = kAdapterText;
  parts.strDisk = kDiskText;
  parts.strCpu = kCpuText;
  parts.dwMask = c.mask;
  std::wstring text = L"left over";
  EXPECT_EQ(BuildMachineIdV2Text(parts, &text, c.elevated), c.hashed);
  EXPECT_EQ(text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MachineIdV2BuildTest,
    ::testing::Values(BuildCase{"AllParts", 0x0B, true, true, kAll, TRUE},
                      BuildCase{"AllPartsNotElevated", 0x0B, false, true, kAllNotElevated, TRUE},
                      BuildCase{"AdapterAndCpu", 0x09, true, true, kAdapterCpu, TRUE},
                      BuildCase{"DiskAndCpu", 0x0A, true, true, kDiskCpu, TRUE},
                      BuildCase{"CpuAloneIsRandom", 0x08, true, true, kRandom, FALSE},
                      BuildCase{"RandomKeepsItsPrefixNotElevated", 0x08, false, true, kRandom, FALSE},
                      BuildCase{"NoGuidGivesZeros", 0x08, true, false, kZeroCpu, FALSE},
                      BuildCase{"NoGuidNoParts", 0x00, false, false, kZeroNothing, FALSE}),
    [](const ::testing::TestParamInfo<BuildCase>& info) { return std::string(info.param.name); });

// --- decisions ---------------------------------------------------------------------------------

struct DecisionCase {
  const char* name;
  std::function<void(fake::FakeMachine*)> setup;
  const wchar_t* stored;   // nullptr: no "m2"
  const wchar_t* result;
  const wchar_t* m2;       // afterwards; "<none>" when absent
  const wchar_t* m2Old;
  size_t waits;
};

void PrintTo(const DecisionCase& c, std::ostream* os) { *os << c.name; }

class MachineIdV2DecisionTest : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(MachineIdV2DecisionTest, KeepsOrReplacesTheStoredText) {
  const DecisionCase& c = GetParam();
  fake::FakeMachine machine;
  fake::FakeMachineScope scope(&machine);
  if (c.stored) machine.SetString(kStore, L"m2", c.stored);
  c.setup(&machine);
  const int writesBefore = machine.registryWrites;

  std::wstring id;
  ComputeMachineIdV2(&id);
  EXPECT_EQ(id, c.result);
  EXPECT_EQ(machine.GetString(kStore, L"m2"), c.m2);
  EXPECT_EQ(machine.GetString(kStore, L"m2_old"), c.m2Old);
  EXPECT_EQ(machine.waits.size(), c.waits);
  EXPECT_FALSE(machine.used64BitView);
  if (c.stored && std::wstring(c.m2) == c.stored) {
    EXPECT_EQ(machine.registryWrites, writesBefore) << "nothing is rewritten";
  }
}

const wchar_t kAllCheckUpper[] = L"6eb28707737c15cde8f952ba9e5ad9b0866e13152bF8";

INSTANTIATE_TEST_SUITE_P(
    Table, MachineIdV2DecisionTest,
    ::testing::Values(
        DecisionCase{"NotElevatedTakesStoredWithoutProbing",
                     [](fake::FakeMachine* m) {
                       m->elevation = fake::Elevation::kNotElevated;
                       AddAdapter(m);
                       AddDisk(m);
                       m->cpuidWorks = false;  // the processor is not asked either
                     },
                     kAdapterCpu, kAdapterCpu, kAdapterCpu, L"<none>", 0},
        DecisionCase{"NotElevatedWithoutStoredMarksTheBody",
                     [](fake::FakeMachine* m) {
                       m->elevation = fake::Elevation::kNotElevated;
                       AddAdapter(m);
                       AddDisk(m);
                     },
                     nullptr, kAllNotElevated, kAllNotElevated, L"<none>", 0},
        DecisionCase{"NotElevatedCannotWriteStillAnswers",
                     [](fake::FakeMachine* m) {
                       m->elevation = fake::Elevation::kNotElevated;
                       m->readOnlyRegistry = true;
                       AddAdapter(m);
                     },
                     nullptr, kAdapterCpuNotElevated, L"<none>", L"<none>", 1},
        DecisionCase{"ElevatedReplacesADifferentHashedText",
                     [](fake::FakeMachine* m) { AddAdapter(m); AddDisk(m); },
                     kAdapterCpu, kAll, kAll, kAdapterCpu, 0},
        DecisionCase{"ElevatedIgnoresACaseOnlyDifference",
                     [](fake::FakeMachine* m) { AddAdapter(m); AddDisk(m); },
                     kAllCheckUpper, kAll, kAllCheckUpper, L"<none>", 0},
        DecisionCase{"ElevatedKeepsARandomTextWithoutHardware",
                     [](fake::FakeMachine* m) { m->guid.Data1 = 0xDDCCBBAA; },
                     kRandom, kRandom, kRandom, L"<none>", 0},
        DecisionCase{"HardwareReplacesARandomText",
                     [](fake::FakeMachine* m) { AddAdapter(m); },
                     kRandom, kAdapterCpu, kAdapterCpu, kRandom, 1},
        DecisionCase{"HardwareGoneReplacesHashedWithRandom",
                     [](fake::FakeMachine*) {},
                     kAdapterCpu, kRandom, kRandom, kAdapterCpu, 1},
        DecisionCase{"DiskFoundOnRetry",
                     [](fake::FakeMachine* m) {
                       AddAdapter(m);
                       m->onWait = [m] { AddDisk(m); };
                     },
                     nullptr, kAll, kAll, L"<none>", 1},
        DecisionCase{"ZeroBodyIsNeverStored",
                     [](fake::FakeMachine* m) { m->guidWorks = false; },
                     nullptr, kZeroCpu, L"<none>", L"<none>", 1},
        DecisionCase{"UnaskableTokenCountsAsElevated",
                     [](fake::FakeMachine* m) {
                       m->elevation = fake::Elevation::kUnknown;
                       AddAdapter(m);
                       AddDisk(m);
                     },
                     kAdapterCpu, kAll, kAll, kAdapterCpu, 0},
        DecisionCase{"OldSystemCountsAsElevated",
                     [](fake::FakeMachine* m) {
                       m->elevation = fake::Elevation::kNotElevated;
                       m->osMajor = 5;
                       AddAdapter(m);
                       AddDisk(m);
                     },
                     kAdapterCpu, kAll, kAll, kAdapterCpu, 0}),
    [](const ::testing::TestParamInfo<DecisionCase>& info) { return std::string(info.param.name); });

TEST(MachineIdV2Decision, NotElevatedProbesNothingWhenStoredIsValid) {
  fake::FakeMachine machine;
  fake::FakeMachineScope scope(&machine);
  machine.elevation = fake::Elevation::kNotElevated;
  machine.SetString(kStore, L"m2", kAll);
  AddAdapter(&machine);
  std::wstring id;
  ComputeMachineIdV2(&id);
  EXPECT_EQ(id, kAll);
  EXPECT_TRUE(machine.opened.empty());
  EXPECT_TRUE(machine.controlCodes.empty());
}

// --- stored-value validation -----------------------------------------------------------------

struct StoredCase {
  const char* name;
  DWORD type;
  std::wstring text;
  bool terminated;
  BOOL valid;
  BOOL random;
};

void PrintTo(const StoredCase& c, std::ostream* os) { *os << c.name; }

class MachineIdV2StoredTest : public ::testing::TestWithParam<StoredCase> {};

TEST_P(MachineIdV2StoredTest, ValidatesLengthTypeAndCheck) {
  const StoredCase& c = GetParam();
  fake::FakeMachine machine;
  fake::FakeMachineScope scope(&machine);
  const BYTE* bytes = reinterpret_cast<const BYTE*>(c.text.c_str());
  machine.SetRaw(kStore, L"m2", c.type,
                 std::vector<BYTE>(bytes, bytes + (c.text.size() + (c.terminated ? 1 : 0)) * 2));
  std::wstring text = L"untouched";
  BOOL random = TRUE;
  EXPECT_EQ(ReadStoredMachineIdV2(&text, &random), c.valid);
  EXPECT_EQ(random, c.random);
  EXPECT_EQ(text, c.valid ? c.text : L"untouched");
}

INSTANTIATE_TEST_SUITE_P(
    Table, MachineIdV2StoredTest,
    ::testing::Values(
        StoredCase{"Valid", REG_SZ, kAll, true, TRUE, FALSE},
        StoredCase{"ExpandString", REG_EXPAND_SZ, kAll, true, TRUE, FALSE},
        StoredCase{"Random", REG_SZ, kRandom, true, TRUE, TRUE},
        StoredCase{"RandomUpperCase", REG_SZ, L"FFFFFFFF0102030405060708090A0B0C0D0E0F1010c3", true, TRUE, TRUE},
        StoredCase{"Length43", REG_SZ, std::wstring(kAll).substr(0, 43), true, FALSE, FALSE},
        StoredCase{"Length45", REG_SZ, std::wstring(kAll) + L"0", true, FALSE, FALSE},
        StoredCase{"WrongCheck", REG_SZ, L"6eb28707737c15cde8f952ba9e5ad9b0866e13152bf9", true, FALSE, FALSE},
        StoredCase{"NoTerminator", REG_SZ, kAll, false, FALSE, FALSE},
        StoredCase{"Binary", REG_BINARY, kAll, true, FALSE, FALSE}),
    [](const ::testing::TestParamInfo<StoredCase>& info) { return std::string(info.param.name); });

TEST(MachineIdV2Store, WritesOldOnlyForADifferentPrevious) {
  fake::FakeMachine machine;
  fake::FakeMachineScope scope(&machine);
  EXPECT_TRUE(StoreMachineIdV2(kAll, L""));
  EXPECT_EQ(machine.GetString(kStore, L"m2"), kAll);
  EXPECT_EQ(machine.ValueBytes(kStore, L"m2"), 45 * sizeof(wchar_t)) << "written with its terminator";
  EXPECT_EQ(machine.GetString(kStore, L"m2_old"), L"<none>");
  EXPECT_TRUE(StoreMachineIdV2(kAll, kAllCheckUpper));
  EXPECT_EQ(machine.GetString(kStore, L"m2_old"), L"<none>");
  EXPECT_TRUE(StoreMachineIdV2(kRandom, kAll));
  EXPECT_EQ(machine.GetString(kStore, L"m2_old"), kAll);
  machine.readOnlyRegistry = true;
  EXPECT_FALSE(StoreMachineIdV2(kAll, kRandom));
}

// --- adapter part ------------------------------------------------------------------------------

const wchar_t kClassKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}";

void AddClassAdapter(fake::FakeMachine* m, const std::wstring& index, const std::wstring& instance,
                     const std::wstring& busType, const std::wstring& description = L"",
                     const std::wstring& lowerRange = L"") {
  std::wstring key = std::wstring(kClassKey) + L"\\" + index;
  m->SetString(key, L"NetCfgInstanceId", instance);
  m->SetString(key, L"BusType", busType);
  if (!description.empty()) m->SetString(key, L"DriverDesc", description);
  if (!lowerRange.empty()) m->SetString(key + L"\\Ndi\\Interfaces", L"LowerRange", lowerRange);
}

const std::vector<BYTE> kMacLow = fake::Mac(0x00, 0x11, 0x22, 0x33, 0x44, 0x55);
const std::vector<BYTE> kMacHigh = fake::Mac(0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE);

struct AdapterCase {
  const char* name;
  std::function<void(fake::FakeMachine*)> setup;
  const char* adapter;  // "" when no adapter part
};

void PrintTo(const AdapterCase& c, std::ostream* os) { *os << c.name; }

class MachineIdV2AdapterTest : public ::testing::TestWithParam<AdapterCase> {};

TEST_P(MachineIdV2AdapterTest, ChoosesThePreferredAdapter) {
  fake::FakeMachine machine;
  fake::FakeMachineScope scope(&machine);
  GetParam().setup(&machine);
  MachineIdV2Parts parts;
  CollectHardwareParts(&parts, kMachinePartAdapter);
  EXPECT_EQ(parts.strAdapter, GetParam().adapter);
  EXPECT_EQ(parts.dwMask, *GetParam().adapter ? kMachinePartAdapter : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MachineIdV2AdapterTest,
    ::testing::Values(
        AdapterCase{"SmallestWired",
                    [](fake::FakeMachine* m) {
                      fake::AddNetworkCard(m, 1, L"{A}", fake::Adapter(kMacHigh, 14));
                      fake::AddNetworkCard(m, 2, L"{B}", fake::Adapter(kMacLow));
                    },
                    "001122334455"},
        AdapterCase{"WiredBeatsSmallerWireless",
                    [](fake::FakeMachine* m) {
                      fake::AddNetworkCard(m, 1, L"{W}", fake::Adapter(kMacLow, 9));
                      fake::AddNetworkCard(m, 2, L"{E}", fake::Adapter(kMacHigh, 14));
                    },
                    "00AABBCCDDEE"},
        AdapterCase{"WirelessWhenAlone",
                    [](fake::FakeMachine* m) { fake::AddNetworkCard(m, 1, L"{W}", fake::Adapter(kMacHigh, 9)); },
                    "00AABBCCDDEE"},
        AdapterCase{"MediumFailsTheAdapter",
                    [](fake::FakeMachine* m) {
                      fake::AddNetworkCard(m, 1, L"{WWAN}", fake::Adapter(kMacLow, 0, 8));
                      fake::AddNetworkCard(m, 2, L"{BT}", fake::Adapter(kMacLow, 0, 10));
                      fake::AddNetworkCard(m, 3, L"{TAP}", fake::Adapter(kMacLow, 17));
                      fake::AddNetworkCard(m, 4, L"{E}", fake::Adapter(kMacHigh, 0, 14));
                    },
                    "00AABBCCDDEE"},
        AdapterCase{"OnlyPciAdaptersOnceTheClassKeyIsReadable",
                    [](fake::FakeMachine* m) {
                      fake::AddNetworkCard(m, 1, L"{USB}", fake::Adapter(kMacLow));
                      fake::AddNetworkCard(m, 2, L"{UNLISTED}", fake::Adapter(kMacLow));
                      fake::AddNetworkCard(m, 3, L"{PCI}", fake::Adapter(kMacHigh));
                      AddClassAdapter(m, L"0000", L"{usb}", L"15");
                      AddClassAdapter(m, L"0001", L"{pci}", L"5");
                    },
                    "00AABBCCDDEE"},
        AdapterCase{"ClassKeyNamesWirelessByDescriptionOrLowerRange",
                    [](fake::FakeMachine* m) {
                      fake::AddNetworkCard(m, 1, L"{W1}", fake::Adapter(kMacLow));
                      fake::AddNetworkCard(m, 2, L"{W2}", fake::Adapter(fake::Mac(0, 0, 0, 0, 0, 1)));
                      fake::AddNetworkCard(m, 3, L"{E}", fake::Adapter(kMacHigh));
                      AddClassAdapter(m, L"0000", L"{W1}", L"5", L"Example WIRELESS-AC 9560");
                      AddClassAdapter(m, L"0001", L"{W2}", L"5", L"Example adapter", L"wlan,ethernet");
                      AddClassAdapter(m, L"0002", L"{E}", L"5", L"Example GbE");
                    },
                    "00AABBCCDDEE"},
        AdapterCase{"LegacyMediumClearsTheClassVerdict",
                    [](fake::FakeMachine* m) {
                      fake::AddNetworkCard(m, 1, L"{W}", fake::Adapter(kMacLow, 0, 14));
                      fake::AddNetworkCard(m, 2, L"{E}", fake::Adapter(kMacHigh));
                      AddClassAdapter(m, L"0000", L"{W}", L"5", L"Wireless");
                      AddClassAdapter(m, L"0001", L"{E}", L"5");
                    },
                    "001122334455"},
        AdapterCase{"AdapterListWhenNoCardAnswers",
                    [](fake::FakeMachine* m) {
                      AddClassAdapter(m, L"0000", L"{P1}", L"5");
                      AddClassAdapter(m, L"0001", L"{P2}", L"5");
                      AddClassAdapter(m, L"0002", L"{U}", L"7");
                      m->adapterList = {
                          {"{U}", "USB Ethernet", MIB_IF_TYPE_ETHERNET, fake::Mac(0, 0, 0, 0, 0, 1)},
                          {"{p2}", "Example 802.11", IF_TYPE_IEEE80211, kMacLow},
                          {"{P1}", "Example GbE", MIB_IF_TYPE_ETHERNET, kMacHigh},
                          {"{P1}", "Example GbE", MIB_IF_TYPE_ETHERNET, fake::Mac(0, 0x99, 0, 0, 0, 0)},
                      };
                    },
                    "0099000000"
                    "00"},
        AdapterCase{"AdapterListWirelessByDescription",
                    [](fake::FakeMachine* m) {
                      AddClassAdapter(m, L"0000", L"{P1}", L"5");
                      AddClassAdapter(m, L"0001", L"{P2}", L"5");
                      m->adapterList = {
                          {"{P1}", "Example WiFi Adapter", MIB_IF_TYPE_ETHERNET, kMacLow},
                          {"{P2}", "Example GbE", MIB_IF_TYPE_ETHERNET, kMacHigh},
                          {"{P2}", "Short address", MIB_IF_TYPE_ETHERNET, {0, 0, 0, 1}},
                      };
                    },
                    "00AABBCCDDEE"},
        AdapterCase{"NoAdapter",
                    [](fake::FakeMachine* m) { fake::AddNetworkCard(m, 1, L"{A}", fake::Adapter({1, 2, 3})); },
                    ""}),
    [](const ::testing::TestParamInfo<AdapterCase>& info) { return std::string(info.param.name); });

// --- disk part ---------------------------------------------------------------------------------

struct DiskCase {
  const char* name;
  std::function<void(fake::FakeMachine*)> setup;
  const char* disk;  // "" when no disk part
};

void PrintTo(const DiskCase& c, std::ostream* os) { *os << c.name; }

class MachineIdV2DiskTest : public ::testing::TestWithParam<DiskCase> {};

TEST_P(MachineIdV2DiskTest, ReadsTheFirstFixedDisk) {
  fake::FakeMachine machine;
  fake::FakeMachineScope scope(&machine);
  GetParam().setup(&machine);
  std::string text = "untouched";
  BOOL found = GetSystemDiskText(&text);
  EXPECT_EQ(found, *GetParam().disk ? TRUE : FALSE);
  EXPECT_EQ(text, *GetParam().disk ? GetParam().disk : "untouched");
}

const std::wstring kDrive0 = L"\\\\.\\PhysicalDrive0";
const std::wstring kDrive1 = L"\\\\.\\PhysicalDrive1";
const char kHexSerial[] = "41423132434433344546353647483738494A3930";  // "AB12CD34EF56GH78IJ90"

INSTANTIATE_TEST_SUITE_P(
    Table, MachineIdV2DiskTest,
    ::testing::Values(
        DiskCase{"AtaIdentifySerialAndModel", [](fake::FakeMachine* m) { AddDisk(m); }, kDiskText},
        DiskCase{"RemovableAndUsbSkipped",
                 [](fake::FakeMachine* m) {
                   m->AddDevice(kDrive0, fake::Disk(fake::IdentifyBlock("USB1", "U"), fake::StorageDescriptor(false, 7, "", "", "")));
                   m->AddDevice(L"\\\\.\\PhysicalDrive2", fake::Disk(fake::IdentifyBlock("CARD", "C"), fake::StorageDescriptor(true, 3, "", "", "")));
                   m->AddDevice(L"\\\\.\\PhysicalDrive3", fake::Disk(fake::IdentifyBlock(" SN 9 ", "  MODEL X  "), fake::StorageDescriptor(false, 11, "", "", "")));
                 },
                 "SN 9MODEL X"},
        DiskCase{"ScsiAndVirtualDisksGiveNothing",
                 [](fake::FakeMachine* m) {
                   m->AddDevice(kDrive0, fake::Disk({}, fake::StorageDescriptor(false, 1, "Wine", "Disk", "")));
                   m->AddDevice(kDrive1, fake::Disk({}, fake::StorageDescriptor(false, 14, "", "Virtual", "SERIAL99")));
                 },
                 ""},
        DiskCase{"DescriptorHexSerialWithProduct",
                 [](fake::FakeMachine* m) {
                   m->AddDevice(kDrive0, fake::Disk({}, fake::StorageDescriptor(false, 11, "Vendor", "  SSD 860  ", kHexSerial)));
                 },
                 "AB12CD34EF56GH78IJ90SSD 860"},
        DiskCase{"DescriptorSerialSwappedBelow62",
                 [](fake::FakeMachine* m) {
                   m->osMajor = 6;
                   m->osMinor = 1;
                   m->AddDevice(kDrive0, fake::Disk({}, fake::StorageDescriptor(false, 11, "Vendor", "SSD", kHexSerial)));
                 },
                 "BA21DC43FE65HG87JI09SSD"},
        DiskCase{"VendorWhenNoProduct",
                 [](fake::FakeMachine* m) {
                   m->AddDevice(kDrive0, fake::Disk({}, fake::StorageDescriptor(false, 3, " Samsung ", "", "  S3Z9NB0K ")));
                 },
                 "S3Z9NB0KSamsung"},
        DiskCase{"DriveWithoutSerialSkipped",
                 [](fake::FakeMachine* m) {
                   m->AddDevice(kDrive0, fake::Disk({}, fake::StorageDescriptor(false, 3, "V", "P", "")));
                   m->AddDevice(kDrive1, fake::Disk({}, fake::StorageDescriptor(false, 3, "V", "P", "XYZ123")));
                 },
                 "XYZ123P"}),
    [](const ::testing::TestParamInfo<DiskCase>& info) { return std::string(info.param.name); });

// --- processor part ----------------------------------------------------------------------------

TEST(MachineIdV2Cpu, FormatsVendorSignatureAndTrimmedBrand) {
  fake::FakeMachine machine;
  fake::FakeMachineScope scope(&machine);
  machine.vendor = "GenuineIotel";
  std::string text;
  GetCpuIdentText(&text);
  EXPECT_EQ(text, "GenuineIntel,906ea,Example CPU @ 3.00GHz");

  machine.vendor = "AuthenticAMD";
  GetCpuIdentText(&text);
  EXPECT_EQ(text, "GenuineIntel,906ea,Example CPU @ 3.00GHz") << "read once, then cached";

  fake::FakeMachine noBrand;
  fake::FakeMachineScope scope2(&noBrand);
  noBrand.brand = "";
  noBrand.leaf1Eax = 0x00A20F12;
  noBrand.vendor = "AuthenticAMD";
  GetCpuIdentText(&text);
  EXPECT_EQ(text, "AuthenticAMD,a20f12,");
}

}  // namespace
