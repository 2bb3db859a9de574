// JPEG files that ask for far more memory or decoding time than their size
// justifies.
#include "Hostile.h"
#include "JpegWriter.h"

using namespace ixtest::jpeg;

// 442 scans over 4 million pixels in 25 kB: each scan costs a few bytes and a
// pass over the whole image. Refused once the blocks decoded outgrow the file.
IX_HOSTILE(JpegManyScansOverALargeImage) {
    return {ixhostile::writeFile(dir, "scans.jpg", progressiveWithScans(2048, 2048, 6, true)),
            " scans of a 2048 x 2048 image (", 64};
}

// 60000 x 30000 colour pixels claimed by a file of a kilobyte.
IX_HOSTILE(JpegFrameBeyondBudget) {
    return {ixhostile::writeFile(dir, "frame.jpg", claiming(compress(64, 64, TJPF_RGB, TJSAMP_420), 60000, 30000)),
            "image of 60000 x 30000 pixels x 3 channels of byte exceeds the limit of", 32};
}

// 4000 x 4000 pixels of several scans: the planes alone would fit the budget of
// a small file, but not with the decoder's coefficients of the whole image.
IX_HOSTILE(JpegCoefficientsBeyondBudget) {
    const Bytes jpeg = claiming(compress(64, 64, TJPF_RGB, TJSAMP_444, TJFLAG_PROGRESSIVE), 4000, 4000);
    return {ixhostile::writeFile(dir, "coefficients.jpg", jpeg),
            "coefficients of a JPEG of 4000 x 4000 pixels in several scans exceeds the limit of", 32};
}
