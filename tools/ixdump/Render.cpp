#include "Render.h"

#include "ReplacingFile.h"

#include <spng.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "DrawingRule.h"

namespace {

using drawing::Rgb;

using Point = std::pair<double, double>;  // row, column
using Line = std::vector<Point>;

// One object's geometry, as the extraction functions give it.
struct Shape {
    std::vector<int32_t> rows, begins, ends;  // a region's runs
    std::vector<Line> lines;                  // a contour, a polygon, a parallel's two lines
    size_t colour = 0;                        // its entry of the palette
};

template <class T, void (*Free)(T*)>
struct Owned {
    T* data = nullptr;
    ~Owned() { Free(data); }
};
using Ints = Owned<int32_t, ix_free_int_buffer>;
using Doubles = Owned<double, ix_free_double_buffer>;

std::wstring lastError(ReaderHandle* reader, const wchar_t* what) {
    const wchar_t* text = ix_reader_last_error(reader);
    return text && *text ? std::wstring(text) : std::wstring(what);
}

Line lineOf(const double* rows, const double* cols, int32_t count) {
    Line line;
    line.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int32_t i = 0; i < count; ++i) line.emplace_back(rows[i], cols[i]);
    return line;
}

// The shape of object `index` of `node`; false with `error` set when the
// library refuses it. Objects of classes that are not geometry give no shape.
bool extractShape(ReaderHandle* reader, const NativeNode* node, int32_t index, Shape& shape, std::wstring& error) {
    const std::wstring objectClass = ix_node_object_class(node);
    bool ok = true;
    if (objectClass == L"region") {
        Ints rows, begins, ends;
        int32_t count = 0;
        ok = ix_extract_region_runs(reader, node, index, &rows.data, &begins.data, &ends.data, &count);
        if (ok) {
            shape.rows.assign(rows.data, rows.data + count);
            shape.begins.assign(begins.data, begins.data + count);
            shape.ends.assign(ends.data, ends.data + count);
        }
    } else if (objectClass == L"xld_cont" || objectClass == L"xld_poly") {
        Doubles rows, cols;
        int32_t count = 0;
        ok = objectClass == L"xld_cont" ? ix_extract_contour_points(reader, node, index, &rows.data, &cols.data, &count)
                                        : ix_extract_polygon_points(reader, node, index, &rows.data, &cols.data, &count);
        if (ok) shape.lines.push_back(lineOf(rows.data, cols.data, count));
    } else if (objectClass == L"xld_parallel") {
        Doubles rows1, cols1, rows2, cols2;
        int32_t count1 = 0, count2 = 0;
        ok = ix_extract_parallel_lines(reader, node, index, &rows1.data, &cols1.data, &count1, &rows2.data, &cols2.data,
                                       &count2);
        if (ok) {
            shape.lines.push_back(lineOf(rows1.data, cols1.data, count1));
            shape.lines.push_back(lineOf(rows2.data, cols2.data, count2));
        }
    }
    if (!ok) error = lastError(reader, L"the library could not extract the geometry");
    return ok;
}

struct Canvas {
    int64_t width = 0, height = 0;
    double originRow = 0, originCol = 0;  // the image coordinates of pixel (0, 0)
    std::vector<uint8_t> rgb;

    void allocate(int64_t w, int64_t h, Rgb fill) {
        width = w;
        height = h;
        rgb.resize(static_cast<size_t>(w * h * 3));
        for (size_t i = 0; i < rgb.size(); i += 3) {
            rgb[i] = fill.r;
            rgb[i + 1] = fill.g;
            rgb[i + 2] = fill.b;
        }
    }
    // Mixes `colour` into pixel (r, c) of the canvas with weight `alpha` of 255.
    void blend(int64_t r, int64_t c, Rgb colour, int alpha) {
        if (r < 0 || c < 0 || r >= height || c >= width) return;
        uint8_t* p = &rgb[static_cast<size_t>((r * width + c) * 3)];
        p[0] = static_cast<uint8_t>((colour.r * alpha + p[0] * (255 - alpha) + 127) / 255);
        p[1] = static_cast<uint8_t>((colour.g * alpha + p[1] * (255 - alpha) + 127) / 255);
        p[2] = static_cast<uint8_t>((colour.b * alpha + p[2] * (255 - alpha) + 127) / 255);
    }
};

