#include "check_sequence.h"

#include "adapter_probe.h"
#include "check_gfx.h"
#include "d3d_result_names.h"
#include "d3d_runtime.h"
#include "message_format.h"
#include "video_card_lookup.h"
#include "video_card_scan.h"
#include "video_memory.h"

#define DIRECTX_MISSING_TEXT(version)                                                              \
    L"Error! DirectX " version L" does not seem to be installed on your Computer. Please download " \
    L"and install the newest version of (DirectX " version L" or higher) from "                    \
    VIDRAKE_DIRECTX_DOWNLOAD_URL L" and run this application again."

#if defined(VIDRAKE_D3D9)
const wchar_t kDirectXMissingText[] = DIRECTX_MISSING_TEXT(L"9.0c");
#else
const wchar_t kDirectXMissingText[] = DIRECTX_MISSING_TEXT(L"8.0");
#endif
const wchar_t kDeviceFailedText[] = L"An unknown error occured when trying to test your graphics card.";
const wchar_t kShaderLowText[] =
    L"Your graphics card does not support PixelShader Level 2.0 or higher. Some materials will not "
    L"display correctly.\n\n";
const wchar_t kShaderUndeterminedText[] = L"PixelShader level could not be determined\n";
const wchar_t kDriverRejectedText[] =
    L"The driver version of your graphics card is not supported. Please download the newest driver "
    L"from your graphics card manufacturer's website.";
const wchar_t kMemoryUndeterminedText[] =
    L"The amount of memory on your graphics card could not be determined. The minimum requirement is "
    L"64 MB. If your card has less memory program instability and data loss will most likely occur. "
    L"You can get the amount of hardware memory by going to the ControlPanel, clicking on Display, "
    L"then go to the Settings tab and click on Advanced. In the Adapter Tab of the next dialog you "
    L"should see a Memory Size entry.\n\n";
const wchar_t kMemoryLowText[] =
    L"Your graphics card has insufficient hardware memory: %1!d! MB. Minimum requirement is 64 MB. "
    L"Program instability and data loss will most likely occur.\n\n";
const wchar_t kMeetsRequirementsText[] = L"Your Graphics Card meets the minimum requirements for Tarvold Quillet!";

namespace {

const int kMinimumVideoMemory = 64;
const int kMinimumShaderLevel = 2;

// Releases the device and the Direct3D object however the judgement ends.
struct AdapterRelease {
    ~AdapterRelease() { ReleaseDirect3DAdapter(); }
};

// Releases the runtime and the probe window however the check ends.
struct RuntimeRelease {
    HWND window;
    ~RuntimeRelease()
    {
        FreeD3DRuntime();
        DestroyProbeWindow(window);
    }
};

void ReportDirectXMissing(CheckOutputs& out)
{
    out.message.Append(kDirectXMissingText);
    *out.status |= GFX_DIRECTX_MISSING;
}

void ReportDriverRejected(WideString& message, int* status)
{
    *status |= GFX_DRIVER_REJECTED;
    message.Append(kDriverRejectedText);
}

}  // namespace

void ReportVideoMemory(int megabytes, WideString& message, WideString& memoryText, int* status)
{
    if (megabytes < 0) {
        message.Append(kMemoryUndeterminedText);
        *status |= GFX_MEMORY_UNDETERMINED;
        return;
    }
#if defined(VIDRAKE_D3D9)
    if (megabytes > 0)
        AssignInserts(memoryText, L"%1!d! MB", megabytes);
#else
    AssignInserts(memoryText, L"%1!d! MB", megabytes);
#endif
    if (megabytes >= 1 && megabytes < kMinimumVideoMemory) {
        AppendInserts(message, kMemoryLowText, megabytes);
        *status |= GFX_MEMORY_LOW;
    }
}

void ReportFinalVerdict(WideString& message, int* status)
{
    if (!message.IsEmpty())
        return;
    message.Append(kMeetsRequirementsText);
    if (*status != 0)
        *status |= GFX_MEETS_WITH_FLAGS;
}

#if defined(VIDRAKE_D3D9)

void ReportPixelShader(DWORD pixelShaderVersion, WideString& message, WideString& pixelShaderText, int* status)
{
    int major = (pixelShaderVersion >> 8) & 0xFF;
    int minor = pixelShaderVersion & 0xFF;
    AppendInserts(pixelShaderText, L"%1!d!.%2!d!", major, minor);
    if (major < kMinimumShaderLevel) {
        message.Append(kShaderLowText);
        *status |= GFX_SHADER_LOW;
    }
}

