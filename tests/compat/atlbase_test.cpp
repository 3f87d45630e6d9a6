#include "compat/atlbase.h"

#include <string>

#include <gtest/gtest.h>

namespace {

// A scratch key under HKEY_CURRENT_USER, removed at the end.
class CRegKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t name[64];
    _snwprintf(name, 64, L"Software\\BriveloTest-%lu", GetCurrentProcessId());
    name[63] = 0;
    m_strPath = name;
  }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, m_strPath.c_str()); }
  std::wstring m_strPath;
};

TEST_F(CRegKeyTest, StringAndDwordValuesRoundTrip) {
  CRegKey key;
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, m_strPath.c_str()), ERROR_SUCCESS);
  ASSERT_EQ(key.SetStringValue(L"s", L"hello"), ERROR_SUCCESS);
  ASSERT_EQ(key.SetDWORDValue(L"d", 0x20219), ERROR_SUCCESS);

  wchar_t text[16] = {};
  ULONG chars = 16;
  EXPECT_EQ(key.QueryStringValue(L"s", text, &chars), ERROR_SUCCESS);
  EXPECT_STREQ(text, L"hello");
  EXPECT_EQ(chars, 6u);

  wchar_t small[3] = {};
  chars = 3;
  EXPECT_EQ(key.QueryStringValue(L"s", small, &chars), ERROR_MORE_DATA);
  EXPECT_GE(chars, 6u);

  DWORD value = 0;
  EXPECT_EQ(key.QueryDWORDValue(L"d", value), ERROR_SUCCESS);
  EXPECT_EQ(value, 0x20219u);
  EXPECT_EQ(key.QueryDWORDValue(L"s", value), ERROR_INVALID_DATA);
  chars = 16;
  EXPECT_EQ(key.QueryStringValue(L"d", text, &chars), ERROR_INVALID_DATA);
  EXPECT_EQ(key.QueryDWORDValue(L"missing", value), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.DeleteValue(L"s"), ERROR_SUCCESS);
  EXPECT_EQ(key.QueryStringValue(L"s", text, &chars), ERROR_FILE_NOT_FOUND);
}

TEST_F(CRegKeyTest, OpenReplacesTheHeldKeyOnlyOnSuccess) {
  CRegKey key;
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, m_strPath.c_str()), ERROR_SUCCESS);
  HKEY first = key;
  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, (m_strPath + L"\\missing").c_str(), KEY_READ),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(static_cast<HKEY>(key), first);

  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, L"Software", KEY_READ | KEY_WOW64_32KEY), ERROR_SUCCESS);
  EXPECT_NE(static_cast<HKEY>(key), first);
  EXPECT_EQ(key.m_samWOW64, static_cast<REGSAM>(KEY_WOW64_32KEY));
  DWORD subKeys = 0;
  EXPECT_NE(RegQueryInfoKeyW(first, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS)
      << "the replaced key is still open";

  HKEY detached = key.Detach();
  EXPECT_EQ(key.m_hKey, nullptr);
  EXPECT_EQ(key.Close(), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(detached), ERROR_SUCCESS);  // Detach left it open
}

// COM-style object that counts its references.
class Counted : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid != IID_IUnknown) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_nRefs); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--m_nRefs); }
  long m_nRefs = 0;
};

TEST(CComPtr, KeepsReferencesBalanced) {
  Counted a, b;
  {
    CComPtr<Counted> p(&a);
    EXPECT_EQ(a.m_nRefs, 1);
    CComPtr<Counted> copy(p);
    EXPECT_EQ(a.m_nRefs, 2);
    copy = &b;
    EXPECT_EQ(a.m_nRefs, 1);
    EXPECT_EQ(b.m_nRefs, 1);
    copy = copy.p;  // self-assignment keeps the reference
    EXPECT_EQ(b.m_nRefs, 1);

    CComPtr<IUnknown> unknown;
    EXPECT_EQ(p.QueryInterface(&unknown), S_OK);
    EXPECT_EQ(a.m_nRefs, 2);
    Counted* raw = nullptr;
    EXPECT_EQ(p.CopyTo(&raw), S_OK);
    EXPECT_EQ(a.m_nRefs, 3);
    raw->Release();

    Counted* detached = copy.Detach();
    EXPECT_TRUE(!copy);
    EXPECT_EQ(b.m_nRefs, 1);
    copy.Attach(detached);  // takes the reference over, no AddRef
    EXPECT_EQ(b.m_nRefs, 1);
    copy.Release();
    EXPECT_EQ(b.m_nRefs, 0);
    EXPECT_EQ(copy.p, nullptr);
  }
  EXPECT_EQ(a.m_nRefs, 0);
  EXPECT_EQ(b.m_nRefs, 0);
}

}  // namespace
