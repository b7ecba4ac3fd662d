#include "video_card_lookup.h"

#include "video_card_xml.h"

namespace {

#if defined(VIDRAKE_D3D9)
const Direct3DFlavour kThisBuild = kDirect3D9Build;
#else
const Direct3DFlavour kThisBuild = kDirect3D8Build;
#endif

const wchar_t kDatabaseFileName[] = L"VideoCardDB.xml";

}  // namespace

int LookUpVideoCard(const WideString& hostDirectory, DWORD vendorId, DWORD deviceId, WideString description,
                    WideString driverVersionText, WideString& alternates)
{
    // A single-threaded apartment for the document object, deliberately never
    // uninitialised here; the result does not matter, the creation below tells.
    CoInitialize(nullptr);

    VideoCardQuery query;
    if (FAILED(PrepareVideoCardQuery(vendorId, deviceId, description, driverVersionText, query)))
        return -1;
    WideString address = L"file://";
    address.Append(hostDirectory);
    address.Append(kDatabaseFileName);
    VideoCardScanEnd end;
    ScanVideoCardDatabase(address, query, nullptr, nullptr, end, nullptr);
    return VideoCardLookupResult(kThisBuild, end, alternates);
}
