// The one table of the embedded library's file formats. Adding a format: its
// folder, and a line here.
#include <strings.h>

#include "formats/Formats.h"
#include "formats/bmp/BmpFormat.h"
#include "formats/dxf/DxfFormat.h"
#include "formats/hdict/HdictFormat.h"
#include "formats/hobj/HobjFormat.h"
#include "formats/jpeg/JpegFormat.h"
#include "formats/obj/ObjFormat.h"
#include "formats/off/OffFormat.h"
#include "formats/om3/Om3Format.h"
#include "formats/ply/PlyFormat.h"
#include "formats/stl/StlFormat.h"
#include "formats/json/JsonFormat.h"
#include "formats/onnx/OnnxFormat.h"
#include "formats/png/PngFormat.h"
#include "formats/pnm/PnmFormat.h"
#include "formats/tiff/TiffFormat.h"

namespace ixv::formats {

const std::vector<Format>& formats() {
    using H = Holds;
    // Expansion, the most output bytes one byte of the file can honestly give:
    // deflate's ratio times eight for one-bit samples widened to bytes (PNG);
    // 2048 pixels of three bytes (JPEG, whose reader also bounds the work of
    // many scans); any codec TIFF decodes, fax included (TIFF); RLE runs of 255 pixels
    // of three bytes for two bytes of data, rounded up (BMP); one-bit samples
    // widened to bytes (PNM); pixels, runs and points are stored as they are held,
    // so object files get room for the memory of many small objects, not more
    // (a file of nothing but empty regions, 24 bytes each, is refused);
    // in a dictionary file one byte, a null handle in a mixed tuple, becomes a
    // 40-byte tuple element (measured: 40.0 bytes of memory per byte of such a
    // file; two million keys each holding a one-element tuple, 12.6).
    // JSON's worst is [[],[],...] read with arrays as dictionaries: three bytes
    // become an entry (88 bytes twice: in the list of its level and in the
    // dictionary), an empty dictionary (96) and the one-element tuple of its
    // handle (160), 144 bytes per byte,
    // plus 1 per byte for the text. Measured peak
    // memory per byte of a file of a million elements: 144 for [[],[],...], 61
    // for [0.5,0.5,...], 49 for [0,0,...] (small integers share one tuple).
    // DXF is only written, never read.
    // ONNX: an input or output of two bytes becomes a dictionary of three
    // keys, charged 1024 bytes (measured: 1002 bytes of memory each, 501 per
    // byte of a file of nothing else); tensor payloads are skipped, never held.
    // clang-format off
    static const std::vector<Format> table = {
        // name     suffixes           holds             expansion                 matches         readImage        readObjects
        {"PNG",    "png",             H::Images,        Limits::inflateRatio * 8, png::matches,   png::readImage,  nullptr,
         nullptr, png::writeImage},
        {"JPEG",   "jpg jpeg",        H::Images,        6144,                     jpeg::matches,  jpeg::readImage, nullptr,
         nullptr, jpeg::writeImage},
        {"TIFF",   "tif tiff",        H::Images,        65536,                    tiff::matches,  tiff::readImage, nullptr,
         nullptr, tiff::writeImage},
        {"BMP",    "bmp",             H::Images,        512,                      bmp::matches,   bmp::readImage,  nullptr,
         nullptr, bmp::writeImage},
        {"PNM",    "pnm pgm ppm pbm", H::Images,        8,                        pnm::matches,   pnm::readImage,  nullptr,
         nullptr, pnm::writeImage},
        {"object", "hobj",            H::IconicObjects, 16,                       hobj::matches,  hobj::readImage, hobj::readObjects,
         nullptr, hobj::writeImage, hobj::writeObjects},
        {"JSON",   "json",            H::Dictionary,    160,                      json::matches,  nullptr,         nullptr,
         json::readHandle, nullptr, nullptr, json::writeHandle},
        {"dictionary", "hdict",        H::Dictionary,    40,                       hdict::matches, nullptr,         nullptr,
         hdict::readHandle, nullptr, nullptr, hdict::writeHandle},
        // 3D object models: binary PLY gives 8 bytes of attribute per byte of a
        // char property; OBJ counts tinyobjloader's own arrays (ObjFormat.cpp).
        {"PLY",    "ply",             H::ObjectModel3d, 16,                       ply::matches,   nullptr,         nullptr,
         ply::readHandle, nullptr, nullptr, ply::writeHandle},
        {"OFF",    "off",             H::ObjectModel3d, 8,                        off::matches,   nullptr,         nullptr,
         off::readHandle},
        {"STL",    "stl",             H::ObjectModel3d, 4,                        nullptr,        nullptr,         nullptr,
         stl::readHandle},
        {"OBJ",    "obj",             H::ObjectModel3d, 64,                       nullptr,        nullptr,         nullptr,
         obj::readHandle},
        {"3D object model", "om3",     H::ObjectModel3d, 16,                       om3::matches,   nullptr,         nullptr,
         om3::readHandle, nullptr, nullptr, om3::writeHandle},
        {"DXF",    "dxf",             H::Xld,           0,                        nullptr,        nullptr,         nullptr,
         nullptr, nullptr, dxf::writeObjects},
        {"ONNX",   "onnx",            H::DlModel,       512,                      onnx::matches,  nullptr,         nullptr,
         onnx::readHandle},
    };
    // clang-format on
    return table;
}

bool Format::hasSuffix(const std::string& suffix) const {
    const char* at = suffixes;
    while (*at) {
        const char* end = at;
        while (*end && *end != ' ') ++end;
        if (static_cast<size_t>(end - at) == suffix.size() && ::strncasecmp(at, suffix.c_str(), suffix.size()) == 0)
            return true;
        at = *end ? end + 1 : end;
    }
    return false;
}

const Format* formatOf(const uint8_t* head, size_t size) {
    for (const Format& format : formats())
        if (format.matches && format.matches(head, size)) return &format;
    return nullptr;
}

}  // namespace ixv::formats
