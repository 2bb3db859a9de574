// The embedded object file: a magic and version, then one record per object.
// The layout is specified byte for byte in docs/formats.md; all numbers are
// little-endian.
//
// Records are read piece by piece through a ByteStream: pixel planes, runs
// and points go from the file straight into the memory of the object, which
// is taken from the file's budget before it is allocated.
#include <cstring>

#include "base/Errors.h"
#include "formats/hobj/HobjFormat.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the object file is read and written as little-endian");

namespace ixv::formats::hobj {

namespace {

const uint8_t kMagic[8] = {0x89, 'I', 'X', 'O', 'B', 'J', '\r', '\n'};
constexpr uint32_t kVersion = 1;
constexpr uint64_t kRecordHeaderSize = 16;

enum Tag : uint32_t { kImage = 1, kRegion = 2, kContour = 3, kPolygon = 4, kParallel = 5 };

const PixelType kPixelTypes[] = {PixelType::Byte, PixelType::Int1, PixelType::UInt2, PixelType::Int2,
                                 PixelType::Int4, PixelType::Int8, PixelType::Real};

static_assert(sizeof(Run) == 12, "runs are read and written as three 32-bit integers");

// Reads one record's payload: every read stays within the record, whose end
// is known from its header; `offset` is reported in messages.
class Record {
public:
    Record(ByteStream& in, uint64_t end, Budget& budget, const char* proc)
        : in_(in), end_(end), budget_(budget), proc_(proc) {}

    uint64_t offset() const { return in_.offset(); }
    uint64_t remaining() const { return end_ > in_.offset() ? end_ - in_.offset() : 0; }
    Budget& budget() { return budget_; }
    const char* proc() const { return proc_; }

    [[noreturn]] void invalid(const std::string& problem) const { raiseInvalid("object", problem, proc_); }

