// BMP reading: not built yet.
#include "../Formats.h"

namespace ixv::formats::bmp {

bool matches(Bytes) {
    return false;
}

std::vector<IconicPtr> read(Bytes) {
    raiseInvalid("BMP", "reading BMP is not built yet");
}

}  // namespace ixv::formats::bmp
