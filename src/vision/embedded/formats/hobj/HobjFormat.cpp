// The embedded object file: a magic and version, then one record per object.
// The layout is specified byte for byte in docs/formats.md; all numbers are
// little-endian.
#include <cstring>

#include "base/Errors.h"
#include "formats/hobj/HobjFormat.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the object file is read and written as little-endian");

namespace ixv::formats::hobj {

namespace {

const uint8_t kMagic[8] = {0x89, 'I', 'X', 'O', 'B', 'J', '\r', '\n'};
constexpr uint32_t kVersion = 1;

enum Tag : uint32_t { kImage = 1, kRegion = 2, kContour = 3, kPolygon = 4, kParallel = 5 };

const PixelType kPixelTypes[] = {PixelType::Byte, PixelType::Int1, PixelType::UInt2, PixelType::Int2,
                                 PixelType::Int4, PixelType::Int8, PixelType::Real};

[[noreturn]] void invalid(const std::string& problem) {
    raiseMessage("read_object", err::FileFormat, "Invalid object file: " + problem);
}

// Bounds-checked reading of the file's bytes; `offset` is reported in messages.
class Cursor {
public:
    Cursor(Bytes bytes, size_t begin, size_t end) : bytes_(bytes), at_(begin), end_(end) {}

    size_t offset() const { return at_; }
    size_t remaining() const { return end_ - at_; }