    void read(void* out, uint64_t n, const char* what) {
        if (n > remaining())
            invalid(std::string("truncated ") + what + " at offset " + std::to_string(offset()) + " (needs " +
                    std::to_string(n) + " bytes, " + std::to_string(remaining()) + " left)");
        if (n > 0) in_.read(out, static_cast<size_t>(n), what);
    }
    template <class T>
    T read(const char* what) {
        T value;
        read(&value, sizeof(T), what);
        return value;
    }
    // A count of `itemSize`-byte items that must be within the limit and fit
    // in what is left of the record.
    uint64_t count(uint64_t itemSize, uint64_t limit, const char* what, const char* unit) {
        const uint64_t where = offset();
        const uint64_t n = read<uint64_t>(what);
        if (n > limit)
            checkLimit(n, limit, proc_, std::string(what) + " count " + std::to_string(n) + " at offset " +
                                            std::to_string(where), unit);
        if (saturatingMul(n, itemSize) > remaining())
            invalid(std::string(what) + " count " + std::to_string(n) + " exceeds the record at offset " +
                    std::to_string(where));
        return n;
    }

private:
    ByteStream& in_;
    uint64_t end_;
    Budget& budget_;
    const char* proc_;
};

std::shared_ptr<const Region> readRegion(Record& in) {
    const uint64_t n = in.count(sizeof(Run), Limits::runsOrPoints, "run", "runs");
    // The runs as read, and once more while they are brought into canonical form.
    in.budget().take(saturatingMul(n, 2 * sizeof(Run)), [&] { return "region of " + std::to_string(n) + " runs"; });
    std::vector<Run> runs(static_cast<size_t>(n));
    in.read(runs.data(), n * sizeof(Run), "runs");
    for (const Run& run : runs) {
        for (const int32_t c : {run.row, run.columnBegin, run.columnEnd})
            if (c < -Limits::coordinate || c > Limits::coordinate)
                in.invalid("run coordinate " + std::to_string(c) + " out of range");
        if (run.columnBegin > run.columnEnd) in.invalid("a run ends before it begins (row " + std::to_string(run.row) + ")");
    }
    return Region::fromRuns(std::move(runs));
}

Polyline readPolyline(Record& in, const char* line) {
    const uint64_t where = in.offset();
    const uint64_t n = in.count(16, Limits::runsOrPoints, "point", "points");
    in.budget().take(n * 16, [&] {
        return std::string(line) + " of " + std::to_string(n) + " points at offset " + std::to_string(where);
    });
    Polyline points;
    points.rows.resize(static_cast<size_t>(n));
    points.columns.resize(static_cast<size_t>(n));
    in.read(points.rows.data(), n * 8, "rows");
    in.read(points.columns.data(), n * 8, "columns");
    return points;
}

// A parallel's lines have a length and a direction: each needs two points.
Polyline readParallelLine(Record& in) {
    const uint64_t where = in.offset();
    Polyline line = readPolyline(in, "parallel line");
    if (line.size() < 2)
        in.invalid("parallel line with " + std::to_string(line.size()) + (line.size() == 1 ? " point" : " points") +
                   " at offset " + std::to_string(where) + " (a line needs at least two)");
    return line;
}

std::shared_ptr<const Image> readImage(Record& in) {
    const uint32_t typeCode = in.read<uint32_t>("pixel type");
    if (typeCode >= std::size(kPixelTypes)) in.invalid("unknown pixel type code " + std::to_string(typeCode));
    const PixelType type = kPixelTypes[typeCode];
    const uint32_t channels = in.read<uint32_t>("channel count");
    const uint32_t width = in.read<uint32_t>("width");
    const uint32_t height = in.read<uint32_t>("height");
    const uint32_t domainFlag = in.read<uint32_t>("domain flag");
    if (in.read<uint32_t>("reserved field") != 0) in.invalid("reserved image field is not 0");
    if (channels < 1) in.invalid("an image without channels");
    if (width < 1 || height < 1) in.invalid("image size " + std::to_string(width) + "x" + std::to_string(height));
    if (domainFlag > 1) in.invalid("domain flag " + std::to_string(domainFlag));
    const std::string what = "image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels x " +
                             std::to_string(channels) + (channels == 1 ? " channel of " : " channels of ") +
                             pixelTypeName(type);
    Image::checkSize(width, height, in.proc());
    checkLimit(channels, Limits::channels, in.proc(), what, "channels");
    const uint64_t planeBytes = imageBytes(width, height, pixelSize(type));
    const uint64_t pixelBytes = saturatingMul(planeBytes, channels);
    // The pixels follow the domain: the record must hold them before anything is built.
    auto checkPixels = [&] {
        if (pixelBytes > in.remaining())
            in.invalid("pixel data of " + std::to_string(channels) + " channels exceeds the record at offset " +
                       std::to_string(in.offset()));
    };
    checkPixels();
    std::shared_ptr<const Region> domain;
    if (domainFlag == 1) domain = readRegion(in)->clipped(width, height);
    checkPixels();
    takeImage(in.budget(), type, width, height, channels, in.proc());
    std::vector<Plane> planes;
    planes.reserve(channels);
    for (uint32_t c = 0; c < channels; ++c) {
        auto plane = Image::newPlane(type, width, height);
        in.read(plane->data(), planeBytes, "pixels");
        planes.push_back(std::move(plane));
    }
    return Image::make(type, width, height, std::move(planes), std::move(domain));
}

IconicPtr readObject(uint32_t tag, Record& in) {
    switch (tag) {
    case kImage: return readImage(in);
    case kRegion: return readRegion(in);
    case kContour: return std::make_shared<Contour>(readPolyline(in, "contour"));
    case kPolygon: return std::make_shared<Polygon>(readPolyline(in, "polygon"));
    case kParallel: {
        Polyline first = readParallelLine(in);
        return std::make_shared<Parallel>(std::move(first), readParallelLine(in));
    }
    default: in.invalid("unknown record tag " + std::to_string(tag));
    }
}

// Reads the header, then calls `onRecord(tag, payload)` for each record,
// checking that each record's payload is used exactly. Every object is
// charged its overhead beside its data.
template <class OnRecord>
void forEachRecord(const ByteSource& file, Budget& budget, OnRecord onRecord) {
    const char* proc = file.proc();
    if (!matches(file.head().data(), file.head().size()))
        raiseMessage(proc, err::FileFormat,
                     "Not an object file of the embedded backend (files written by HALCON itself need the HALCON "
                     "backend)");
    ByteStream in(file, "object", sizeof(kMagic));
    Record header(in, file.size(), budget, proc);
    const uint32_t version = header.read<uint32_t>("version");
    if (version != kVersion) header.invalid("unsupported version " + std::to_string(version));
    const uint32_t count = header.read<uint32_t>("object count");
    checkLimit(count, Limits::objectsPerFile, proc, "object count " + std::to_string(count), "objects");
    if (saturatingMul(count, kRecordHeaderSize) > header.remaining())
        header.invalid("truncated records at offset " + std::to_string(in.offset()) + ": " + std::to_string(count) +
                       " objects need at least " + std::to_string(saturatingMul(count, kRecordHeaderSize)) +
                       " bytes, " + std::to_string(header.remaining()) + " left");
    // What every object costs beside its data, before the first is read.
    budget.take(saturatingMul(count, Limits::objectOverhead), std::to_string(count) + " objects");
    for (uint32_t i = 0; i < count; ++i) {
        Record record(in, file.size(), budget, proc);
        const uint32_t tag = record.read<uint32_t>("record tag");
        if (record.read<uint32_t>("record reserved field") != 0) record.invalid("reserved record field is not 0");
        const uint64_t size = record.read<uint64_t>("record size");
        if (size > record.remaining())
            record.invalid("record " + std::to_string(i + 1) + " of " + std::to_string(count) + " is truncated (" +
                           std::to_string(size) + " bytes declared, " + std::to_string(record.remaining()) +
                           " left)");
        const uint64_t end = in.offset() + size;
        Record payload(in, end, budget, proc);
        onRecord(tag, payload);
        if (payload.remaining() != 0)
            record.invalid("record " + std::to_string(i + 1) + " has " + std::to_string(payload.remaining()) +
                           " unused bytes");
    }
    if (in.offset() != file.size()) header.invalid(std::to_string(file.size() - in.offset()) + " bytes after the last record");
}

// --- writing ---------------------------------------------------------------------

// Where the bytes of a file go: a growing buffer or a file.
class Out {
public:
    explicit Out(std::vector<uint8_t>* bytes) : bytes_(bytes) {}
    explicit Out(FileSink* sink) : sink_(sink) {}

