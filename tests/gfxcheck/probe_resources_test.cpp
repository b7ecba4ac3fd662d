#include <gtest/gtest.h>

#include <stdio.h>

#include "adapter_probe.h"
#include "d3d_runtime.h"
#include "open_handles.h"
#include "video_memory.h"

namespace {

#if defined(VIDRAKE_D3D9)
const wchar_t kRuntimeModule[] = L"d3d9.dll";
#else
const wchar_t kRuntimeModule[] = L"d3d8.dll";
#endif

// One probe as a check makes it: window, runtime, adapter, memory; all undone.
void RunOneProbe()
{
    ResetD3DRuntime();
    HWND window = CreateProbeWindow();
    if (LoadD3DRuntime() && g_d3dRuntime.create) {
        EXPECT_EQ(Success, ProbeDirect3DAdapter(g_d3dRuntime.create, window).outcome);
    }
    int status = 0;
    EXPECT_GT(MeasureVideoMemory(&status), 0);
    ReleaseDirect3DAdapter();
    FreeD3DRuntime();
    DestroyProbeWindow(window);
}

BOOL CALLBACK CountWindow(HWND, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

struct ResourceCounts {
    DWORD gdiObjects;   // the system's own counts; Wine reports 0
    DWORD userObjects;
    DWORD handleCount;  // likewise
    DWORD openHandles;  // from the system's handle table, which Wine keeps
    int threadWindows;
};

ResourceCounts CountResources()
{
    ResourceCounts counts = {GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS),
                             GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), 0, 0, 0};
    typedef BOOL(WINAPI * HandleCount)(HANDLE, DWORD*);
    HandleCount getHandleCount = reinterpret_cast<HandleCount>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetProcessHandleCount")));
    if (getHandleCount)
        getHandleCount(GetCurrentProcess(), &counts.handleCount);
    counts.openHandles = OpenHandleCount();
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&counts.threadWindows));
    return counts;
}

TEST(ProbeResources, TwoHundredProbesLeaveNothingBehind)
{
    for (int i = 0; i < 3; ++i)  // first-use allocations of the platform
        RunOneProbe();
    ResourceCounts before = CountResources();
    for (int i = 0; i < 200 && !HasFailure(); ++i)
        RunOneProbe();
    ResourceCounts after = CountResources();
    printf("gdi=%lu->%lu user=%lu->%lu handleCount=%lu->%lu openHandles=%lu->%lu windows=%d->%d\n",
           before.gdiObjects, after.gdiObjects, before.userObjects, after.userObjects, before.handleCount,
           after.handleCount, before.openHandles, after.openHandles, before.threadWindows, after.threadWindows);
    EXPECT_GT(before.openHandles, 0u);
    EXPECT_LE(after.openHandles, before.openHandles);
    EXPECT_LE(after.threadWindows, before.threadWindows);
    EXPECT_LE(after.gdiObjects, before.gdiObjects);
    EXPECT_LE(after.userObjects, before.userObjects);
    EXPECT_LE(after.handleCount, before.handleCount);
    // Every load of the runtime was matched by a free. (Wine pins ddraw.dll,
    // so its unloading cannot be seen here.)
    EXPECT_EQ(nullptr, GetModuleHandleW(kRuntimeModule));
}

}  // namespace
