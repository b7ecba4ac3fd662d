#include "video_card_scan.h"

#include <limits.h>

bool DriverFamilyNumber(const wchar_t* driverText, long* family)
{
    while (*driverText == L'.')
        ++driverText;
    if (*driverText == L'\0')
        return false;
    // wcstol stops at the next ".", so this converts the first field alone.
    *family = DatabaseNumber(driverText);
    return true;
}

RecordEffect WeighVideoCardRecord(const VideoCardRecord& record, VideoCardScan& scan)
{
    bool matchesAdapter = (record.vendorMatched && record.deviceMatched) || record.cardMatched;
    if (!matchesAdapter)
        return kRecordNotMatching;
    if (record.driverMatched) {
        if (!record.rejected)
            return kRecordAccepted;
        scan.rejected = true;
        scan.rejectionHasFamily = DriverFamilyNumber(record.driverText.Text(), &scan.rejectionFamily);
        return kRecordRejected;
    }
    scan.fallbackLevel = record.pixelShaderLevel;
    if (record.rejected)
        return kRecordBlackListedLeft;
    if (record.notRecommended)
        return kRecordNotRecommendedLeft;
    if (scan.candidateCount == kMaxDriverCandidates)
        return kRecordListFullLeft;
    DriverCandidate& candidate = scan.candidates[scan.candidateCount++];
    candidate.driverText = record.driverText;
    candidate.hasFamily = DriverFamilyNumber(record.driverText.Text(), &candidate.family);
    return kRecordCandidate;
}

LookupReading ReadLookupResult(Direct3DFlavour flavour, int result)
{
    LookupReading reading = {false, -1};
    if (flavour == kDirect3D9Build) {
        reading.rejected = result == -2;
    } else if (result <= -2) {
        reading.rejected = true;
        reading.level = static_cast<int>(-2LL - result);
    } else {
        reading.level = result;
    }
    return reading;
}

int RejectionResult(Direct3DFlavour flavour, int fallbackLevel)
{
    if (flavour == kDirect3D9Build)
        return -2;
    // -2 minus the fallback level: a level of -1 gives -1, which callers read
    // as "no level"; a level near the top of the range stays a rejection.
    LONGLONG result = -2LL - fallbackLevel;
    return result < INT_MIN ? INT_MIN : static_cast<int>(result);
}

bool OffersAsAlternate(const VideoCardScan& scan, const DriverCandidate& candidate)
{
    // A candidate without a first number never stands for the rejected family.
    return candidate.hasFamily && scan.rejectionHasFamily && candidate.family == scan.rejectionFamily;
}

bool OffersAlternates(const VideoCardScan& scan)
{
    for (int i = 0; i < scan.candidateCount; ++i) {
        if (OffersAsAlternate(scan, scan.candidates[i]))
            return true;
    }
    return false;
}

int FinishVideoCardScanFor(Direct3DFlavour flavour, const VideoCardScan& scan, WideString& alternates)
{
    if (!scan.rejected)
        return scan.fallbackLevel;
    bool first = true;
    for (int i = 0; i < scan.candidateCount; ++i) {
        const DriverCandidate& candidate = scan.candidates[i];
        if (!OffersAsAlternate(scan, candidate))
            continue;
        if (!first)
            alternates.Append(L", ");
        alternates.Append(candidate.driverText);
        first = false;
    }
    return RejectionResult(flavour, scan.fallbackLevel);
}

RecordEffect JudgeDatabaseElement(const VideoCardQuery& query, const DatabaseElement& element,
                                  VideoCardRecord& record, VideoCardScan& scan)
{
    for (long i = 0; i < element.attributeCount; ++i)
        ReadRecordValue(query, element.attributes[i].kind, element.attributes[i].value, record);
    return WeighVideoCardRecord(record, scan);
}

RecordEffect ScanDatabaseElement(const VideoCardQuery& query, const DatabaseElement& element, VideoCardRecord& record,
                                 VideoCardScanEnd& end)
{
    RecordEffect effect = JudgeDatabaseElement(query, element, record, end.scan);
    if (effect == kRecordAccepted) {
        end.accepted = true;
        end.acceptedLevel = record.pixelShaderLevel;
    }
    return effect;
}

int VideoCardLookupResult(Direct3DFlavour flavour, const VideoCardScanEnd& end, WideString& alternates)
{
    if (!end.documentObject)
        return -1;
    if (end.accepted)
        return end.acceptedLevel;
    return FinishVideoCardScanFor(flavour, end.scan, alternates);
}
