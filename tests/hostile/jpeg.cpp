// JPEG files that ask for far more memory or decoding time than their size
// justifies.
#include <turbojpeg.h>

#include <cstdio>  // before jpeglib.h
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "Hostile.h"

namespace {

// A gray progressive JPEG of one level: a scan for the DC coefficients, one
// for each AC coefficient, and for each of those `refinements` further scans
// of one more bit. Each scan passes over the whole image and costs a few bytes.
std::string progressive(int side, int refinements) {
    jpeg_compress_struct c;
    jpeg_error_mgr error;
    c.err = jpeg_std_error(&error);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = c.image_height = static_cast<JDIMENSION>(side);
    c.input_components = 1, c.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    std::vector<jpeg_scan_info> scans = {{1, {0}, 0, 0, 0, 0}};
    for (int k = 1; k < 64; ++k) {
        scans.push_back({1, {0}, k, k, 0, refinements});
        for (int al = refinements - 1; al >= 0; --al) scans.push_back({1, {0}, k, k, al + 1, al});
    }
    c.scan_info = scans.data(), c.num_scans = static_cast<int>(scans.size());
    jpeg_start_compress(&c, TRUE);
    const std::vector<uint8_t> row(static_cast<size_t>(side), 128);
    while (c.next_scanline < c.image_height) {
        JSAMPROW p = const_cast<uint8_t*>(row.data());
        jpeg_write_scanlines(&c, &p, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::string jpeg(reinterpret_cast<char*>(out), size);
    free(out);
    return jpeg;
}

// A small colour JPEG whose frame header then claims `width` x `height` pixels.
std::string claiming(int width, int height, int subsampling, int flags) {
    tjhandle tj = tjInitCompress();
    const std::vector<uint8_t> pixels(64 * 64 * 3, 90);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, pixels.data(), 64, 0, 64, TJPF_RGB, &out, &size, subsampling, 85, flags);
    std::string jpeg(reinterpret_cast<char*>(out), size);
    tjFree(out);
    tjDestroy(tj);
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (static_cast<uint8_t>(jpeg[i]) == 0xFF && (jpeg[i + 1] == '\xC0' || jpeg[i + 1] == '\xC2')) {
            jpeg[i + 5] = static_cast<char>(height >> 8), jpeg[i + 6] = static_cast<char>(height);
            jpeg[i + 7] = static_cast<char>(width >> 8), jpeg[i + 8] = static_cast<char>(width);
            break;
        }
    return jpeg;
}

}  // namespace

// 442 scans over 4 million pixels in 25 kB: each scan costs a few bytes and a
// pass over the whole image. Refused once the blocks decoded outgrow the file.
IX_HOSTILE(JpegManyScansOverALargeImage) {
    return {ixhostile::writeFile(dir, "scans.jpg", progressive(2048, 6)), "exceeds the limit of", 64};
}

// 60000 x 30000 colour pixels claimed by a file of a kilobyte.
IX_HOSTILE(JpegFrameBeyondBudget) {
    return {ixhostile::writeFile(dir, "frame.jpg", claiming(60000, 30000, TJSAMP_420, 0)), "exceeds the limit of", 32};
}

// 4000 x 4000 pixels of several scans: the planes alone would fit the budget of
// a small file, but not with the decoder's coefficients of the whole image.
IX_HOSTILE(JpegCoefficientsBeyondBudget) {
    return {ixhostile::writeFile(dir, "coefficients.jpg", claiming(4000, 4000, TJSAMP_444, TJFLAG_PROGRESSIVE)),
            "exceeds the limit of", 32};
}
