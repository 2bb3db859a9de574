// Small JPEG files written by TurboJPEG: gray, colour in two subsamplings,
// progressive, one of many scans, and a CMYK one that the reader refuses.
#include "JpegWriter.h"
#include "Seeds.h"

using namespace ixtest::jpeg;

IX_SEEDS(jpeg) {
    add(compress(16, 16, TJPF_GRAY, TJSAMP_GRAY));
    add(compress(17, 9, TJPF_RGB, TJSAMP_420));
    add(compress(8, 24, TJPF_RGB, TJSAMP_444));
    add(compress(20, 20, TJPF_RGB, TJSAMP_420, TJFLAG_PROGRESSIVE));
    add(compress(8, 8, TJPF_CMYK, TJSAMP_444));
    add(progressiveWithScans(16, 8, 1));
}
