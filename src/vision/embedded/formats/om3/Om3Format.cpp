#include "formats/om3/Om3Format.h"

#include <cstring>

#include "formats/Model3dRead.h"
#include "formats/hdict/Model3dBlock.h"
#include "tools/Dict.h"

using HalconCpp::HHandle;
using HalconCpp::HTuple;

namespace ixv::formats::om3 {

namespace {

constexpr const char* kFormat = "3D object model";
const uint8_t kMagic[8] = {0x89, 'I', 'X', 'O', 'M', '3', '\r', '\n'};
constexpr uint32_t kVersion = 1;

}  // namespace

bool matches(const uint8_t* head, size_t size) {
    return size >= sizeof kMagic && std::memcmp(head, kMagic, sizeof kMagic) == 0;
}

HHandle readHandle(const ByteSource& file, Budget& budget, const HTuple&, const HTuple&) {
    BinaryIn in(file, budget, kFormat, 0);
    uint8_t magic[sizeof kMagic];
    in.read(magic, sizeof magic, "magic");
    if (std::memcmp(magic, kMagic, sizeof magic) != 0) in.invalid("no 3D object model file magic", 0);
    const uint32_t version = in.read<uint32_t>("version");
    if (version != kVersion) in.invalid("version " + std::to_string(version), 8);
    const uint32_t reserved = in.read<uint32_t>("reserved field");
    if (reserved != 0) in.invalid("reserved field " + std::to_string(reserved), 12);
    auto model = model3d::read(in);
    if (in.remaining() != 0) in.invalid(std::to_string(in.remaining()) + " bytes after the model");
    return model3d::modelHandle(std::move(model), kFormat);
}

void writeHandle(const HHandle& handle, FileSink& sink, const HTuple&, const HTuple&) {
    const ObjectModel3d& model = toolAs<ObjectModel3d>(handle, model3d::kWriteProc);
    BinaryOut out(&sink);
    out.put(kMagic, sizeof kMagic);
    out.put<uint32_t>(kVersion);
    out.put<uint32_t>(0);
    model3d::write(model, out, model3d::kWriteProc);
    out.flush();
}

}  // namespace ixv::formats::om3
