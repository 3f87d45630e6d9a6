// The second identifier's entry: argument checks, the once-per-process computation under
// concurrent first calls, and the COM shape of CKivMID2.
#include "product/new_mid.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/product/fake_machine.h"

namespace {

// Adapter and processor parts, elevated, nothing stored.
const wchar_t kAdapterCpu[] = L"1a665939a8c5b583cb4c3cf30f4c46c45b4b982e2916";

// The identifier is computed once per process, so every test here shares one machine.
fake::FakeMachine& SharedMachine() {
  static fake::FakeMachine* machine = [] {
    auto* m = new fake::FakeMachine;
    fake::AddNetworkCard(m, 1, L"{NIC}", fake::Adapter(fake::Mac(0x00, 0x15, 0x5D, 0x01, 0x02, 0x03)));
    // Widens the window in which a second computation could start.
    m->onElevationQuery = [] { Sleep(200); };
    return m;
  }();
  return *machine;
}

class NewMidTest : public ::testing::Test {
 protected:
  fake::FakeMachineScope scope_{&SharedMachine()};
};

TEST_F(NewMidTest, RefusesBuffersBelowFiftyUnits) {
  wchar_t buffer[64];
  wmemset(buffer, L'x', 64);
  EXPECT_EQ(NewMIDW_Kiv(buffer, 49), E_INVALIDARG);
  EXPECT_EQ(NewMIDW_Kiv(nullptr, 260), E_INVALIDARG);
  EXPECT_EQ(buffer[0], L'x');
  ASSERT_EQ(NewMIDW_Kiv(buffer, 50), S_OK);
  EXPECT_EQ(std::wstring(buffer), kAdapterCpu);
}

TEST_F(NewMidTest, ConcurrentFirstCallsComputeOnce) {
  HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<std::wstring> results(8);
  std::vector<std::thread> threads;
  for (auto& result : results) {
    threads.emplace_back([start, &result] {
      WaitForSingleObject(start, INFINITE);
      wchar_t buffer[260] = {};
      if (NewMIDW_Kiv(buffer, 260) == S_OK) result = buffer;
    });
  }
  SetEvent(start);
  for (auto& thread : threads) thread.join();
  CloseHandle(start);
  for (const auto& result : results) EXPECT_EQ(result, kAdapterCpu);
  EXPECT_EQ(SharedMachine().elevationQueries, 1) << "one computation per process";
}

TEST_F(NewMidTest, GetNewMidCutsToTheCapacity) {
  CKivMID2 object;
  wchar_t buffer[10];
  wmemset(buffer, L'x', 10);
  EXPECT_EQ(object.GetNewMID(buffer, 10), S_OK);
  EXPECT_EQ(std::wstring(buffer), std::wstring(kAdapterCpu).substr(0, 9));
  EXPECT_TRUE(object.EnsureNewMID());
  // No room for the terminator: refused before anything is written.
  wmemset(buffer, L'x', 10);
  EXPECT_EQ(object.GetNewMID(buffer, 0), E_INVALIDARG);
  EXPECT_EQ(buffer[0], L'x');
  EXPECT_EQ(object.GetNewMID(nullptr, 10), E_INVALIDARG);
}

TEST(KivMid2, InterfacesAndReferenceCounts) {
  CKivMID2 object;
  INewMID* newMid = &object;
  IExtend* extend = &object;
  struct {
    const IID* iid;
    void* expected;
    HRESULT result;
  } cases[] = {{&IID_IUnknown, newMid, S_OK},
               {&IID_INewMID, newMid, S_OK},
               {&IID_IExtend, extend, S_OK},
               {&IID_IDispatch, nullptr, E_NOINTERFACE}};
  for (const auto& c : cases) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(newMid->QueryInterface(*c.iid, &out), c.result);
    EXPECT_EQ(out, c.expected);
  }
  EXPECT_EQ(newMid->QueryInterface(IID_INewMID, nullptr), E_POINTER);
  EXPECT_EQ(newMid->AddRef(), 2u);
  EXPECT_EQ(extend->AddRef(), 2u);
  EXPECT_EQ(newMid->Release(), 1u);
  EXPECT_EQ(extend->Extend1(1, 2), E_NOTIMPL);
  EXPECT_EQ(extend->Extend7(1, 2, 3), E_NOTIMPL);
  EXPECT_EQ(extend->Extend8(1, 0, 2, 3), E_NOTIMPL);
}

}  // namespace