// The first image of `node` as the canvas, composed over the backdrop where
// its alpha says the domain ends.
bool drawImage(ReaderHandle* reader, const NativeNode* node, Canvas& canvas, std::wstring& error) {
    int32_t width = 0, height = 0, rowBytes = 0, format = 0;
    Owned<uint8_t, ix_free_buffer> pixels;
    if (!ix_extract_image(reader, node, 0, &width, &height, &rowBytes, &format, &pixels.data)) {
        error = lastError(reader, L"the image cannot be drawn (it has 2 or more than 4 channels)");
        return false;
    }
    canvas.allocate(width, height, drawing::kOutsideDomain);
    for (int64_t r = 0; r < height; ++r) {
        const uint8_t* row = pixels.data + r * rowBytes;
        for (int64_t c = 0; c < width; ++c) {
            if (format == IX_PIXEL_GRAY) {
                canvas.blend(r, c, {row[c], row[c], row[c]}, 255);
            } else if (format == IX_PIXEL_BGR) {
                const uint8_t* p = row + c * 3;
                canvas.blend(r, c, {p[2], p[1], p[0]}, 255);
            } else {
                const uint8_t* p = row + c * 4;
                canvas.blend(r, c, {p[2], p[1], p[0]}, p[3]);
            }
        }
    }
    return true;
}

// Clips the segment a-b to the canvas (Liang-Barsky), in canvas coordinates;
// false when nothing of it is on the canvas.
bool clip(const Canvas& canvas, Point& a, Point& b) {
    double t0 = 0, t1 = 1;
    const double dr = b.first - a.first, dc = b.second - a.second;
    const double p[4] = {-dr, dr, -dc, dc};
    const double q[4] = {a.first + 0.5, canvas.height - 0.5 - a.first, a.second + 0.5, canvas.width - 0.5 - a.second};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0) {
            if (q[k] < 0) return false;
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
    b = {a.first + t1 * dr, a.second + t1 * dc};
    a = {a.first + t0 * dr, a.second + t0 * dc};
    return true;
}

// The segment a-b in canvas coordinates.
void drawCanvasSegment(Canvas& canvas, Point a, Point b, Rgb colour) {
    if (!std::isfinite(b.first - a.first) || !std::isfinite(b.second - a.second)) {
        // Longer than a double holds: drawn in two halves, split where no sum overflows.
        const Point middle = {a.first / 2 + b.first / 2, a.second / 2 + b.second / 2};
        drawCanvasSegment(canvas, a, middle, colour);
        drawCanvasSegment(canvas, middle, b, colour);
        return;
    }
    if (!clip(canvas, a, b)) return;
    int64_t r0 = std::llround(a.first), c0 = std::llround(a.second);
    const int64_t r1 = std::llround(b.first), c1 = std::llround(b.second);
    const int64_t dr = std::llabs(r1 - r0), dc = -std::llabs(c1 - c0);
    const int64_t sr = r0 < r1 ? 1 : -1, sc = c0 < c1 ? 1 : -1;
    int64_t err = dr + dc;
    for (;;) {
        canvas.blend(r0, c0, colour, 255);
        if (r0 == r1 && c0 == c1) break;
        const int64_t twice = 2 * err;
        if (twice >= dc) {
            err += dc;
            r0 += sr;
        }
        if (twice <= dr) {
            err += dr;
            c0 += sc;
        }
    }
}

