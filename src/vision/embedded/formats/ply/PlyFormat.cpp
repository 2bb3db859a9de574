#include "formats/ply/PlyFormat.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include "base/Errors.h"
#include "formats/Model3dRead.h"
#include "formats/hdict/Binary.h"
#include "tools/Dict.h"
#include "tools/ObjectModel3d.h"

using HalconCpp::HHandle;
using HalconCpp::HTuple;

namespace ixv::formats::ply {

namespace {

using model3d::kReadProc;
using model3d::TextScanner;

constexpr const char* kFormat = "PLY";
constexpr size_t kLineLength = 1024;
constexpr uint64_t kHeaderBytes = 1 << 20;
constexpr size_t kElements = 1024;
constexpr size_t kProperties = 1024;

enum class Type : uint8_t { Int8, UInt8, Int16, UInt16, Int32, UInt32, Float32, Float64 };

const struct {
    const char* name;
    Type type;
} kTypeNames[] = {{"char", Type::Int8},     {"int8", Type::Int8},       {"uchar", Type::UInt8},
                  {"uint8", Type::UInt8},   {"short", Type::Int16},     {"int16", Type::Int16},
                  {"ushort", Type::UInt16}, {"uint16", Type::UInt16},   {"int", Type::Int32},
                  {"int32", Type::Int32},   {"uint", Type::UInt32},     {"uint32", Type::UInt32},
                  {"float", Type::Float32}, {"float32", Type::Float32}, {"double", Type::Float64},
                  {"float64", Type::Float64}};

size_t sizeOf(Type type) {
    switch (type) {
    case Type::Int8:
    case Type::UInt8: return 1;
    case Type::Int16:
    case Type::UInt16: return 2;
    case Type::Int32:
    case Type::UInt32:
    case Type::Float32: return 4;
    case Type::Float64: return 8;
    }
    return 8;
}

struct Property {
    std::string name;
    Type type = Type::Float32;  // the items' type for a list
    bool list = false;
    Type countType = Type::UInt8;
};

struct Element {
    std::string name;
    uint64_t count = 0;
    std::vector<Property> properties;

