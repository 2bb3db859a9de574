// TIFF reading: not built yet.
#include "../Formats.h"

namespace ixv::formats::tiff {

bool matches(Bytes) {
    return false;
}

std::vector<IconicPtr> read(Bytes) {
    raiseInvalid("TIFF", "reading TIFF is not built yet");
}

}  // namespace ixv::formats::tiff
