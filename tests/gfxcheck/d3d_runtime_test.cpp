#include <gtest/gtest.h>

#include "d3d_runtime.h"

namespace {

#if defined(VIDRAKE_D3D9)
const wchar_t kRuntimeModule[] = L"d3d9.dll";
#else
const wchar_t kRuntimeModule[] = L"d3d8.dll";
#endif

TEST(ComposeSystemPath, CutsWhatDoesNotFit)
{
    wchar_t path[12];
    ComposeSystemPath(L"C:\\sys", L"\\d3d9.dll", path, 12);
    EXPECT_STREQ(L"C:\\sys\\d3d9", path);  // 11 characters and the terminator
    ComposeSystemPath(L"C:\\windows\\system32", L"\\d3d9.dll", path, 12);
    EXPECT_STREQ(L"C:\\windows\\", path);
    ComposeSystemPath(L"C:", L"\\x.dll", path, 12);
    EXPECT_STREQ(L"C:\\x.dll", path);
    wchar_t one[1] = {L'?'};
    ComposeSystemPath(L"C:", L"\\x.dll", one, 1);
    EXPECT_EQ(L'\0', one[0]);
}

TEST(D3DRuntime, LoadsOnceAndFreesWhatItLoaded)
{
    ResetD3DRuntime();
    ASSERT_EQ(nullptr, GetModuleHandleW(kRuntimeModule)) << "runtime already in the process";
    ASSERT_TRUE(LoadD3DRuntime());
    HMODULE module = g_d3dRuntime.module;
    EXPECT_EQ(GetModuleHandleW(kRuntimeModule), module);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(module, DIRECT3D_CREATE_NAME)),
              reinterpret_cast<void*>(g_d3dRuntime.create));
    // A second load neither loads nor looks up anything.
    g_d3dRuntime.create = nullptr;
    EXPECT_TRUE(LoadD3DRuntime());
    EXPECT_EQ(module, g_d3dRuntime.module);
    EXPECT_EQ(nullptr, g_d3dRuntime.create);
    FreeD3DRuntime();
    EXPECT_EQ(nullptr, g_d3dRuntime.module);
    EXPECT_EQ(nullptr, GetModuleHandleW(kRuntimeModule));
    FreeD3DRuntime();
    EXPECT_EQ(nullptr, g_d3dRuntime.module);
}

TEST(D3DRuntime, ResetForgetsWithoutUnloading)
{
    ResetD3DRuntime();
    ASSERT_TRUE(LoadD3DRuntime());
    HMODULE first = g_d3dRuntime.module;
    ResetD3DRuntime();
    EXPECT_EQ(nullptr, g_d3dRuntime.module);
    ASSERT_TRUE(LoadD3DRuntime());
    EXPECT_EQ(first, g_d3dRuntime.module);
    FreeD3DRuntime();
    EXPECT_EQ(first, GetModuleHandleW(kRuntimeModule));  // the forgotten load still counts
    FreeLibrary(first);
    EXPECT_EQ(nullptr, GetModuleHandleW(kRuntimeModule));
}

TEST(ProbeWindow, IsAHiddenPopupThatCanBeMadeAgain)
{
    HWND window = CreateProbeWindow();
    ASSERT_NE(nullptr, window);
    EXPECT_FALSE(IsWindowVisible(window));
    wchar_t text[64];
    GetClassNameW(window, text, 64);
    EXPECT_STREQ(L"VidrakeWindow", text);
    GetWindowTextW(window, text, 64);
    EXPECT_STREQ(L"Dummy Vidrake Window", text);
    // The system adds WS_CLIPSIBLINGS to every top-level window.
    EXPECT_EQ(0x80CF0000u | WS_CLIPSIBLINGS, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)));
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(50, rect.left);
    EXPECT_EQ(50, rect.top);
    EXPECT_EQ(200, rect.right - rect.left);
    EXPECT_EQ(100, rect.bottom - rect.top);
    EXPECT_EQ(CS_HREDRAW | CS_VREDRAW, GetClassLongW(window, GCL_STYLE));
    EXPECT_EQ(COLOR_INACTIVEBORDER + 1, static_cast<int>(GetClassLongPtrW(window, GCLP_HBRBACKGROUND)));
    DestroyProbeWindow(window);
    EXPECT_FALSE(IsWindow(window));
    // The class stays registered; registering it again fails and does no harm.
    HWND second = CreateProbeWindow();
    ASSERT_NE(nullptr, second);
    DestroyProbeWindow(second);
}

}  // namespace
