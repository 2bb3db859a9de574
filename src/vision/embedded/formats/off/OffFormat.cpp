#include "formats/off/OffFormat.h"

#include <cstring>

#include "formats/Model3dRead.h"
#include "tools/Dict.h"

using HalconCpp::HHandle;
using HalconCpp::HTuple;

namespace ixv::formats::off {

namespace {

constexpr const char* kFormat = "OFF";

// The keyword's length when `text` begins with [C][N]OFF or [N][C]OFF and a blank, else 0.
size_t keyword(const uint8_t* text, size_t size, bool* colours, bool* normals) {
    size_t at = 0;
    bool c = false, n = false;
    while (at < size && at < 2 && (text[at] == 'C' || text[at] == 'N')) {
        (text[at] == 'C' ? c : n) = true;
        ++at;
    }
    if (size < at + 4 || std::memcmp(text + at, "OFF", 3) != 0) return 0;
    const uint8_t after = text[at + 3];
    if (after != ' ' && after != '\t' && after != '\r' && after != '\n') return 0;
    if (colours) *colours = c;
    if (normals) *normals = n;
    return at + 3;
}

}  // namespace

bool matches(const uint8_t* head, size_t size) {
    return keyword(head, size, nullptr, nullptr) > 0;
}

HHandle readHandle(const ByteSource& file, Budget& budget, const HTuple&, const HTuple&) {
    bool colours = false, normals = false;
    const size_t skip = keyword(file.head().data(), file.head().size(), &colours, &normals);
    if (skip == 0) raiseInvalid(kFormat, "no OFF keyword at the start", model3d::kReadProc);
    model3d::TextScanner text(file, kFormat, skip);
    text.comment = '#';
    const uint64_t points = text.count("point count", Limits::runsOrPoints);
    const uint64_t faceCount = text.count("face count", Limits::runsOrPoints);
    text.count("edge count", UINT64_MAX);
    if (saturatingAdd(saturatingMul(points, 6), saturatingMul(faceCount, 4)) > text.remaining())
        text.fail(std::to_string(points) + " points and " + std::to_string(faceCount) + " faces exceed the " +
                  std::to_string(text.remaining()) + " bytes left");

    auto model = std::make_shared<ObjectModel3d>();
    budget.take(saturatingMul(points, normals ? 24 : 12), [&] { return std::to_string(points) + " points"; });
    std::vector<float>* axes[6] = {&model->x, &model->y, &model->z, &model->nx, &model->ny, &model->nz};
    for (int a = 0; a < (normals ? 6 : 3); ++a) axes[a]->resize(static_cast<size_t>(points));
    size_t channels = 0;
    std::vector<double> colour;
    for (uint64_t i = 0; i < points; ++i) {
        for (int a = 0; a < (normals ? 6 : 3); ++a)
            (*axes[a])[static_cast<size_t>(i)] = static_cast<float>(text.real("point coordinate", a == 0));
        if (colours) {
            colour.clear();
            while (colour.size() < 5 && text.hasWord(false)) colour.push_back(text.real("colour"));
            if (i == 0) {
                if (colour.size() != 3 && colour.size() != 4) text.fail("a colour of other than 3 or 4 values");
                channels = colour.size();
                budget.take(saturatingMul(points, 8 * channels), [&] { return std::to_string(points) + " colours"; });
                static const char* const names[] = {"red", "green", "blue", "alpha"};
                for (size_t c = 0; c < channels; ++c)
                    model->attributes.push_back({names[c], false, std::vector<double>(static_cast<size_t>(points))});
            } else if (colour.size() != channels) {
                text.fail("a colour of " + std::to_string(colour.size()) + " values after colours of " +
                          std::to_string(channels));
            }
            for (size_t c = 0; c < channels; ++c) model->attributes[c].values[static_cast<size_t>(i)] = colour[c];
        }
        text.skipLine();
    }
    model3d::Faces faces(budget, kFormat);
    for (uint64_t f = 0; f < faceCount; ++f) {
        const uint64_t n = text.count("face point count", Limits::runsOrPoints);
        if (saturatingMul(n, 2) > text.remaining())
            text.fail("a face of " + std::to_string(n) + " points exceeds the bytes left");
        if (n == 0) text.fail("a face without points");
        faces.begin(n);
        for (uint64_t k = 0; k < n; ++k) faces.add(text.count("point index", UINT32_MAX, false));
        text.skipLine();
    }
    faces.finish(*model);
    return model3d::modelHandle(std::move(model), kFormat);
}

}  // namespace ixv::formats::off