    bool hasLists() const {
        for (const Property& p : properties)
            if (p.list) return true;
        return false;
    }
    // The bytes of a binary record, lists counted with no items.
    uint64_t minRecordBytes() const {
        uint64_t bytes = 0;
        for (const Property& p : properties) bytes += sizeOf(p.list ? p.countType : p.type);
        return bytes;
    }
};

enum class Encoding { Ascii, Little, Big };

[[noreturn]] void fail(const std::string& problem) {
    raiseInvalid(kFormat, problem, kReadProc);
}

// The shortest text that reads back as `value`, whatever the locale.
std::string numberText(double value) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

template <class T>
T load(const uint8_t* p, bool swap) {
    T value;
    if (!swap) {
        std::memcpy(&value, p, sizeof(T));
        return value;
    }
    uint8_t bytes[sizeof(T)];
    for (size_t i = 0; i < sizeof(T); ++i) bytes[i] = p[sizeof(T) - 1 - i];
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

double decode(const uint8_t* p, Type type, bool swap) {
    switch (type) {
    case Type::Int8: return static_cast<int8_t>(p[0]);
    case Type::UInt8: return p[0];
    case Type::Int16: return load<int16_t>(p, swap);
    case Type::UInt16: return load<uint16_t>(p, swap);
    case Type::Int32: return load<int32_t>(p, swap);
    case Type::UInt32: return load<uint32_t>(p, swap);
    case Type::Float32: return load<float>(p, swap);
    case Type::Float64: return load<double>(p, swap);
    }
    return 0;
}

// One property of `n` records `stride` bytes apart, converted to Out.
template <class T, class Out>
void column(const uint8_t* p, size_t stride, size_t n, bool swap, Out* out) {
    if (swap) {
        for (size_t i = 0; i < n; ++i) out[i] = static_cast<Out>(load<T>(p + i * stride, true));
    } else {
        for (size_t i = 0; i < n; ++i) {
            T value;
            std::memcpy(&value, p + i * stride, sizeof(T));
            out[i] = static_cast<Out>(value);
        }
    }
}

template <class Out>
void convertColumn(const uint8_t* p, size_t stride, size_t n, Type type, bool swap, Out* out) {
    switch (type) {
    case Type::Int8: column<int8_t>(p, stride, n, false, out); break;
    case Type::UInt8: column<uint8_t>(p, stride, n, false, out); break;
    case Type::Int16: column<int16_t>(p, stride, n, swap, out); break;
    case Type::UInt16: column<uint16_t>(p, stride, n, swap, out); break;
    case Type::Int32: column<int32_t>(p, stride, n, swap, out); break;
    case Type::UInt32: column<uint32_t>(p, stride, n, swap, out); break;
    case Type::Float32: column<float>(p, stride, n, swap, out); break;
    case Type::Float64: column<double>(p, stride, n, swap, out); break;
    }
}

// Where a property's values go: a coordinate, a normal, an attribute or nowhere.
struct Target {
    float* coords = nullptr;
    double* values = nullptr;
};

class Reader {
public:
    Reader(const ByteSource& file, Budget& budget) : file_(file), budget_(budget), text_(file, kFormat) {}

    std::shared_ptr<ObjectModel3d> read() {
        header();
        if (encoding_ != Encoding::Ascii) binary_ = std::make_unique<ByteStream>(file_, kFormat, text_.offset());
        model3d::Faces faces(budget_, kFormat);
        bool haveVertices = false, haveFaces = false;
        for (const Element& element : elements_) {
            if (element.name == "vertex" && !haveVertices) {
                haveVertices = true;
                vertices(element);
            } else if (element.name == "face" && !haveFaces && indexList(element) >= 0) {
                haveFaces = true;
                this->faces(element, faces);
            } else {
                skip(element);
            }
        }
        if (!haveVertices) fail("no vertex element");
        faces.finish(*model_);
        return model_;
    }

private:
    uint64_t offset() const { return binary_ ? binary_->offset() : text_.offset(); }
    uint64_t remaining() const { return binary_ ? binary_->remaining() : text_.remaining(); }
    [[noreturn]] void failHere(const std::string& problem) const {
        if (binary_) fail(problem + " at offset " + std::to_string(binary_->offset()));
        text_.fail(problem);
    }

    void header() {
        if (text_.rest(kLineLength) != "ply") fail("no 'ply' line at the start");
        for (;;) {
            if (text_.offset() > kHeaderBytes) text_.fail("a header longer than " + std::to_string(kHeaderBytes) + " bytes");
            if (text_.remaining() == 0) text_.fail("the header ends without 'end_header'");
            const uint64_t line = text_.line();
            const std::string text = text_.rest(kLineLength);
            std::vector<std::string> words;
            for (size_t at = 0; at < text.size();) {
                const size_t begin = text.find_first_not_of(" \t", at);
                if (begin == std::string::npos) break;
                const size_t end = std::min(text.find_first_of(" \t", begin), text.size());
                words.push_back(text.substr(begin, end - begin));
                at = end;
            }
            auto bad = [&](const std::string& problem) {
                fail(problem + " at line " + std::to_string(line));
            };
            if (words.empty() || words[0] == "comment" || words[0] == "obj_info") continue;
            if (words[0] == "end_header") break;
            if (words[0] == "format") {
                if (words.size() != 3 || words[2] != "1.0") bad("format line '" + text + "'");
                if (words[1] == "ascii")
                    encoding_ = Encoding::Ascii;
                else if (words[1] == "binary_little_endian")
                    encoding_ = Encoding::Little;
                else if (words[1] == "binary_big_endian")
                    encoding_ = Encoding::Big;
                else
                    bad("unknown format '" + words[1] + "'");
                haveFormat_ = true;
            } else if (words[0] == "element") {
                if (words.size() != 3) bad("element line '" + text + "'");
                if (elements_.size() == kElements) bad("more than " + std::to_string(kElements) + " elements");
                Element element;
                element.name = words[1];
                double count = 0;
                if (!model3d::parseReal(words[2], count) || count < 0 || count != std::floor(count) || count > 1e18)
                    bad("element count '" + words[2] + "'");
                element.count = static_cast<uint64_t>(count);
                elements_.push_back(std::move(element));
            } else if (words[0] == "property") {
                if (elements_.empty()) bad("a property before any element");
                Element& element = elements_.back();
                if (element.properties.size() == kProperties)
                    bad("more than " + std::to_string(kProperties) + " properties in element '" + element.name + "'");
                Property property;
                if (words.size() == 5 && words[1] == "list") {
                    property.list = true;
                    property.countType = type(words[2], line);
                    property.type = type(words[3], line);
                    property.name = words[4];
                    if (property.countType == Type::Float32 || property.countType == Type::Float64)
                        bad("list count of type '" + words[2] + "'");
                } else if (words.size() == 3) {
                    property.type = type(words[1], line);
                    property.name = words[2];
                } else {
                    bad("property line '" + text + "'");
                }
                element.properties.push_back(std::move(property));
            } else {
                bad("unknown header line '" + text + "'");
            }
        }
        if (!haveFormat_) fail("no format line in the header");
    }

    static Type type(const std::string& name, uint64_t line) {
        for (const auto& t : kTypeNames)
            if (name == t.name) return t.type;
        fail("unknown property type '" + name + "' at line " + std::to_string(line));
    }

    // The position of the face element's point index list, or -1.
    static int indexList(const Element& element) {
        for (size_t i = 0; i < element.properties.size(); ++i) {
            const Property& p = element.properties[i];
            if (p.list && (p.name == "vertex_indices" || p.name == "vertex_index")) return static_cast<int>(i);
        }
        return -1;
    }

    // Refuses `count` records of `element` that cannot fit in the bytes left.
    void checkCount(const Element& element, const char* what) {
        checkLimit(element.count, Limits::runsOrPoints, kReadProc,
                   std::to_string(element.count) + " " + what, what);
        const uint64_t perRecord = encoding_ == Encoding::Ascii ? 2 * element.properties.size()
                                                                : element.minRecordBytes();
        const uint64_t needed = saturatingMul(element.count, perRecord);
        if (needed > remaining())
            failHere(std::to_string(element.count) + " " + what + " need at least " + std::to_string(needed) +
                     " bytes, " + std::to_string(remaining()) + " left");
    }

    double scalar(Type type, const char* what) {
        if (!binary_) return text_.real(what);
        return decode(binary_->take(sizeOf(type), what), type, encoding_ == Encoding::Big);
    }

    // A list's length or a point index: a whole number from 0 to `max`.
    uint64_t whole(Type type, uint64_t max, const char* what) {
        const double value = scalar(type, what);
        if (!(value >= 0) || value != std::floor(value) || value > static_cast<double>(max)) {
            if (binary_) binary_->seek(binary_->offset() - sizeOf(type));
            failHere(std::string(what) + " " + numberText(value) + " out of range");
        }
        return static_cast<uint64_t>(value);
    }

    uint64_t listLength(const Property& p) {
        const uint64_t n = whole(p.countType, Limits::runsOrPoints, "list length");
        const uint64_t needed = saturatingMul(n, binary_ ? sizeOf(p.type) : 2);
        if (needed > remaining())
            failHere("a list of " + std::to_string(n) + " items needs " + std::to_string(needed) + " bytes, " +
                     std::to_string(remaining()) + " left");
        return n;
    }

    void skipRecordValue(const Property& p) {
        if (!p.list) {
            scalar(p.type, "property value");
            return;
        }
        const uint64_t n = listLength(p);
        if (binary_)
            binary_->skip(n * sizeOf(p.type), "list items");
        else
            for (uint64_t i = 0; i < n; ++i) text_.real("list item");
    }

    void skip(const Element& element) {
        if (element.properties.empty()) return;  // records of nothing take no bytes
        if (binary_ && !element.hasLists()) {
            const uint64_t bytes = saturatingMul(element.count, element.minRecordBytes());
            if (bytes > binary_->remaining())
                failHere("element '" + element.name + "' of " + std::to_string(element.count) + " records needs " +
                         std::to_string(bytes) + " bytes, " + std::to_string(binary_->remaining()) + " left");
            binary_->skip(bytes, "element data");
            return;
        }
        const uint64_t perRecord = binary_ ? element.minRecordBytes() : 2 * element.properties.size();
        if (saturatingMul(element.count, perRecord) > remaining())
            failHere("element '" + element.name + "' of " + std::to_string(element.count) + " records exceeds the " +
                     std::to_string(remaining()) + " bytes left");
        for (uint64_t r = 0; r < element.count; ++r)
            for (const Property& p : element.properties) skipRecordValue(p);
    }

    void vertices(const Element& element) {
        checkCount(element, "points");
        const uint64_t n = element.count;
        ObjectModel3d& m = *model_;
        int axes[6] = {-1, -1, -1, -1, -1, -1};
        const char* const axisNames[6] = {"x", "y", "z", "nx", "ny", "nz"};
        for (size_t i = 0; i < element.properties.size(); ++i)
            for (int a = 0; a < 6; ++a)
                if (!element.properties[i].list && element.properties[i].name == axisNames[a] && axes[a] < 0)
                    axes[a] = static_cast<int>(i);
        if (axes[0] < 0 || axes[1] < 0 || axes[2] < 0) fail("the vertex element has no x, y and z properties");
        const bool normals = axes[3] >= 0 && axes[4] >= 0 && axes[5] >= 0;
        std::vector<Target> targets(element.properties.size());
        size_t attributes = 0;
        for (size_t i = 0; i < element.properties.size(); ++i) {
            bool axis = false;
            for (int a = 0; a < (normals ? 6 : 3); ++a) axis = axis || axes[a] == static_cast<int>(i);
            if (!axis && !element.properties[i].list) ++attributes;
        }
        budget_.take(saturatingMul(n, (normals ? 24 : 12) + 8 * attributes), [&] {
            return std::to_string(n) + " points with " + std::to_string(attributes) + " attributes";
        });
        m.attributes.reserve(attributes);
        std::vector<float>* coords[6] = {&m.x, &m.y, &m.z, &m.nx, &m.ny, &m.nz};
        for (int a = 0; a < (normals ? 6 : 3); ++a) {
            coords[a]->resize(static_cast<size_t>(n));
            targets[static_cast<size_t>(axes[a])].coords = coords[a]->data();
        }
        for (size_t i = 0; i < element.properties.size(); ++i) {
            const Property& p = element.properties[i];
            if (targets[i].coords || p.list) continue;
            ObjectModel3d::Attribute attribute;
            attribute.name = p.name;
            attribute.values.resize(static_cast<size_t>(n));
            m.attributes.push_back(std::move(attribute));
            targets[i].values = m.attributes.back().values.data();
        }
        if (binary_ && !element.hasLists()) {
            // Whole records in chunks, each property converted along the chunk.
            const size_t record = static_cast<size_t>(element.minRecordBytes());
            const size_t perChunk = std::max<size_t>(1, (64 << 10) / record);
            std::vector<size_t> offsets;
            size_t at = 0;
            for (const Property& p : element.properties) {
                offsets.push_back(at);
                at += sizeOf(p.type);
            }
            const bool swap = encoding_ == Encoding::Big;
            for (uint64_t done = 0; done < n;) {
                const size_t k = static_cast<size_t>(std::min<uint64_t>(perChunk, n - done));
                const uint8_t* chunk = binary_->take(k * record, "vertex data");
                for (size_t i = 0; i < targets.size(); ++i) {
                    const Type type = element.properties[i].type;
                    if (targets[i].coords)
                        convertColumn(chunk + offsets[i], record, k, type, swap, targets[i].coords + done);
                    else if (targets[i].values)
                        convertColumn(chunk + offsets[i], record, k, type, swap, targets[i].values + done);
                }
                done += k;
            }
            return;
        }
        for (uint64_t r = 0; r < n; ++r)
            for (size_t i = 0; i < targets.size(); ++i) {
                const Property& p = element.properties[i];
                if (targets[i].coords)
                    targets[i].coords[r] = static_cast<float>(scalar(p.type, "vertex property"));
                else if (targets[i].values)
                    targets[i].values[r] = scalar(p.type, "vertex property");
                else
                    skipRecordValue(p);
            }
    }

    void faces(const Element& element, model3d::Faces& faces) {
        checkCount(element, "faces");
        const uint64_t n = element.count;
        const size_t list = static_cast<size_t>(indexList(element));
        std::vector<double*> targets(element.properties.size(), nullptr);
        size_t attributes = 0;
        for (const Property& p : element.properties) attributes += p.list ? 0 : 1;
        budget_.take(saturatingMul(n, 8 * attributes), [&] {
            return std::to_string(n) + " faces with " + std::to_string(attributes) + " attributes";
        });
        ObjectModel3d& m = *model_;
        m.attributes.reserve(m.attributes.size() + attributes);
        for (size_t i = 0; i < element.properties.size(); ++i) {
            if (element.properties[i].list) continue;
            ObjectModel3d::Attribute attribute;
            attribute.name = element.properties[i].name;
            attribute.perFace = true;
            attribute.values.resize(static_cast<size_t>(n));
            m.attributes.push_back(std::move(attribute));
            targets[i] = m.attributes.back().values.data();
        }
        const Property& indices = element.properties[list];
        for (uint64_t f = 0; f < n; ++f)
            for (size_t i = 0; i < element.properties.size(); ++i) {
                const Property& p = element.properties[i];
                if (targets[i]) {
                    targets[i][f] = scalar(p.type, "face property");
                } else if (i == list) {
                    const uint64_t count = listLength(p);
                    if (count == 0) failHere("face " + std::to_string(f) + " without points");
                    faces.begin(count);
                    for (uint64_t k = 0; k < count; ++k) faces.add(whole(indices.type, UINT32_MAX, "point index"));
                } else {
                    skipRecordValue(p);
                }
            }
    }

    const ByteSource& file_;
    Budget& budget_;
    TextScanner text_;
    std::unique_ptr<ByteStream> binary_;
    Encoding encoding_ = Encoding::Ascii;
    bool haveFormat_ = false;
    std::vector<Element> elements_;
    std::shared_ptr<ObjectModel3d> model_ = std::make_shared<ObjectModel3d>();
};

// ---------------------------------------------------------------------------

[[noreturn]] void notWritable(const std::string& detail) {
    raise(model3d::kWriteProc, err::HandleNotSerializable, "PLY: " + detail);
}

bool plainName(const std::string& name) {
    if (name.empty()) return false;
    for (const char c : name)
        if (c <= ' ' || c == 127) return false;
    return true;
}

}  // namespace

bool matches(const uint8_t* head, size_t size) {
    return size >= 4 && std::memcmp(head, "ply", 3) == 0 && (head[3] == '\n' || head[3] == '\r');
}

HHandle readHandle(const ByteSource& file, Budget& budget, const HTuple&, const HTuple&) {
    return model3d::modelHandle(Reader(file, budget).read(), kFormat);
}

void writeHandle(const HHandle& handle, FileSink& sink, const HTuple&, const HTuple&) {
    const ObjectModel3d& m = toolAs<ObjectModel3d>(handle, model3d::kWriteProc);
    const size_t n = m.numPoints();
    if (n == 0) notWritable("a model without points (a primitive alone needs the om3 type)");
    const size_t triangles = m.triangles.size() / 3, polygons = m.polygonStarts.size();
    const size_t faces = triangles + polygons;
    std::vector<const ObjectModel3d::Attribute*> pointAttributes, faceAttributes;
    std::vector<std::string> used = {"x", "y", "z", "nx", "ny", "nz"};
    std::vector<std::string> usedFace = {"vertex_indices", "vertex_index"};
    for (const ObjectModel3d::Attribute& a : m.attributes) {
        if (!plainName(a.name)) notWritable("attribute name '" + a.name + "' is not a single word");
        auto& names = a.perFace ? usedFace : used;
        if (std::find(names.begin(), names.end(), a.name) != names.end())
            notWritable("attribute name '" + a.name + "' is taken");
        names.push_back(a.name);
        if (a.values.size() != (a.perFace ? faces : n))
            notWritable("attribute '" + a.name + "' has " + std::to_string(a.values.size()) + " values for " +
                        std::to_string(a.perFace ? faces : n) + (a.perFace ? " faces" : " points"));
        (a.perFace ? faceAttributes : pointAttributes).push_back(&a);
    }
    size_t largest = faces ? 3 : 0;
    for (size_t k = 0; k < polygons; ++k) {
        const size_t end = k + 1 < polygons ? m.polygonStarts[k + 1] : m.polygonIndices.size();
        if (end <= m.polygonStarts[k]) notWritable("polygon " + std::to_string(k) + " has no points");
        largest = std::max<size_t>(largest, end - m.polygonStarts[k]);
    }
    const bool wideCounts = largest > 255;

    std::string header = "ply\nformat binary_little_endian 1.0\nelement vertex " + std::to_string(n) +
                         "\nproperty float x\nproperty float y\nproperty float z\n";
    if (m.hasNormals()) header += "property float nx\nproperty float ny\nproperty float nz\n";
    for (const auto* a : pointAttributes) header += "property double " + a->name + "\n";
    if (faces) {
        header += "element face " + std::to_string(faces) + "\nproperty list " + (wideCounts ? "uint" : "uchar") +
                  " uint vertex_indices\n";
        for (const auto* a : faceAttributes) header += "property double " + a->name + "\n";
    }
    header += "end_header\n";

    BinaryOut out(&sink);
    out.put(header.data(), header.size());
    for (size_t i = 0; i < n; ++i) {
        const float xyz[3] = {m.x[i], m.y[i], m.z[i]};
        out.put(xyz, sizeof xyz);
        if (m.hasNormals()) {
            const float normal[3] = {m.nx[i], m.ny[i], m.nz[i]};
            out.put(normal, sizeof normal);
        }
        for (const auto* a : pointAttributes) out.put<double>(a->values[i]);
    }
    auto count = [&](size_t k) {
        if (wideCounts)
            out.put<uint32_t>(static_cast<uint32_t>(k));
        else
            out.put<uint8_t>(static_cast<uint8_t>(k));
    };
    for (size_t f = 0; f < faces; ++f) {
        if (f < triangles) {
            count(3);
            out.put(&m.triangles[3 * f], 3 * sizeof(uint32_t));
        } else {
            const size_t k = f - triangles;
            const size_t begin = m.polygonStarts[k];
            const size_t end = k + 1 < polygons ? m.polygonStarts[k + 1] : m.polygonIndices.size();
            count(end - begin);
            out.put(&m.polygonIndices[begin], (end - begin) * sizeof(uint32_t));
        }
        for (const auto* a : faceAttributes) out.put<double>(a->values[f]);
    }
    out.flush();
}

}  // namespace ixv::formats::ply
