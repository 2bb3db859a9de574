// JPEG files for the tests, the fuzz seeds and the hostile cases, written by
// TurboJPEG, or by libjpeg for progressive files of a chosen scan script.
#pragma once

#include <turbojpeg.h>

#include <cstdint>
#include <cstdio>  // before jpeglib.h
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace ixtest::jpeg {

using Bytes = std::vector<uint8_t>;

// A picture with edges and texture, so that subsampling matters; of one level when `flat`.
inline Bytes picture(int width, int height, int channels, bool flat = false) {
    Bytes pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                pixels.push_back(flat ? 128 : uint8_t(x * 7 + y * 3 + c * 80 + ((x / 5 + y / 3) % 2) * 90 + (x * y) % 13));
    return pixels;
}

// The file TurboJPEG writes (TJPF_GRAY, TJPF_RGB, TJPF_CMYK; TJSAMP_*; TJFLAG_*); empty when it refuses.
inline Bytes compress(int width, int height, int format, int subsampling, int flags = 0, bool flat = false) {
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const Bytes pixels = picture(width, height, tjPixelSize[format], flat);
    Bytes jpeg;
    if (tjCompress2(tj, pixels.data(), width, 0, height, format, &out, &size, subsampling, 85, flags) == 0)
        jpeg.assign(out, out + size);
    tjFree(out);
    tjDestroy(tj);
    return jpeg;
}

// Sets the frame header's size: a small file claiming a large image.
inline Bytes claiming(Bytes jpeg, int width, int height) {
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            const uint8_t size[4] = {uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width)};
            std::copy(size, size + 4, jpeg.begin() + static_cast<long>(i) + 5);
            break;
        }
    return jpeg;
}

// A gray progressive JPEG with a scan for the DC coefficients, one for each AC
// coefficient, and for each of those `refinements` further scans of one more bit;
// of the test picture, or of one level, which costs a few bytes per scan.
inline Bytes progressiveWithScans(int width, int height, int refinements, bool flat = false) {
    jpeg_compress_struct c;
    jpeg_error_mgr error;
    c.err = jpeg_std_error(&error);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(width), c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = 1, c.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    std::vector<jpeg_scan_info> scans = {{1, {0}, 0, 0, 0, 0}};
    for (int k = 1; k < 64; ++k) {
        scans.push_back({1, {0}, k, k, 0, refinements});
        for (int al = refinements - 1; al >= 0; --al) scans.push_back({1, {0}, k, k, al + 1, al});
    }
    c.scan_info = scans.data(), c.num_scans = static_cast<int>(scans.size());
    jpeg_start_compress(&c, TRUE);
    const Bytes pixels = picture(width, height, 1, flat);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(pixels.data()) + c.next_scanline * static_cast<size_t>(width);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes jpeg(out, out + size);
    free(out);
    return jpeg;
}

}  // namespace ixtest::jpeg
