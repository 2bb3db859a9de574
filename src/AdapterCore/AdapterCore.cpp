#include "AdapterCore.h"

#include "StringBridge.h"

using namespace HalconCpp;

void AdapterCore::ensureHalconSystemInitialized() {
    try {
        // Regions keep their full extent instead of being cut to an image size.
        SetSystem("clip_region", "false");
    } catch (const HException&) {
        // A reader works without the setting; nothing to report.
    }
}

std::wstring AdapterCore::halconVersion() {
    try {
        HTuple information;
        GetSystem("version", &information);
        if (information.Length() > 0) return oneLine(fromHString(information[0].S()));
    } catch (const HException&) {
    }
    return L"unknown";
}