void drawSegment(Canvas& canvas, Point a, Point b, Rgb colour) {
    a = {a.first - canvas.originRow, a.second - canvas.originCol};
    b = {b.first - canvas.originRow, b.second - canvas.originCol};
    if (std::isfinite(a.first) && std::isfinite(a.second) && std::isfinite(b.first) && std::isfinite(b.second))
        drawCanvasSegment(canvas, a, b, colour);
}

void drawRuns(Canvas& canvas, const Shape& shape, Rgb colour) {
    for (size_t i = 0; i < shape.rows.size(); ++i) {
        const int64_t r = shape.rows[i] - static_cast<int64_t>(canvas.originRow);
        const int64_t origin = static_cast<int64_t>(canvas.originCol);
        const int64_t first = std::max<int64_t>(shape.begins[i] - origin, 0);
        const int64_t last = std::min<int64_t>(shape.ends[i] - origin, canvas.width - 1);
        for (int64_t c = first; c <= last; ++c) canvas.blend(r, c, colour, drawing::kRegionAlpha);
    }
}

void drawLines(Canvas& canvas, const Shape& shape, Rgb colour) {
    for (const Line& line : shape.lines) {
        if (line.size() == 1) drawSegment(canvas, line[0], line[0], colour);
        for (size_t i = 1; i < line.size(); ++i) drawSegment(canvas, line[i - 1], line[i], colour);
    }
}

// A canvas covering every shape with the rule's margin.
bool extentCanvas(const std::vector<Shape>& shapes, Canvas& canvas, std::wstring& error) {
    double top = INFINITY, left = INFINITY, bottom = -INFINITY, right = -INFINITY;
    auto cover = [&](double r, double c) {
        if (!std::isfinite(r) || !std::isfinite(c)) return;
        top = std::min(top, r);
        bottom = std::max(bottom, r);
        left = std::min(left, c);
        right = std::max(right, c);
    };
    for (const Shape& shape : shapes) {
        for (size_t i = 0; i < shape.rows.size(); ++i) {
            cover(shape.rows[i], shape.begins[i]);
            cover(shape.rows[i], shape.ends[i]);
        }
        for (const Line& line : shape.lines)
            for (const Point& p : line) cover(p.first, p.second);
    }
    if (top > bottom) {
        error = L"nothing to draw: the node holds no image and no geometry with points";
        return false;
    }
    // Beyond this, pixels are coarser than the rounding of the coordinates.
    constexpr double kMaxCoordinate = 1e15;
    if (std::max({-top, bottom, -left, right}) > kMaxCoordinate) {
        error = L"the geometry lies too far from the origin to draw without an image";
        return false;
    }
    canvas.originRow = std::floor(top) - drawing::kMargin;
    canvas.originCol = std::floor(left) - drawing::kMargin;
    const double height = std::ceil(bottom) + drawing::kMargin + 1 - canvas.originRow;
    const double width = std::ceil(right) + drawing::kMargin + 1 - canvas.originCol;
    if (height > drawing::kMaxExtentSide || width > drawing::kMaxExtentSide) {
        error = L"the geometry spans more than " + std::to_wstring(drawing::kMaxExtentSide) +
                L" pixels a side, too large to draw without an image";
        return false;
    }
    canvas.allocate(static_cast<int64_t>(width), static_cast<int64_t>(height), drawing::kExtentBackdrop);
    return true;
}