    const uint8_t* take(size_t n, const char* what) {
        if (n > remaining())
            invalid(std::string("truncated ") + what + " at offset " + std::to_string(at_) + " (needs " +
                    std::to_string(n) + " bytes, " + std::to_string(remaining()) + " left)");
        const uint8_t* p = bytes_.data + at_;
        at_ += n;
        return p;
    }
    template <class T>
    T read(const char* what) {
        T value;
        std::memcpy(&value, take(sizeof(T), what), sizeof(T));
        return value;
    }
    // A count of `itemSize`-byte items that must fit in what is left, and in the limit.
    uint64_t count(size_t itemSize, uint64_t limit, const char* what) {
        const size_t where = at_;
        const uint64_t n = read<uint64_t>(what);
        if (n > limit) invalid(std::string(what) + " count " + std::to_string(n) + " over the limit at offset " + std::to_string(where));
        if (n * itemSize > remaining())
            invalid(std::string(what) + " count " + std::to_string(n) + " exceeds the record at offset " +
                    std::to_string(where));
        return n;
    }

private:
    Bytes bytes_;
    size_t at_;
    size_t end_;
};

std::shared_ptr<const Region> readRegion(Cursor& in) {
    const uint64_t n = in.count(12, kMaxRunsOrPoints, "run");
    std::vector<Run> runs(static_cast<size_t>(n));
    const uint8_t* p = in.take(static_cast<size_t>(n) * 12, "runs");
    for (size_t i = 0; i < runs.size(); ++i, p += 12) {
        int32_t v[3];
        std::memcpy(v, p, 12);
        for (int32_t c : v)
            if (c < -kMaxCoordinate || c > kMaxCoordinate) invalid("run coordinate " + std::to_string(c) + " out of range");
        if (v[1] > v[2]) invalid("a run ends before it begins (row " + std::to_string(v[0]) + ")");
        runs[i] = {v[0], v[1], v[2]};
    }
    return Region::fromRuns(std::move(runs));
}

Polyline readPolyline(Cursor& in) {
    const uint64_t n = in.count(16, kMaxRunsOrPoints, "point");
    Polyline line;
    line.rows.resize(static_cast<size_t>(n));
    line.columns.resize(static_cast<size_t>(n));
    if (n > 0) {
        std::memcpy(line.rows.data(), in.take(static_cast<size_t>(n) * 8, "rows"), static_cast<size_t>(n) * 8);
        std::memcpy(line.columns.data(), in.take(static_cast<size_t>(n) * 8, "columns"), static_cast<size_t>(n) * 8);
    }
    return line;
}

std::shared_ptr<const Image> readImage(Cursor& in) {
    const uint32_t typeCode = in.read<uint32_t>("pixel type");
    if (typeCode >= std::size(kPixelTypes)) invalid("unknown pixel type code " + std::to_string(typeCode));
    const PixelType type = kPixelTypes[typeCode];
    const uint32_t channels = in.read<uint32_t>("channel count");
    const uint32_t width = in.read<uint32_t>("width");
    const uint32_t height = in.read<uint32_t>("height");
    const uint32_t domainFlag = in.read<uint32_t>("domain flag");
    if (in.read<uint32_t>("reserved field") != 0) invalid("reserved image field is not 0");
    if (channels < 1) invalid("an image without channels");
    if (width < 1 || height < 1) invalid("image size " + std::to_string(width) + "x" + std::to_string(height));
    Image::checkSize(width, height, "read_object");
    if (domainFlag > 1) invalid("domain flag " + std::to_string(domainFlag));
    const size_t planeBytes = size_t{width} * height * pixelSize(type);
    // The pixels follow the domain: the record must hold them before anything is built.
    if (planeBytes * channels > in.remaining())
        invalid("pixel data of " + std::to_string(channels) + " channels exceeds the record at offset " +
                std::to_string(in.offset()));
    std::shared_ptr<const Region> domain;
    if (domainFlag == 1) domain = readRegion(in)->clipped(width, height);
    if (planeBytes * channels > in.remaining())
        invalid("pixel data of " + std::to_string(channels) + " channels exceeds the record at offset " +
                std::to_string(in.offset()));
    std::vector<Plane> planes;
    for (uint32_t c = 0; c < channels; ++c) {
        auto plane = Buffer::allocate(planeBytes);
        std::memcpy(plane->data(), in.take(planeBytes, "pixels"), planeBytes);
        planes.push_back(std::move(plane));
    }
    return Image::make(type, width, height, std::move(planes), std::move(domain));
}

// Calls `onRecord(tag, cursor)` for each record, checking the header and
// that each record's payload is used exactly.
template <class OnRecord>
void forEachRecord(Bytes file, OnRecord onRecord) {
    if (!matches(file.data, file.size))
        raiseMessage("read_object", err::FileFormat,
                     "Not an object file of the embedded backend (files written by HALCON itself need the HALCON "
                     "backend)");
    Cursor header(file, 8, file.size);
    const uint32_t version = header.read<uint32_t>("version");
    if (version != kVersion) invalid("unsupported version " + std::to_string(version));
    const uint32_t count = header.read<uint32_t>("object count");
    size_t at = header.offset();
    for (uint32_t i = 0; i < count; ++i) {
        Cursor record(file, at, file.size);
        const uint32_t tag = record.read<uint32_t>("record tag");
        if (record.read<uint32_t>("record reserved field") != 0) invalid("reserved record field is not 0");
        const uint64_t size = record.read<uint64_t>("record size");
        if (size > record.remaining())
            invalid("record " + std::to_string(i + 1) + " of " + std::to_string(count) + " is truncated (" +
                    std::to_string(size) + " bytes declared, " + std::to_string(record.remaining()) + " left)");
        Cursor payload(file, record.offset(), record.offset() + static_cast<size_t>(size));
        onRecord(tag, payload);
        if (payload.remaining() != 0)
            invalid("record " + std::to_string(i + 1) + " has " + std::to_string(payload.remaining()) +
                    " unused bytes");
        at = record.offset() + static_cast<size_t>(size);
    }
    if (at != file.size) invalid(std::to_string(file.size - at) + " bytes after the last record");
}

// --- writing ---------------------------------------------------------------------

class Writer {
public:
    template <class T>
    void put(T value) {
        const size_t at = out.size();
        out.resize(at + sizeof(T));
        std::memcpy(out.data() + at, &value, sizeof(T));
    }
    void put(const void* data, size_t n) {
        if (n == 0) return;
        const uint8_t* p = static_cast<const uint8_t*>(data);
        out.insert(out.end(), p, p + n);
    }
    void region(const Region& region) {
        put<uint64_t>(region.runs().size());
        put(region.runs().data(), region.runs().size() * sizeof(Run));
    }
    void polyline(const Polyline& line) {
        put<uint64_t>(line.size());
        put(line.rows.data(), line.size() * 8);
        put(line.columns.data(), line.size() * 8);
    }
    std::vector<uint8_t> out;
};

static_assert(sizeof(Run) == 12, "runs are written as three 32-bit integers");

uint32_t typeCode(PixelType type) {
    for (uint32_t i = 0; i < std::size(kPixelTypes); ++i)
        if (kPixelTypes[i] == type) return i;
    return 0;
}

}  // namespace

bool matches(Bytes head) {
    return head.size >= sizeof(kMagic) && std::memcmp(head.data, kMagic, sizeof(kMagic)) == 0;
}

std::vector<IconicPtr> read(Bytes file) {
    std::vector<IconicPtr> objects;
    forEachRecord(file, [&](uint32_t tag, Cursor& in) {
        switch (tag) {
        case kImage: objects.push_back(readImage(in)); break;
        case kRegion: objects.push_back(readRegion(in)); break;
        case kContour: objects.push_back(std::make_shared<Contour>(readPolyline(in))); break;
        case kPolygon: objects.push_back(std::make_shared<Polygon>(readPolyline(in))); break;
        case kParallel: {
            Polyline first = readPolyline(in);
            objects.push_back(std::make_shared<Parallel>(std::move(first), readPolyline(in)));
            break;
        }
        default: invalid("unknown record tag " + std::to_string(tag));
        }
    });
    return objects;
}

bool matches(const uint8_t* head, size_t size) {
    return matches(Bytes{head, size});
}

std::vector<IconicPtr> readObjects(const ByteSource& file, Budget&) {
    const std::vector<uint8_t> bytes = file.readAll(UINT64_MAX, "object");
    return read(Bytes{bytes.data(), bytes.size()});
}

IconicPtr readImage(const ByteSource& file, Budget& budget) {
    std::vector<IconicPtr> objects = readObjects(file, budget);
    for (const IconicPtr& object : objects)
        if (!dynamic_cast<const Image*>(object.get()))
            raiseMessage("read_image", err::WrongObjectClass,
                         std::string("Unexpected object detected (the object file holds a ") + object->className() +
                             ", not only images)");
    if (objects.empty()) raiseMessage("read_image", err::FileFormat, "Invalid object file: it holds no image");
    return objects.front();
}

void writeObjects(const std::vector<IconicPtr>& objects, FileSink& sink) {
    const std::vector<uint8_t> bytes = encode(objects);
    sink.write(bytes.data(), bytes.size());
}

std::vector<uint8_t> encode(const std::vector<IconicPtr>& objects) {
    Writer w;
    w.put(kMagic, sizeof(kMagic));
    w.put<uint32_t>(kVersion);
    w.put<uint32_t>(static_cast<uint32_t>(objects.size()));
    for (const IconicPtr& object : objects) {
        uint32_t tag;
        Writer payload;
        if (auto image = dynamic_cast<const Image*>(object.get())) {
            tag = kImage;
            payload.put<uint32_t>(typeCode(image->type()));
            payload.put<uint32_t>(static_cast<uint32_t>(image->channelCount()));
            payload.put<uint32_t>(static_cast<uint32_t>(image->width()));
            payload.put<uint32_t>(static_cast<uint32_t>(image->height()));
            payload.put<uint32_t>(image->reducedDomain() ? 1 : 0);
            payload.put<uint32_t>(0);
            if (image->reducedDomain()) payload.region(*image->reducedDomain());
            for (const Plane& plane : image->planes()) payload.put(plane->data(), plane->size());
        } else if (auto region = dynamic_cast<const Region*>(object.get())) {
            tag = kRegion;
            payload.region(*region);
        } else if (auto contour = dynamic_cast<const Contour*>(object.get())) {
            tag = kContour;
            payload.polyline(contour->points);
        } else if (auto polygon = dynamic_cast<const Polygon*>(object.get())) {
            tag = kPolygon;
            payload.polyline(polygon->points);
        } else {
            const auto& parallel = objectAs<Parallel>(object, "write_object");
            tag = kParallel;
            payload.polyline(parallel.first);
            payload.polyline(parallel.second);
        }
        w.put<uint32_t>(tag);
        w.put<uint32_t>(0);
        w.put<uint64_t>(payload.out.size());
        w.put(payload.out.data(), payload.out.size());
    }
    return std::move(w.out);
}

}  // namespace ixv::formats::hobj
