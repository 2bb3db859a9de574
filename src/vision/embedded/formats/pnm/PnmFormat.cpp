// PNM reading: not built yet.
#include "../Formats.h"

namespace ixv::formats::pnm {

bool matches(Bytes) {
    return false;
}

std::vector<IconicPtr> read(Bytes) {
    raiseInvalid("PNM", "reading PNM is not built yet");
}

}  // namespace ixv::formats::pnm
