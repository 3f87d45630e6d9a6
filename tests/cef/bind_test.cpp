#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "include/base/cef_bind.h"
#include "include/base/cef_callback.h"
#include "include/base/cef_lock.h"
#include "include/cef_base.h"

namespace {

int Add3(int a, int b, int c) {
  return a * 100 + b * 10 + c;
}

class Counted : public base::RefCountedThreadSafe<Counted> {
 public:
  explicit Counted(bool* deleted) : deleted_(deleted) {}
  std::string Join(const std::string& a, int b) { return a + std::to_string(b) + tag_; }
  int Const() const { return 7; }
  std::string tag_ = "!";

 private:
  friend class base::RefCountedThreadSafe<Counted>;
  ~Counted() { *deleted_ = true; }
  bool* deleted_;
};

class Client : public CefBase {
 public:
  void Set(int v) { value_ = v; }
  int value_ = 0;
  IMPLEMENT_REFCOUNTING(Client);
};

TEST(BaseBind, LeavesTheTrailingParametersOpen) {
  base::Callback<int(int, int)> two_open = base::Bind(&Add3, 1);
  base::Callback<int(int)> one_open = base::Bind(&Add3, 1, 2);
  base::Callback<int()> none_open = base::Bind(&Add3, 1, 2, 3);
  EXPECT_EQ(two_open.Run(2, 3), 123);
  EXPECT_EQ(one_open.Run(4), 124);
  EXPECT_FALSE(none_open.is_null());
  EXPECT_EQ(none_open.Run(), 123);

  base::Callback<int(int)> rebound = base::Bind(two_open, 9);
  EXPECT_EQ(rebound.Run(8), 198);

  base::Closure empty;
  EXPECT_TRUE(empty.is_null());
  none_open.Reset();
  EXPECT_TRUE(none_open.is_null());
}

TEST(BaseBind, RawReceiverOfACountedClassLivesAsLongAsTheCallback) {
  bool deleted = false;
  base::Callback<std::string(int)> cb;
  {
    scoped_refptr<Counted> obj = new Counted(&deleted);
    cb = base::Bind(&Counted::Join, obj.get(), std::string("n="));
    base::Callback<int()> c = base::Bind(&Counted::Const, obj);
    EXPECT_EQ(c.Run(), 7);
  }
  EXPECT_FALSE(deleted);
  EXPECT_EQ(cb.Run(5), "n=5!");
  base::Callback<std::string(int)> copy = cb;
  cb.Reset();
  EXPECT_FALSE(deleted);
  copy.Reset();
  EXPECT_TRUE(deleted);
}

TEST(BaseBind, UnretainedTakesNoReferenceAndCefRefPtrTakesOne) {
  CefRefPtr<Client> client = new Client();
  base::Closure unretained = base::Bind(&Client::Set, base::Unretained(client.get()), 3);
  EXPECT_TRUE(client->HasOneRef());
  unretained.Run();
  EXPECT_EQ(client->value_, 3);

  base::Closure retained = base::Bind(&Client::Set, client, 4);
  EXPECT_FALSE(client->HasOneRef());
  retained.Run();
  EXPECT_EQ(client->value_, 4);
  retained.Reset();
  EXPECT_TRUE(client->HasOneRef());
}

TEST(BaseLock, TryFailsWhileAnotherThreadHoldsTheLock) {
  base::Lock lock;
  base::AutoLock hold(lock);
  bool other_got_it = true;
  std::thread other([&] { other_got_it = lock.Try(); });
  other.join();
  EXPECT_FALSE(other_got_it);
  {
    base::AutoUnlock release(lock);
    EXPECT_TRUE(lock.Try());
    lock.Release();
  }
  lock.AssertAcquired();
}

}  // namespace