// A text of the system or of an encoder, ASCII, as a wide string.
std::wstring wideText(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// spng's output: the bytes go to the file.
int writeTo(spng_ctx*, void* user, void* data, size_t length) {
    return static_cast<ixfile::ReplacingFile*>(user)->write(data, length) ? 0 : SPNG_IO_ERROR;
}

enum class Format { Png, Jpeg, Other };

Format formatOf(const std::string& path) {
    const size_t dot = path.find_last_of("./");
    std::string suffix = dot == std::string::npos || path[dot] != '.' ? "" : path.substr(dot + 1);
    for (char& c : suffix) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return suffix == "png" ? Format::Png : suffix == "jpg" || suffix == "jpeg" ? Format::Jpeg : Format::Other;
}

// The canvas as JPEG bytes (quality 95, colours at full resolution so that
// thin lines keep theirs); empty when the encoder refuses.
std::vector<uint8_t> encodeJpeg(const Canvas& canvas) {
    std::unique_ptr<void, int (*)(tjhandle)> encoder(tjInitCompress(), tjDestroy);
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> jpeg;
    if (encoder && tjCompress2(encoder.get(), canvas.rgb.data(), static_cast<int>(canvas.width), 0,
                               static_cast<int>(canvas.height), TJPF_RGB, &bytes, &size, TJSAMP_444, 95, 0) == 0)
        jpeg.assign(bytes, bytes + size);
    tjFree(bytes);
    return jpeg;
}

// Writes the canvas as PNG or JPEG, by the suffix of `path`, as the library's
// writers write their files: through a temporary file beside `path`, which
// replaces `path` only once it is complete (a failed write leaves no file and
// the old picture in place). An existing `path` must be a regular file that may
// be written to; it keeps its permission bits, and a symbolic link stays a link
// to the new picture.
bool writePicture(const Canvas& canvas, const std::string& path, std::wstring& error) {
    std::vector<uint8_t> jpeg;
    if (formatOf(path) == Format::Jpeg && (jpeg = encodeJpeg(canvas)).empty()) {
        error = L"the JPEG encoder refused the picture";
        return false;
    }
    ixfile::ReplacingFile file;
    if (!file.open(path)) {
        error = wideText(file.error());
        return false;
    }
    int status = 0;
    if (jpeg.empty()) {
        std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> png(spng_ctx_new(SPNG_CTX_ENCODER), spng_ctx_free);
        spng_ihdr header{};
        header.width = static_cast<uint32_t>(canvas.width);
        header.height = static_cast<uint32_t>(canvas.height);
        header.bit_depth = 8;
        header.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
        status = png ? spng_set_png_stream(png.get(), writeTo, &file) : SPNG_EMEM;
        if (!status) status = spng_set_ihdr(png.get(), &header);
        if (!status) status = spng_encode_image(png.get(), canvas.rgb.data(), canvas.rgb.size(), SPNG_FMT_PNG,
                                                SPNG_ENCODE_FINALIZE);
    } else if (!file.write(jpeg.data(), jpeg.size())) {
        status = SPNG_IO_ERROR;
    }
    if (status) {
        // A failed write (a full disk) is the file's error, whatever spng made of it.
        error = file.error().empty() ? L"the PNG encoder refused the picture: " + wideText(spng_strerror(status))
                                     : wideText(file.error());
        return false;
    }
    if (!file.commit()) {
        error = wideText(file.error());
        return false;
    }
    return true;
}

constexpr size_t kColours = sizeof drawing::kPalette / sizeof drawing::kPalette[0];

// The palette entry of object `object` of `node`, the same wherever the node is
// drawn: its position when its path segment is "[i]", else a hash (32-bit
// FNV-1a over the code points) of the segment, plus the object's index.
size_t colourIndex(const NativeNode* node, int32_t object) {
    const std::wstring segment = ix_node_path_segment(node);
    uint64_t key = 2166136261u;
    const bool position = segment.size() > 2 && segment.front() == L'[' && segment.back() == L']' &&
                          std::all_of(segment.begin() + 1, segment.end() - 1, [](wchar_t c) { return c >= L'0' && c <= L'9'; });
    if (position) {
        key = 0;
        for (size_t i = 1; i + 1 < segment.size(); ++i) key = (key * 10 + static_cast<uint64_t>(segment[i] - L'0')) % kColours;
    } else {
        for (wchar_t c : segment) key = static_cast<uint32_t>((key ^ static_cast<uint32_t>(c)) * 16777619u);
    }
    return (key % kColours + static_cast<size_t>(object)) % kColours;
}

bool isGeometry(const NativeNode* node) {
    const std::wstring objectClass = ix_node_object_class(node);
    return objectClass == L"region" || objectClass == L"xld_cont" || objectClass == L"xld_poly" ||
           objectClass == L"xld_parallel";
}

// The case of the drawing rule that covers `node`; null for nodes nothing draws.
const drawing::Case* caseOf(const NativeNode* node) {
    const IxNodeKind kind = ix_node_kind(node);
    drawing::Node covered;
    if (kind == IxNodeKind::Container || kind == IxNodeKind::Array)
        covered = drawing::Node::Container;
    else if (kind == IxNodeKind::Object && ix_node_is_image(node))
        covered = drawing::Node::Image;
    else if (kind == IxNodeKind::Object && isGeometry(node))
        covered = drawing::Node::Geometry;
    else
        return nullptr;
    for (const drawing::Case& rule : drawing::kCases)
        if (rule.node == covered) return &rule;
    return nullptr;
}

// The Object nodes among the first children of `node`.
std::vector<const NativeNode*> objectChildren(const NativeNode* node) {
    std::vector<const NativeNode*> objects;
    const int32_t count = node ? std::min(ix_node_child_count(node), drawing::kMaxChildren) : 0;
    for (int32_t i = 0; i < count; ++i)
        if (ix_node_kind(ix_node_child_at(node, i)) == IxNodeKind::Object) objects.push_back(ix_node_child_at(node, i));
    return objects;
}

const NativeNode* firstImage(const std::vector<const NativeNode*>& objects) {
    for (const NativeNode* object : objects)
        if (ix_node_is_image(object)) return object;
    return nullptr;
}

}  // namespace

