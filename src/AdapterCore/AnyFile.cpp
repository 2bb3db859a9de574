// Opening any file: the kind of load a file calls for, told from its first
// bytes, and from its suffix only where the content cannot tell.
//
// The table below states the magic bytes of the formats the embedded library
// reads (docs/formats.md). It lives here, not in the vision library, because
// the adapter sees only the vendor's interface: the same recognition runs
// against either backend, and the vendor's own formats (object files,
// dictionaries, models), whose magic is not published, are found by suffix.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "AdapterCore.h"
#include "ObjectFiles.h"
#include "StringBridge.h"

namespace {

constexpr size_t kHeadBytes = 16;

struct Magic {
    const char* bytes;
    size_t size;
    IxLoadKind kind;
    ObjectSource source;
};

// clang-format off
const Magic kMagics[] = {
    {"\x89PNG\r\n\x1a\n",     8, IxLoadKind::Object,        ObjectSource::ImageFile},
    {"\xff\xd8\xff",          3, IxLoadKind::Object,        ObjectSource::ImageFile},   // JPEG
    {"II*\0",                 4, IxLoadKind::Object,        ObjectSource::ImageFile},   // TIFF
    {"II+\0",                 4, IxLoadKind::Object,        ObjectSource::ImageFile},   // BigTIFF
    {"MM\0*",                 4, IxLoadKind::Object,        ObjectSource::ImageFile},
    {"MM\0+",                 4, IxLoadKind::Object,        ObjectSource::ImageFile},
    {"BM",                    2, IxLoadKind::Object,        ObjectSource::ImageFile},   // BMP
    {"\x89IXOBJ\r\n",         8, IxLoadKind::Object,        ObjectSource::ObjectFile},
    {"\x89IXDIC\r\n",         8, IxLoadKind::Dict,          ObjectSource::ImageFile},
    {"\x89IXOM3\r\n",         8, IxLoadKind::ObjectModel3d, ObjectSource::ImageFile},
    {"ply\n",                 4, IxLoadKind::ObjectModel3d, ObjectSource::ImageFile},
    {"ply\r",                 4, IxLoadKind::ObjectModel3d, ObjectSource::ImageFile},
};
// clang-format on

bool isBlank(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// "P1".."P6" and a blank or a comment: a PNM image, plain or raw.
bool isPnm(const uint8_t* head, size_t size) {
    return size >= 3 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6' && (isBlank(head[2]) || head[2] == '#');
}

// "OFF", "COFF", "NOFF", "CNOFF" or "NCOFF" and a blank.
bool isOff(const uint8_t* head, size_t size) {
    size_t at = 0;
    while (at < 2 && at < size && (head[at] == 'C' || head[at] == 'N')) ++at;
    return size >= at + 4 && std::memcmp(head + at, "OFF", 3) == 0 && isBlank(head[at + 3]);
}

// After a byte-order mark and blanks, "{" or "[".
bool isJson(const uint8_t* head, size_t size) {
    size_t at = size >= 3 && head[0] == 0xef && head[1] == 0xbb && head[2] == 0xbf ? 3 : 0;
    while (at < size && isBlank(head[at])) ++at;
    return at < size && (head[at] == '{' || head[at] == '[');
}

// An ONNX model: protobuf's field 1 (ir_version, 1..63 in one byte), then the
// key of another field of a model.
bool isOnnx(const uint8_t* head, size_t size) {
    if (size < 3 || head[0] != 0x08 || head[1] == 0 || head[1] > 0x3f) return false;
    switch (head[2]) {
    case 0x12: case 0x1a: case 0x22: case 0x28: case 0x32: case 0x3a: case 0x42: case 0x72: return true;
    case 0xa2: case 0xca: return size > 3 && head[3] == 0x01;
    default: return false;
    }
}

// Up to kHeadBytes of a regular file; nothing when it cannot be opened or is
// no regular file (the reader then says why). Never blocks on a FIFO.
size_t readHead(const std::wstring& path, uint8_t* head) {
    const int fd = ::open(toHString(path).TextA(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    size_t size = 0;
    struct stat status;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        while (size < kHeadBytes) {
            const ssize_t n = ::read(fd, head + size, kHeadBytes - size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            size += static_cast<size_t>(n);
        }
    }
    ::close(fd);
    return size;
}

}  // namespace

FileKind AdapterCore::recognizeFile(const std::wstring& path) {
    uint8_t head[kHeadBytes];
    const size_t size = readHead(path, head);
    for (const Magic& magic : kMagics)
        if (size >= magic.size && std::memcmp(head, magic.bytes, magic.size) == 0) return {magic.kind, magic.source};
    if (isPnm(head, size)) return {IxLoadKind::Object, ObjectSource::ImageFile};
    if (isOff(head, size)) return {IxLoadKind::ObjectModel3d, ObjectSource::ImageFile};
    if (isJson(head, size)) return {IxLoadKind::Dict, ObjectSource::ImageFile};
    if (isOnnx(head, size)) return {IxLoadKind::DlModel, ObjectSource::ImageFile};
    // No magic: text formats (sequence files, OBJ, ASCII STL), binary STL,
    // and the vendor's own files.
    const std::wstring suffix = suffixOf(path);
    if (suffix == L"hdict" || suffix == L"json") return {IxLoadKind::Dict, ObjectSource::ImageFile};
    if (suffix == L"hdl" || suffix == L"onnx") return {IxLoadKind::DlModel, ObjectSource::ImageFile};
    for (const wchar_t* model : {L"om3", L"ply", L"off", L"obj", L"stl"})
        if (suffix == model) return {IxLoadKind::ObjectModel3d, ObjectSource::ImageFile};
    return {IxLoadKind::Object, objectSourceBySuffix(path)};
}

std::unique_ptr<NativeNode> AdapterCore::parseAnyFile(const std::wstring& path,
                                                      const std::vector<NativeJsonParam>& options, IxLoadKind& kind,
                                                      std::wstring& error) {
    const FileKind file = recognizeFile(path);
    kind = file.kind;
    switch (file.kind) {
    case IxLoadKind::Dict: return parseFile(path, options, error);
    case IxLoadKind::DlModel: return parseDlModelFile(path, error);
    case IxLoadKind::ObjectModel3d: return parseObjectModel3dFile(path, error);
    default: return parseObjectFile(path, file.source, error);
    }
}
