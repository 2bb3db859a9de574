// JPEG reading: not built yet.
#include "../Formats.h"

namespace ixv::formats::jpeg {

bool matches(Bytes) {
    return false;
}

std::vector<IconicPtr> read(Bytes) {
    raiseInvalid("JPEG", "reading JPEG is not built yet");
}

}  // namespace ixv::formats::jpeg
