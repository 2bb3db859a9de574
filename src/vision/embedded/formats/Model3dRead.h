// What the readers of 3D object model files share: the operator name, growth
// of point and face arrays taken from the file's budget, the faces of a file
// and the rule that keeps them as triangles or polygons, and a text scanner
// for the formats written as text (PLY ASCII, OFF, STL ASCII).
//
// Faces: a file whose faces all have three points gives triangles; a file with
// any face of another size keeps every face as a polygon, in file order, so
// that face k of the file is polygon k of the model (and its per-face
// attributes stay aligned). Faces without points are refused.
#pragma once

#include <algorithm>
#include <memory>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Limits.h"
#include "formats/ByteSource.h"
#include "tools/ObjectModel3d.h"

namespace ixv::formats::model3d {

inline constexpr const char* kReadProc = "read_object_model_3d";
inline constexpr const char* kWriteProc = "write_object_model_3d";

// Makes room for `extra` more elements, taking any new capacity from the
// budget first; capacity doubles, so appending stays linear.
template <class T>
void grow(std::vector<T>& values, size_t extra, Budget& budget, const char* what) {
    const uint64_t wanted = saturatingAdd(values.size(), extra);
    if (wanted <= values.capacity()) return;
    const uint64_t capacity = std::max<uint64_t>({wanted, uint64_t{values.capacity()} * 2, 16});
    budget.take(saturatingMul(capacity - values.capacity(), sizeof(T)), [&] { return std::string(what); });
    values.reserve(static_cast<size_t>(capacity));
}

// The faces of a file as they are read.
class Faces {
public:
    Faces(Budget& budget, const char* format) : budget_(budget), format_(format) {}
    // Room for a face of `n` points; then `add` them.
    void begin(uint64_t n);
    void add(uint64_t index) { indices_.push_back(static_cast<uint32_t>(index)); }
    size_t count() const { return starts_.size(); }
    // Moves the faces into the model as triangles or polygons (see above),
    // after checking every index against the model's points.
    void finish(ObjectModel3d& model);

private:
    Budget& budget_;
    const char* format_;
    std::vector<uint32_t> starts_, indices_;
    bool allTriangles_ = true;
};

// False for a model of no points and no primitive: no model file holds one
// (reading refuses such a file, writing such a model).
inline bool describesSomething(const ObjectModel3d& model) {
    return model.numPoints() > 0 || !model.primitiveType.empty();
}

// The handle of a model read from a file of `format`; "Invalid <format> file:
// no points" when the model describes nothing.
HalconCpp::HHandle modelHandle(std::shared_ptr<ObjectModel3d> model, const char* format);

// Multiplies the coordinates by `factor` (normals keep their length).
void scale(ObjectModel3d& model, double factor);

// Text read through a ByteStream, with lines counted for messages.
class TextScanner {
public:
    TextScanner(const ByteSource& file, const char* format, uint64_t offset = 0);

    uint64_t line() const { return line_; }
    uint64_t offset() const { return in_.offset(); }
    uint64_t remaining() const { return in_.remaining(); }
    // Lines beginning with this character (after blanks) are comments; 0: none.
    char comment = 0;

    // "Invalid <format> file: <problem> at line L".
    [[noreturn]] void fail(const std::string& problem) const;
    // Skips blanks, and with `lines` also line ends and comments; false at the end of the file.
    bool skipBlank(bool lines);
    // True at a line end or the end of the file, after blanks.
    bool atLineEnd();
    // Skips the rest of the line and its end.
    void skipLine();
    // The next word (at most 256 bytes); fails naming `what` when there is
    // none (on this line, unless `lines`).
    const std::string& word(const char* what, bool lines = true);
    // True when a word follows (on this line, unless `lines`).
    bool hasWord(bool lines);
    // A number in C notation, never depending on the locale.
    double real(const char* what, bool lines = true);
    // A non-negative integer of at most `max`.
    uint64_t count(const char* what, uint64_t max, bool lines = true);
    // The rest of the line, at most `max` bytes (longer lines fail).
    std::string rest(size_t max);

private:
    int peek();
    int get();
    ByteStream in_;
    const char* format_;
    uint64_t line_ = 1;
    std::string word_;
};

// Parses a whole word as a number; false when it is none.
bool parseReal(const std::string& word, double& value);

}  // namespace ixv::formats::model3d
