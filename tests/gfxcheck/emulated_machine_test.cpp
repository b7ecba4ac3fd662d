// Wine reads its Direct3D knobs and DLL overrides when a process starts, so
// each case sets them and runs this program again as a child that probes and
// prints what it found.
#include <gtest/gtest.h>

#include <stdio.h>

#include "adapter_probe.h"
#include "d3d_runtime.h"
#include "test_support.h"
#include "video_memory.h"

namespace {

const wchar_t kChildMarker[] = L"VIDRAKE_PROBE_CHILD";

TEST(ProbeChild, PrintsWhatTheProbesFind)
{
    if (!GetEnvironmentVariableW(kChildMarker, nullptr, 0))
        GTEST_SKIP() << "runs only as the child of the cases below";
    ResetD3DRuntime();
    HWND window = CreateProbeWindow();
    bool loaded = LoadD3DRuntime();
    printf("runtime=%d\n", loaded ? 1 : 0);
    if (loaded && g_d3dRuntime.create) {
        ProbeResult probe = ProbeDirect3DAdapter(g_d3dRuntime.create, window);
        printf("outcome=%d\n", probe.outcome);
        printf("shaderMajor=%lu\n", (probe.facts.pixelShaderVersion >> 8) & 0xFF);
        printf("vendor=%lu\n", probe.facts.vendorId);
        ReleaseDirect3DAdapter();
    }
    FreeD3DRuntime();
    DestroyProbeWindow(window);
    int status = 0;
    MeasureDirectDrawMemory(&status);
    printf("devices=%d\nmemory=%d\nstatus=%d\n", g_displayDevices.count, LargestListedMemory(), status);
    fflush(stdout);
}

std::string RunChild()
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SetEnvironmentVariableW(kChildMarker, L"1");
    ProgramRun run = RunProgram(L"\"" + std::wstring(self) + L"\" --gtest_filter=ProbeChild.*");
    SetEnvironmentVariableW(kChildMarker, nullptr);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode) << run.output;
    return run.output;
}

#if defined(VIDRAKE_D3D9)
const wchar_t kRuntimeDll[] = L"d3d9";
#else
const wchar_t kRuntimeDll[] = L"d3d8";
#endif

TEST(EmulatedMachine, DefaultMachineProbesFully)
{
    std::string out = RunChild();
    EXPECT_EQ("1", ValueOf(out, "runtime"));
    EXPECT_EQ("2", ValueOf(out, "outcome"));  // Success
    EXPECT_EQ("4318", ValueOf(out, "vendor"));
    EXPECT_NE("0", ValueOf(out, "devices"));  // Wine lists the primary driver and its monitor
}

TEST(EmulatedMachine, VideoMemorySizeKnob)
{
    auto knob = WineDirect3DText(L"VideoMemorySize", L"32");
    std::string out = RunChild();
    EXPECT_EQ("32", ValueOf(out, "memory"));
}

TEST(EmulatedMachine, PixelShaderOneCard)
{
#if defined(VIDRAKE_D3D8)
    GTEST_SKIP() << "the Direct3D 8 probe reads no pixel shader version";
#endif
    auto knob = WineDirect3DNumber(L"MaxShaderModelPS", 1);
    std::string out = RunChild();
    EXPECT_EQ("2", ValueOf(out, "outcome"));
    EXPECT_EQ("1", ValueOf(out, "shaderMajor"));
}

TEST(EmulatedMachine, WithoutDirectDraw)
{
    auto disabled = DisableWineDll(L"ddraw");
    std::string out = RunChild();
    EXPECT_EQ("0", ValueOf(out, "devices"));
    EXPECT_EQ("-1", ValueOf(out, "memory"));
#if defined(VIDRAKE_D3D8)
    EXPECT_EQ("1", ValueOf(out, "status"));  // DirectX missing
#else
    EXPECT_EQ("0", ValueOf(out, "status"));
#endif
}

TEST(EmulatedMachine, WithoutTheDirect3DRuntime)
{
    auto disabled = DisableWineDll(kRuntimeDll);
    std::string out = RunChild();
    EXPECT_EQ("0", ValueOf(out, "runtime"));
    EXPECT_EQ("<missing>", ValueOf(out, "outcome"));
    EXPECT_NE("0", ValueOf(out, "devices"));  // the child ran on
}

}  // namespace
