#include "product/static_singleton.h"

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::atomic<int> g_nThrowingBuilds{0};

struct Throwing {
  Throwing() {
    ++g_nThrowingBuilds;
    Sleep(50);  // later callers arrive while the first one builds
    throw std::runtime_error("no");
  }
};

struct Counted {
  Counted() { ++builds; }
  static std::atomic<int> builds;
};
std::atomic<int> Counted::builds{0};

// Every caller, the first and those that waited for it, gets null and returns; nothing throws
// out and the constructor is not tried again.
TEST(StaticSingleton, AThrowingConstructorGivesEveryCallerNull) {
  std::vector<std::thread> callers;
  std::atomic<int> nulls{0};
  for (int i = 0; i < 6; ++i) {
    callers.emplace_back([&] {
      if (static_singleton_base<Throwing>::Instance() == nullptr) ++nulls;
    });
  }
  for (std::thread& caller : callers) caller.join();
  EXPECT_EQ(nulls, 6);
  EXPECT_EQ(static_singleton_base<Throwing>::Instance(), nullptr);
  EXPECT_EQ(g_nThrowingBuilds, 1);
}

TEST(StaticSingleton, OneObjectForEveryThread) {
  std::vector<std::thread> callers;
  std::vector<Counted*> seen(6, nullptr);
  for (int i = 0; i < 6; ++i) callers.emplace_back([&, i] { seen[i] = static_singleton_base<Counted>::Instance(); });
  for (std::thread& caller : callers) caller.join();
  ASSERT_NE(seen[0], nullptr);
  for (Counted* instance : seen) EXPECT_EQ(instance, seen[0]);
  EXPECT_EQ(Counted::builds, 1);
}

}  // namespace