    void put(const void* data, size_t n) {
        if (n == 0) return;
        if (sink_) return sink_->write(data, n);
        const uint8_t* p = static_cast<const uint8_t*>(data);
        bytes_->insert(bytes_->end(), p, p + n);
    }
    template <class T>
    void put(T value) {
        put(&value, sizeof(T));
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

private:
    std::vector<uint8_t>* bytes_ = nullptr;
    FileSink* sink_ = nullptr;
};

uint32_t typeCode(PixelType type) {
    for (uint32_t i = 0; i < std::size(kPixelTypes); ++i)
        if (kPixelTypes[i] == type) return i;
    return 0;
}

uint64_t regionBytes(const Region& region) {
    return 8 + region.runs().size() * sizeof(Run);
}

uint64_t polylineBytes(const Polyline& line) {
    return 8 + line.size() * 16;
}

// Writes the file: each record's header with its payload's size, then the
// payload straight from the objects' memory.
void write(const std::vector<IconicPtr>& objects, Out& out) {
    checkLimit(objects.size(), Limits::objectsPerFile, "write_object",
               "object count " + std::to_string(objects.size()), "objects");
    out.put(kMagic, sizeof(kMagic));
    out.put<uint32_t>(kVersion);
    out.put<uint32_t>(static_cast<uint32_t>(objects.size()));
    auto record = [&](Tag tag, uint64_t size) {
        out.put<uint32_t>(tag);
        out.put<uint32_t>(0);
        out.put<uint64_t>(size);
    };
    for (const IconicPtr& object : objects) {
        if (auto image = dynamic_cast<const Image*>(object.get())) {
            const auto& domain = image->reducedDomain();
            uint64_t size = 24 + (domain ? regionBytes(*domain) : 0);
            for (const Plane& plane : image->planes()) size += plane->size();
            record(kImage, size);
            out.put<uint32_t>(typeCode(image->type()));
            out.put<uint32_t>(static_cast<uint32_t>(image->channelCount()));
            out.put<uint32_t>(static_cast<uint32_t>(image->width()));
            out.put<uint32_t>(static_cast<uint32_t>(image->height()));
            out.put<uint32_t>(domain ? 1 : 0);
            out.put<uint32_t>(0);
            if (domain) out.region(*domain);
            for (const Plane& plane : image->planes()) out.put(plane->data(), plane->size());
        } else if (auto region = dynamic_cast<const Region*>(object.get())) {
            record(kRegion, regionBytes(*region));
            out.region(*region);
        } else if (auto contour = dynamic_cast<const Contour*>(object.get())) {
            record(kContour, polylineBytes(contour->points));
            out.polyline(contour->points);
        } else if (auto polygon = dynamic_cast<const Polygon*>(object.get())) {
            record(kPolygon, polylineBytes(polygon->points));
            out.polyline(polygon->points);
        } else {
            const auto& parallel = objectAs<Parallel>(object, "write_object");
            record(kParallel, polylineBytes(parallel.first) + polylineBytes(parallel.second));
            out.polyline(parallel.first);
            out.polyline(parallel.second);
        }
    }
}

}  // namespace

bool matches(const uint8_t* head, size_t size) {
    return size >= sizeof(kMagic) && std::memcmp(head, kMagic, sizeof(kMagic)) == 0;
}

std::vector<IconicPtr> readObjects(const ByteSource& file, Budget& budget) {
    std::vector<IconicPtr> objects;
    forEachRecord(file, budget, [&](uint32_t tag, Record& in) { objects.push_back(readObject(tag, in)); });
    return objects;
}

IconicPtr readImage(const ByteSource& file, Budget& budget) {
    std::vector<IconicPtr> objects = readObjects(file, budget);
    for (const IconicPtr& object : objects)
        if (!dynamic_cast<const Image*>(object.get()))
            raiseMessage(file.proc(), err::WrongObjectClass,
                         std::string("Unexpected object detected (the object file holds a ") + object->className() +
                             ", not only images)");
    if (objects.empty()) raiseInvalid("object", "it holds no image", file.proc());
    return objects.front();
}

void writeObjects(const std::vector<IconicPtr>& objects, FileSink& sink) {
    Out out(&sink);
    write(objects, out);
}

void writeImage(const Image& image, const std::string& format, double, FileSink& sink) {
    refuseOptions(format);
    // The same planes and domain, held by a pointer the object writer takes.
    writeObjects({Image::make(image.type(), image.width(), image.height(), image.planes(), image.reducedDomain())},
                 sink);
}

std::vector<uint8_t> encode(const std::vector<IconicPtr>& objects) {
    std::vector<uint8_t> bytes;
    Out out(&bytes);
    write(objects, out);
    return bytes;
}

}  // namespace ixv::formats::hobj
