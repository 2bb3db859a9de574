// The DXF writer. A DXF file is a list of group pairs, each a line with the
// group code and a line with its value. Numbers are written in their shortest
// exact form, whatever the locale.
#include "formats/dxf/DxfFormat.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "base/Errors.h"

namespace ixv::formats::dxf {

namespace {

// Collects the text and hands it to the sink in large pieces.
class Writer {
public:
    explicit Writer(FileSink& sink) : sink_(sink) { text_.reserve(kChunk + 256); }

    void pair(int code, const char* value) {
        group(code);
        text_ += value;
        text_ += '\n';
        flushIfFull();
    }
    void pair(int code, double value) {
        group(code);
        char buffer[32];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
        text_.append(buffer, end);
        text_ += '\n';
        flushIfFull();
    }
    void flush() {
        sink_.write(text_.data(), text_.size());
        text_.clear();
    }

private:
    static constexpr size_t kChunk = 1 << 16;

    // Group codes right-aligned in three columns, as AutoCAD writes them.
    void group(int code) {
        char buffer[16];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, code).ptr;
        text_.append(static_cast<size_t>(3 - std::min<ptrdiff_t>(3, end - buffer)), ' ');
        text_.append(buffer, end);
        text_ += '\n';
    }
    void flushIfFull() {
        if (text_.size() >= kChunk) flush();
    }

    FileSink& sink_;
    std::string text_;
};

const Polyline& pointsOf(const IconicPtr& object) {
    if (const auto* contour = dynamic_cast<const Contour*>(object.get())) return contour->points;
    if (const auto* polygon = dynamic_cast<const Polygon*>(object.get())) return polygon->points;
    raise("write_contour_xld_dxf", err::WrongObjectClass,
          std::string("expected xld_cont or xld_poly, got ") + object->className());
}

// Closed: at least two points and the last one equal to the first.
bool isClosed(const Polyline& line) {
    const size_t n = line.size();
    return n >= 2 && line.rows[0] == line.rows[n - 1] && line.columns[0] == line.columns[n - 1];
}

void writePolyline(Writer& out, const Polyline& line) {
    out.pair(0, "POLYLINE");
    out.pair(8, "0");
    out.pair(66, "1");
    // The polyline's own point carries only its elevation.
    out.pair(10, 0.0);
    out.pair(20, 0.0);
    out.pair(30, 0.0);
    out.pair(70, isClosed(line) ? "1" : "0");
    for (size_t i = 0; i < line.size(); ++i) {
        out.pair(0, "VERTEX");
        out.pair(8, "0");
        out.pair(10, line.columns[i]);
        out.pair(20, line.rows[i]);
        out.pair(30, 0.0);
    }
    out.pair(0, "SEQEND");
    out.pair(8, "0");
}

}  // namespace

void writeObjects(const std::vector<IconicPtr>& objects, FileSink& sink) {
    Writer out(sink);
    out.pair(0, "SECTION");
    out.pair(2, "HEADER");
    out.pair(9, "$ACADVER");
    out.pair(1, "AC1009");
    out.pair(0, "ENDSEC");
    out.pair(0, "SECTION");
    out.pair(2, "ENTITIES");
    for (const IconicPtr& object : objects) writePolyline(out, pointsOf(object));
    out.pair(0, "ENDSEC");
    out.pair(0, "EOF");
    out.flush();
}

}  // namespace ixv::formats::dxf
