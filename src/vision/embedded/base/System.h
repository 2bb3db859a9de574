// Process-wide settings of the embedded library (SetSystem / GetSystem).
#pragma once

#include <string>

namespace ixv {

// The "clip_region" setting: whether generated regions are clipped to the image size.
bool systemClipRegion();

// The text GetSystem("version") gives: "20.11 (embedded <project version>)".
std::string systemVersion();

}  // namespace ixv
