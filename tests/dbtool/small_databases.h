// Random small databases whose ids, names and drivers come from small sets, so
// that records collide, and the adapters of that small universe.
#pragma once

#include <windows.h>

#include <random>
#include <string>
#include <vector>

#include "explain.h"

struct SmallUniverse {
    std::mt19937 random;

    explicit SmallUniverse(unsigned seed) : random(seed) {}

    int Pick(int count) { return static_cast<int>(random() % static_cast<unsigned>(count)); }
    bool Chance(int percent) { return Pick(100) < percent; }

    // Ids as a maintainer might write them: plain, with a space or a suffix
    // the reader skips, signed, with leading zeros, or not read at all.
    std::string VendorText()
    {
        const char* texts[] = {"10", "10", "10", "11", "11", " 10", "010", "+11", "10x", "0x0A", "-0", ""};
        return texts[Pick(12)];
    }
    std::string DeviceText()
    {
        const char* texts[] = {"20", "20", "21", "*", "*", "0", "20 rev", " 21", "-1", "*x", "0"};
        return texts[Pick(11)];
    }
    std::string Name() { return Pick(3) == 0 ? "B" : "A"; }
    std::string Driver()
    {
        const char* texts[] = {"1.0.0000.1", "1.0.0000.2", "1.0.0000.3", "2.0.0000.1", "1.0.0.4", ""};
        return texts[Pick(6)];
    }

    std::string Record()
    {
        std::string text = Chance(50) ? "<Card" : "<Driver";
        auto add = [&](const char* name, const std::string& value) {
            text += std::string(" ") + name + "=\"" + value + "\"";
        };
        if (Chance(75))
            add("ManufacturerID", VendorText());
        if (Chance(70))
            add("DeviceID", DeviceText());
        if (Chance(35))
            add("CardName", Name());
        if (Chance(75))
            add("DriverVersion", Driver());
        if (Chance(50)) {
            const char* levels[] = {"0", "1", "2", "3", "3", "-1", "-3"};
            add("PixelShaderVersion", levels[Pick(7)]);
        }
        if (Chance(45)) {
            const char* lists[] = {"true", "true", "not_recommended", "True", ""};
            add("BlackList", lists[Pick(5)]);
        }
        return text + "/>";
    }

    // Enough acceptable vendor-wide drivers to fill the candidate list.
    std::string CandidateRun()
    {
        std::string text;
        const char* drivers[] = {"1.0.0000.1", "1.0.0000.2", "2.0.0000.1"};
        std::string vendor = Chance(50) ? "10" : "11";
        for (int i = 29 + Pick(5); i > 0; --i)
            text += "<Driver ManufacturerID=\"" + vendor +
                    "\" DeviceID=\"*\" DriverVersion=\"" + drivers[Pick(3)] + "\" PixelShaderVersion=\"" +
                    std::to_string(i % 4) + "\"/>\n";
        return text;
    }

    // A database of `records` random records, some nested.
    std::string Database(int records)
    {
        std::string xml = "<?xml version=\"1.0\"?>\n<VideoCardDB>\n";
        int run = Chance(12) ? Pick(records) : -1;
        for (int i = 0; i < records; ++i) {
            if (i == run)
                xml += CandidateRun();
            if (Chance(15)) {
                xml += "<Vendor Name=\"v\">" + Record() + Record() + "</Vendor>\n";
                ++i;
            } else {
                xml += Record() + "\n";
            }
        }
        return xml + "</VideoCardDB>\n";
    }

    // Every adapter and driver of the universe: each id, name and driver the
    // records can use, and one of each that no record names.
    static std::vector<AdapterIdentity> Adapters()
    {
        std::vector<AdapterIdentity> adapters;
        const DWORD vendors[] = {0, 10, 11, 12};
        const DWORD devices[] = {0, 20, 21, 22};
        const wchar_t* names[] = {L"A", L"B", L"C"};
        const wchar_t* drivers[] = {L"1.0.0000.1", L"1.0.0000.2", L"1.0.0000.3", L"2.0.0000.1", L"1.0.0.4",
                                    L"9.9.9999.9"};
        for (DWORD vendor : vendors)
            for (DWORD device : devices)
                for (const wchar_t* name : names)
                    for (const wchar_t* driver : drivers) {
                        AdapterIdentity adapter;
                        adapter.vendorId = vendor;
                        adapter.deviceId = device;
                        adapter.cardName = name;
                        adapter.driverVersion = driver;
                        adapters.push_back(adapter);
                    }
        return adapters;
    }
};
