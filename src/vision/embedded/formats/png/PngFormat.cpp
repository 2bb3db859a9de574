// PNG reading: not built yet.
#include "../Formats.h"

namespace ixv::formats::png {

bool matches(Bytes) {
    return false;
}

std::vector<IconicPtr> read(Bytes) {
    raiseInvalid("PNG", "reading PNG is not built yet");
}

}  // namespace ixv::formats::png