bool renderNode(ReaderHandle* reader, const NativeNode* node, const NativeNode* parent, const std::string& out,
                std::wstring& error) {
    if (formatOf(out) == Format::Other) {
        error = L"--out names the picture to write: a .png or .jpg/.jpeg file";
        return false;
    }
    const drawing::Case* rule = caseOf(node);
    const std::vector<const NativeNode*> objects =
        !rule ? std::vector<const NativeNode*>{}
              : rule->draws == drawing::Draws::Self ? std::vector<const NativeNode*>{node} : objectChildren(node);
    std::vector<Shape> shapes;
    for (const NativeNode* object : objects) {
        if (ix_node_is_image(object)) continue;
        for (int32_t i = 0; i < ix_node_object_count(object); ++i) {
            Shape shape;
            if (!extractShape(reader, object, i, shape, error)) return false;
            shape.colour = colourIndex(object, i);
            if (!shape.rows.empty() || !shape.lines.empty()) shapes.push_back(std::move(shape));
        }
    }
    const NativeNode* background = nullptr;
    bool extent = false;
    for (int k = 0; rule && k < rule->overCount && !background && !extent; ++k) {
        switch (rule->over[k]) {
        case drawing::Over::Self: background = ix_node_is_image(node) ? node : nullptr; break;
        case drawing::Over::Children: background = firstImage(objects); break;
        case drawing::Over::Siblings: background = firstImage(objectChildren(parent)); break;
        case drawing::Over::Extent: extent = true; break;
        }
    }
    if (!background && !extent) {
        error = L"nothing to draw: the node holds no image and no geometry with points";
        return false;
    }
    Canvas canvas;
    if (background ? !drawImage(reader, background, canvas, error) : !extentCanvas(shapes, canvas, error))
        return false;
    // Every region first, then every line, so that no translucent fill dims a line.
    for (const Shape& shape : shapes) drawRuns(canvas, shape, drawing::kPalette[shape.colour]);
    for (const Shape& shape : shapes) drawLines(canvas, shape, drawing::kPalette[shape.colour]);
    return writePicture(canvas, out, error);
}