namespace {

// What the Direct3D 9 build reads from an identified adapter: the shader
// level from the device, the driver's verdict from the database.
void JudgeAdapterFacts(const AdapterFacts& facts, const WideString& hostDirectory, CheckOutputs& out)
{
    WideString description;
    description.AppendAnsi(facts.description);
    out.cardName.Append(description);
    *out.vendorId = static_cast<int>(facts.vendorId);
    *out.deviceId = static_cast<int>(facts.deviceId);
    ReportPixelShader(facts.pixelShaderVersion, out.message, out.pixelShaderText, out.status);
    out.driverVersionText = FormatDriverVersion(facts.driverVersionHigh, facts.driverVersionLow);
    int lookup = LookUpVideoCard(hostDirectory, facts.vendorId, facts.deviceId, description, out.driverVersionText,
                                 out.alternates);
    if (ReadLookupResult(kDirect3D9Build, lookup).rejected)
        ReportDriverRejected(out.message, out.status);
}

}  // namespace

#else  // VIDRAKE_D3D8

void ReportPixelShader(int lookupResult, WideString& message, WideString& pixelShaderText, int* status)
{
    WideString level;
    LookupReading reading = ReadLookupResult(kDirect3D8Build, lookupResult);
    if (reading.rejected) {
        AssignInserts(level, L"%1!d!", reading.level);
        ReportDriverRejected(message, status);
    } else if (reading.level >= 0) {
        AssignInserts(level, L"%1!d!", reading.level);
    } else {
        level = L"?";
        message.Append(kShaderUndeterminedText);
        *status |= GFX_SHADER_UNDETERMINED;
    }
    pixelShaderText.Append(level);
    if (lookupResult == 0 || lookupResult == 1) {
        message.Append(kShaderLowText);
        *status |= GFX_SHADER_LOW;
    }
}

namespace {

// What the Direct3D 8 build reads from an identified adapter: the database
// gives both the shader level and the driver's verdict.
void JudgeAdapterFacts(const AdapterFacts& facts, const WideString& hostDirectory, CheckOutputs& out)
{
    out.cardName.AppendAnsi(facts.description);
    out.driverVersionText = FormatDriverVersion(facts.driverVersionHigh, facts.driverVersionLow);
    *out.vendorId = static_cast<int>(facts.vendorId);
    *out.deviceId = static_cast<int>(facts.deviceId);
    // The database is asked with cardName as it now stands, earlier content included.
    int lookup = LookUpVideoCard(hostDirectory, facts.vendorId, facts.deviceId, out.cardName, out.driverVersionText,
                                 out.alternates);
    ReportPixelShader(lookup, out.message, out.pixelShaderText, out.status);
}

}  // namespace

void CheckGfxWithDirectDraw(const WideString& hostDirectory, CheckOutputs& out)
{
    MeasureDirectDrawMemory(out.status);
    const DisplayDeviceEntry& primary = g_displayDevices.entries[0];
    *out.vendorId = static_cast<int>(primary.vendorId);
    *out.deviceId = static_cast<int>(primary.deviceId);
    out.driverVersionText = FormatDriverVersion(static_cast<DWORD>(primary.driverVersion >> 32),
                                                static_cast<DWORD>(primary.driverVersion));
    WideString description;
    description.AppendAnsi(primary.description);
    out.cardName.Append(description);
    int lookup = LookUpVideoCard(hostDirectory, primary.vendorId, primary.deviceId, description, out.driverVersionText,
                                 out.alternates);
    ReportPixelShader(lookup, out.message, out.pixelShaderText, out.status);
    int megabytes = LargestListedMemory();
    if (megabytes <= 0)
        QueryDxDiagMemory(&megabytes);
    ReportVideoMemory(megabytes, out.message, out.memoryText, out.status);
    ReportFinalVerdict(out.message, out.status);
    FreeD3DRuntime();
}

#endif

void JudgeDirect3DAdapter(Direct3DCreateFunction create, HWND window, const WideString& hostDirectory,
                          CheckOutputs& out)
{
    if (!create) {
        ReportDirectXMissing(out);
        return;
    }
    AdapterRelease release;
    ProbeResult probe = ProbeDirect3DAdapter(create, window);
    if (probe.outcome == NoDirect3DObject) {
        ReportDirectXMissing(out);
        return;
    }
    if (probe.outcome == NoDevice) {
        out.message.Append(kDeviceFailedText);
        out.message.AppendAnsi(D3DResultName(probe.deviceResult));
        *out.status |= GFX_DEVICE_FAILED;
        return;
    }
    JudgeAdapterFacts(probe.facts, hostDirectory, out);
    ReportVideoMemory(MeasureVideoMemory(out.status), out.message, out.memoryText, out.status);
    ReportFinalVerdict(out.message, out.status);
}

void CheckGfxWithDirect3D(const WideString& hostDirectory, CheckOutputs& out)
{
    ResetD3DRuntime();
    RuntimeRelease release = {CreateProbeWindow()};
    Direct3DCreateFunction create = LoadD3DRuntime() ? g_d3dRuntime.create : nullptr;
    JudgeDirect3DAdapter(create, release.window, hostDirectory, out);
}
