#include "base/api_hook.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(ApiHook, StatusNames) {
  const struct {
    int status;
    const char* name;
  } cases[] = {
      {-1, "MH_UNKNOWN"},
      {0, "MH_OK"},
      {1, "MH_ERROR_ALREADY_INITIALIZED"},
      {5, "MH_ERROR_ENABLED"},
      {8, "MH_ERROR_UNSUPPORTED_FUNCTION"},
      {12, "MH_ERROR_FUNCTION_NOT_FOUND"},
      {13, "(unknown)"},
      {-2, "(unknown)"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(c.name, MH_StatusToString(static_cast<MH_STATUS>(c.status))) << c.status;
  }
}

TEST(ApiHook, InitializeMatchesThisBuild) {
#if defined(__i386__) || defined(_M_IX86)
  ASSERT_EQ(MH_OK, MH_Initialize());
  EXPECT_EQ(MH_ERROR_ALREADY_INITIALIZED, MH_Initialize());
  EXPECT_EQ(MH_ERROR_NOT_CREATED, MH_EnableHook(reinterpret_cast<LPVOID>(&MH_Initialize)));
  EXPECT_EQ(MH_OK, MH_Uninitialize());
#else
  // No engine outside 32-bit x86: callers see the failure and go on without hooks.
  EXPECT_EQ(MH_ERROR_UNSUPPORTED_FUNCTION, MH_Initialize());
  LPVOID original = nullptr;
  EXPECT_EQ(MH_ERROR_NOT_INITIALIZED,
            MH_CreateHookApi(L"kernel32.dll", "CreateProcessW", reinterpret_cast<LPVOID>(&MH_Initialize), &original));
  EXPECT_EQ(nullptr, original);
  EXPECT_EQ(MH_ERROR_NOT_INITIALIZED, MH_EnableHook(MH_ALL_HOOKS));
  EXPECT_EQ(MH_ERROR_NOT_INITIALIZED, MH_Uninitialize());
#endif
}

#if defined(__i386__) || defined(_M_IX86)

// Starts with the hot-patch prologue 8B FF 55 8B EC.
__attribute__((noinline, ms_hook_prologue)) int __stdcall AddTen(int value) {
  return value + 10;
}

using AddFunction = int(__stdcall*)(int);
AddFunction g_pOriginalAddTen = nullptr;

int __stdcall DoubledAddTen(int value) {
  return g_pOriginalAddTen(value) * 2;
}

using CreateProcessWFunction = decltype(&CreateProcessW);
CreateProcessWFunction g_pOriginalCreateProcessW = nullptr;
std::atomic<int> g_nCreateProcessCalls{0};

BOOL WINAPI CountingCreateProcessW(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                                   LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags,
                                   LPVOID environment, LPCWSTR directory, LPSTARTUPINFOW startup,
                                   LPPROCESS_INFORMATION info) {
  ++g_nCreateProcessCalls;
  return g_pOriginalCreateProcessW(application, commandLine, processAttributes, threadAttributes, inherit, flags,
                                   environment, directory, startup, info);
}

#endif

TEST(ApiHook, DetoursLiveFunction) {
#if !defined(__i386__) && !defined(_M_IX86)
  GTEST_SKIP() << "32-bit x86 only; this build is x86_64";
#else
  // Called through a volatile pointer so the compiler keeps every call.
  AddFunction volatile call = &AddTen;
  LPVOID target = reinterpret_cast<LPVOID>(&AddTen);
  ASSERT_EQ(MH_OK, MH_Initialize());
  ASSERT_EQ(MH_OK, MH_CreateHook(target, reinterpret_cast<LPVOID>(&DoubledAddTen),
                                 reinterpret_cast<LPVOID*>(&g_pOriginalAddTen)));
  EXPECT_EQ(11, call(1)) << "a new hook is disabled";
  EXPECT_EQ(11, g_pOriginalAddTen(1));

  ASSERT_EQ(MH_OK, MH_EnableHook(target));
  EXPECT_EQ(22, call(1));
  EXPECT_EQ(11, g_pOriginalAddTen(1));

  // Switching while another thread keeps calling: every call sees a whole function.
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::thread caller([&] {
    while (!stop) {
      const int result = call(1);
      if (result != 11 && result != 22) ++wrong;
    }
  });
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(MH_OK, MH_DisableHook(target));
    ASSERT_EQ(MH_OK, MH_EnableHook(MH_ALL_HOOKS));
  }
  stop = true;
  caller.join();
  EXPECT_EQ(0, wrong.load());

  ASSERT_EQ(MH_OK, MH_RemoveHook(target));
  EXPECT_EQ(11, call(1));
  EXPECT_EQ(MH_OK, MH_Uninitialize());
#endif
}

TEST(ApiHook, DetoursCreateProcessW) {
#if !defined(__i386__) && !defined(_M_IX86)
  GTEST_SKIP() << "32-bit x86 only; this build is x86_64";
#else
  ASSERT_EQ(MH_OK, MH_Initialize());
  EXPECT_EQ(MH_ERROR_MODULE_NOT_FOUND,
            MH_CreateHookApi(L"no_such_module.dll", "CreateProcessW", reinterpret_cast<LPVOID>(&CountingCreateProcessW),
                             nullptr));
  EXPECT_EQ(MH_ERROR_FUNCTION_NOT_FOUND,
            MH_CreateHookApi(L"kernel32.dll", "NoSuchExport", reinterpret_cast<LPVOID>(&CountingCreateProcessW),
                             nullptr));
  LPVOID target = nullptr;
  ASSERT_EQ(MH_OK, MH_CreateHookApiEx(L"kernel32.dll", "CreateProcessW",
                                      reinterpret_cast<LPVOID>(&CountingCreateProcessW),
                                      reinterpret_cast<LPVOID*>(&g_pOriginalCreateProcessW), &target));
  EXPECT_EQ(reinterpret_cast<LPVOID>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateProcessW")), target);
  ASSERT_EQ(MH_OK, MH_EnableHook(target));

  wchar_t commandLine[] = L"cmd.exe /c exit 7";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                             &startup, &info));
  EXPECT_EQ(1, g_nCreateProcessCalls.load()) << "the launch went through the detour";
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(info.hProcess, 30000));
  DWORD exitCode = 0;
  EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &exitCode));
  EXPECT_EQ(7u, exitCode) << "the trampoline started the child";
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);

  ASSERT_EQ(MH_OK, MH_Uninitialize());
#endif
}

}  // namespace
