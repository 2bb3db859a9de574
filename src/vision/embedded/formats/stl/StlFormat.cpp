#include "formats/stl/StlFormat.h"

#include <strings.h>

#include <cstring>

#include "formats/Model3dRead.h"
#include "tools/Dict.h"

using HalconCpp::HHandle;
using HalconCpp::HTuple;

namespace ixv::formats::stl {

namespace {

constexpr const char* kFormat = "STL";
constexpr uint64_t kTriangleBytes = 50;

std::shared_ptr<ObjectModel3d> readBinary(const ByteSource& file, Budget& budget, uint64_t count) {
    checkLimit(saturatingMul(count, 3), Limits::runsOrPoints, model3d::kReadProc,
               std::to_string(count) + " triangles of three points each", "points");
    budget.take(saturatingMul(count, 84), [&] { return std::to_string(count) + " triangles"; });
    auto model = std::make_shared<ObjectModel3d>();
    const size_t n = static_cast<size_t>(count) * 3;
    std::vector<float>* axes[6] = {&model->x, &model->y, &model->z, &model->nx, &model->ny, &model->nz};
    for (auto* axis : axes) axis->resize(n);
    model->triangles.resize(n);
    ByteStream in(file, kFormat, 84);
    const size_t perChunk = (64 << 10) / kTriangleBytes;
    for (size_t done = 0; done < count;) {
        const size_t k = std::min<size_t>(perChunk, static_cast<size_t>(count) - done);
        const uint8_t* chunk = in.take(k * kTriangleBytes, "triangles");
        for (size_t t = 0; t < k; ++t) {
            float v[12];
            std::memcpy(v, chunk + t * kTriangleBytes, sizeof v);
            const size_t p = (done + t) * 3;
            for (size_t c = 0; c < 3; ++c) {
                model->x[p + c] = v[3 + 3 * c];
                model->y[p + c] = v[4 + 3 * c];
                model->z[p + c] = v[5 + 3 * c];
                model->nx[p + c] = v[0];
                model->ny[p + c] = v[1];
                model->nz[p + c] = v[2];
                model->triangles[p + c] = static_cast<uint32_t>(p + c);
            }
        }
        done += k;
    }
    return model;
}

std::shared_ptr<ObjectModel3d> readAscii(const ByteSource& file, Budget& budget) {
    model3d::TextScanner text(file, kFormat);
    auto expect = [&](const char* keyword) {
        const std::string& word = text.word(keyword);
        if (::strcasecmp(word.c_str(), keyword) != 0) text.fail("expected '" + std::string(keyword) + "', found '" + word + "'");
    };
    expect("solid");
    text.rest(4096);  // the solid's name
    auto model = std::make_shared<ObjectModel3d>();
    std::vector<float>* axes[6] = {&model->x, &model->y, &model->z, &model->nx, &model->ny, &model->nz};
    for (;;) {
        if (!text.hasWord(true)) text.fail("the file ends without 'endsolid'");
        const std::string word = text.word("'facet' or 'endsolid'");
        if (::strcasecmp(word.c_str(), "endsolid") == 0) {
            text.skipLine();
            if (!text.hasWord(true)) break;  // another solid may follow
            expect("solid");
            text.rest(4096);
            continue;
        }
        if (::strcasecmp(word.c_str(), "facet") != 0) text.fail("expected 'facet' or 'endsolid', found '" + word + "'");
        checkLimit(model->x.size() + 3, Limits::runsOrPoints, model3d::kReadProc, "more triangles", "points");
        for (auto* axis : axes) model3d::grow(*axis, 3, budget, "points");
        model3d::grow(model->triangles, 3, budget, "triangles");
        expect("normal");
        float normal[3];
        for (float& v : normal) v = static_cast<float>(text.real("normal component"));
        expect("outer");
        expect("loop");
        for (int c = 0; c < 3; ++c) {
            expect("vertex");
            for (int a = 0; a < 3; ++a) axes[a]->push_back(static_cast<float>(text.real("vertex coordinate")));
            for (int a = 0; a < 3; ++a) axes[3 + a]->push_back(normal[a]);
            model->triangles.push_back(static_cast<uint32_t>(model->triangles.size()));
        }
        expect("endloop");
        expect("endfacet");
    }
    return model;
}

}  // namespace

HHandle readHandle(const ByteSource& file, Budget& budget, const HTuple&, const HTuple&) {
    if (file.size() >= 84) {
        uint32_t count = 0;
        file.read(80, &count, 4, kFormat, "triangle count");
        if (file.size() == 84 + uint64_t{count} * kTriangleBytes) return model3d::modelHandle(readBinary(file, budget, count), kFormat);
    }
    const auto& head = file.head();
    size_t at = 0;
    while (at < head.size() && (head[at] == ' ' || head[at] == '\t' || head[at] == '\r' || head[at] == '\n')) ++at;
    if (head.size() - at < 5 || ::strncasecmp(reinterpret_cast<const char*>(head.data() + at), "solid", 5) != 0) {
        std::string detail = "neither ASCII (beginning with 'solid') nor binary";
        if (file.size() >= 84) {
            uint32_t count = 0;
            file.read(80, &count, 4, kFormat, "triangle count");
            detail += " (" + std::to_string(count) + " triangles need " +
                      std::to_string(84 + uint64_t{count} * kTriangleBytes) + " bytes, the file has " +
                      std::to_string(file.size()) + ")";
        }
        raiseInvalid(kFormat, detail, model3d::kReadProc);
    }
    return model3d::modelHandle(readAscii(file, budget), kFormat);
}

}  // namespace ixv::formats::stl
