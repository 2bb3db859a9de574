#include "formats/Model3dRead.h"

#include <charconv>

#include "formats/Formats.h"
#include "tools/Dict.h"

namespace ixv::formats::model3d {

HalconCpp::HHandle modelHandle(std::shared_ptr<ObjectModel3d> model, const char* format) {
    if (!describesSomething(*model)) raiseInvalid(format, "no points", kReadProc);
    return handleOf(std::move(model));
}

void Faces::begin(uint64_t n) {
    if (n == 0) raiseInvalid(format_, "face " + std::to_string(starts_.size()) + " has no points", kReadProc);
    checkLimit(saturatingAdd(indices_.size(), n), Limits::runsOrPoints, kReadProc,
               "faces of " + std::to_string(saturatingAdd(indices_.size(), n)) + " point indices", "indices");
    checkLimit(starts_.size() + 1, Limits::runsOrPoints, kReadProc, "more faces", "faces");
    grow(starts_, 1, budget_, "faces");
    grow(indices_, static_cast<size_t>(n), budget_, "face point indices");
    if (n != 3) allTriangles_ = false;
    starts_.push_back(static_cast<uint32_t>(indices_.size()));
}

void Faces::finish(ObjectModel3d& model) {
    const uint64_t points = model.numPoints();
    size_t face = 0;
    for (size_t i = 0; i < indices_.size(); ++i) {
        while (face + 1 < starts_.size() && starts_[face + 1] <= i) ++face;
        if (indices_[i] >= points)
            raiseInvalid(format_,
                         "face " + std::to_string(face) + " refers to point " +
                             (indices_[i] == UINT32_MAX ? std::string("index beyond 2^32") : std::to_string(indices_[i])) +
                             " of a model of " + std::to_string(points) + " points",
                         kReadProc);
    }
    if (starts_.empty()) return;
    if (allTriangles_) {
        model.triangles = std::move(indices_);
    } else {
        model.polygonStarts = std::move(starts_);
        model.polygonIndices = std::move(indices_);
    }
}

void scale(ObjectModel3d& model, double factor) {
    if (factor == 1) return;
    for (auto* axis : {&model.x, &model.y, &model.z})
        for (float& v : *axis) v = static_cast<float>(v * factor);
}

bool parseReal(const std::string& word, double& value) {
    const char* begin = word.data();
    const char* end = begin + word.size();
    if (begin != end && *begin == '+') ++begin;
    const auto result = std::from_chars(begin, end, value);
    return result.ec == std::errc() && result.ptr == end;
}

// ---------------------------------------------------------------------------

TextScanner::TextScanner(const ByteSource& file, const char* format, uint64_t offset)
    : in_(file, format, offset), format_(format) {}

void TextScanner::fail(const std::string& problem) const {
    raiseInvalid(format_, problem + " at line " + std::to_string(line_), kReadProc);
}

int TextScanner::peek() {
    const int c = in_.get();
    if (c >= 0) in_.seek(in_.offset() - 1);
    return c;
}

int TextScanner::get() {
    const int c = in_.get();
    if (c == '\n') ++line_;
    return c;
}

bool TextScanner::skipBlank(bool lines) {
    for (;;) {
        const int c = peek();
        if (c < 0) return false;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f') {
            get();
        } else if (lines && c == '\n') {
            get();
        } else if (lines && comment && c == comment) {
            skipLine();
        } else {
            return true;
        }
    }
}

bool TextScanner::atLineEnd() {
    const int c = skipBlank(false) ? peek() : -1;
    return c < 0 || c == '\n' || (comment && c == comment);
}

void TextScanner::skipLine() {
    for (int c = get(); c >= 0 && c != '\n'; c = get()) {
    }
}

bool TextScanner::hasWord(bool lines) {
    if (!skipBlank(lines)) return false;
    const int c = peek();
    return c != '\n' && !(comment && c == comment);
}

const std::string& TextScanner::word(const char* what, bool lines) {
    if (!hasWord(lines)) fail(std::string("expected ") + what);
    word_.clear();
    for (int c = peek(); c > ' ' && c != 127; c = peek()) {
        if (word_.size() == 256) fail(std::string("a word of more than 256 bytes where ") + what + " should be");
        word_.push_back(static_cast<char>(get()));
    }
    if (word_.empty()) fail(std::string("expected ") + what);
    return word_;
}

double TextScanner::real(const char* what, bool lines) {
    double value = 0;
    if (!parseReal(word(what, lines), value)) fail(std::string("'") + word_ + "' is no number (" + what + ")");
    return value;
}

uint64_t TextScanner::count(const char* what, uint64_t max, bool lines) {
    const std::string& text = word(what, lines);
    uint64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc::result_out_of_range || (result.ec == std::errc() && value > max &&
                                                       result.ptr == text.data() + text.size()))
        fail(std::string(what) + " " + text + " above " + std::to_string(max));
    if (result.ec != std::errc() || result.ptr != text.data() + text.size())
        fail(std::string("'") + text + "' is no count (" + what + ")");
    return value;
}

std::string TextScanner::rest(size_t max) {
    std::string text;
    for (int c = peek(); c >= 0 && c != '\n'; c = peek()) {
        if (text.size() == max) fail("a line longer than " + std::to_string(max) + " bytes");
        text.push_back(static_cast<char>(get()));
    }
    if (peek() == '\n') get();
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t')) text.pop_back();
    return text;
}

}  // namespace ixv::formats::model3d
