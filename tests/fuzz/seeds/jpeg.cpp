// Small JPEG files written by TurboJPEG: gray, colour in several subsamplings,
// progressive, and a CMYK one that the reader refuses.
#include <turbojpeg.h>

#include "Seeds.h"

namespace {

ixseeds::Bytes jpeg(int width, int height, int format, int subsampling, int flags) {
    const int channels = tjPixelSize[format];
    ixseeds::Bytes pixels(static_cast<size_t>(width * height * channels));
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>((i * 37 + i / 7) & 255);
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    ixseeds::Bytes bytes;
    if (tjCompress2(tj, pixels.data(), width, 0, height, format, &out, &size, subsampling, 75, flags) == 0)
        bytes.assign(out, out + size);
    tjFree(out);
    tjDestroy(tj);
    return bytes;
}

}  // namespace

IX_SEEDS(jpeg) {
    add(jpeg(16, 16, TJPF_GRAY, TJSAMP_GRAY, 0));
    add(jpeg(17, 9, TJPF_RGB, TJSAMP_420, 0));
    add(jpeg(24, 8, TJPF_RGB, TJSAMP_422, 0));
    add(jpeg(8, 24, TJPF_RGB, TJSAMP_444, 0));
    add(jpeg(20, 20, TJPF_RGB, TJSAMP_420, TJFLAG_PROGRESSIVE));
    add(jpeg(12, 12, TJPF_GRAY, TJSAMP_GRAY, TJFLAG_PROGRESSIVE));
    add(jpeg(8, 8, TJPF_CMYK, TJSAMP_444, 0));
}
