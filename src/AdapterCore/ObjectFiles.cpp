#include "ObjectFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <sstream>

#include "AdapterCore.h"
#include "NumberText.h"
#include "ObjectNodes.h"
#include "StringBridge.h"

using namespace HalconCpp;

const std::vector<std::wstring>& sequenceProbeExtensions() {
    static const std::vector<std::wstring> extensions = {
        L"png", L"tif", L"tiff", L"jpg", L"jpeg", L"bmp", L"jp2", L"jxr", L"wdp", L"wmp",
        L"hdp", L"pcx", L"ras", L"pgm", L"ppm", L"pbm", L"pnm", L"xwd", L"gif", L"ima"};
    return extensions;
}

namespace {

// What a message quotes of a text read from a file: at most 200 characters.
std::wstring excerpt(const std::string& bytes) {
    std::wstring text = fromHString(HString(bytes.substr(0, 800).c_str()));
    if (text.size() > 200 || bytes.size() > 800) text = text.substr(0, 200) + L"...";
    return text;
}

}  // namespace

std::vector<std::wstring> sequenceEntries(std::istream& in, std::wstring* error) {
    std::vector<std::wstring> entries;
    std::string line;
    for (size_t number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > kMaxSequenceLine) {
            if (error)
                *error = L"Sequence line " + integerText(static_cast<long long>(number)) + L" of " +
                         integerText(static_cast<long long>(line.size())) + L" bytes exceeds the limit of " +
                         integerText(kMaxSequenceLine) + L" bytes: " + excerpt(line);
            return {};
        }
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        if (entries.size() == kMaxSequenceEntries) {
            if (error)
                *error = L"Sequence file of more than " + integerText(kMaxSequenceEntries) +
                         L" entries exceeds the limit of " + integerText(kMaxSequenceEntries) + L" entries";
            return {};
        }
        const size_t last = line.find_last_not_of(" \t");
        // Handed over as a NUL-terminated text: a NUL byte ends the entry.
        entries.push_back(fromHString(HString(line.substr(first, last - first + 1).c_str())));
    }
    return entries;
}

namespace {

// The path without its last component; "/" stays "/", a bare name gives "".
std::string parentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool isRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::path(path), error);
}

std::string joined(const std::string& directory, const std::string& entry) {
    if (!entry.empty() && entry.front() == '/') return entry;
    if (directory.empty()) return entry;
    return directory == "/" ? "/" + entry : directory + "/" + entry;
}

std::string utf8(const std::wstring& text) {
    return toHString(text).TextA();
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// The bytes of a sequence file. Only a regular file is read, and only up to
// the size limit; a FIFO or a device is refused at once, without blocking.
// On failure the message says why, naming the file as `name`, or is
// empty when the file could not be opened or read at all.
bool readSequenceFile(const std::string& path, const std::wstring& name, std::string* bytes,
                      std::wstring* problem) {
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status;
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0) return false;
    if (!S_ISREG(status.st_mode)) {
        const wchar_t* kind = S_ISDIR(status.st_mode)    ? L"a directory"
                              : S_ISFIFO(status.st_mode) ? L"a FIFO"
                              : S_ISCHR(status.st_mode)  ? L"a character device"
                              : S_ISBLK(status.st_mode)  ? L"a block device"
                              : S_ISSOCK(status.st_mode) ? L"a socket"
                                                         : L"something else";
        *problem = L"Sequence file is " + std::wstring(kind) + L", not a regular file: " + name;
        return false;
    }
    const auto tooLarge = [&](long long size) {
        *problem = L"Sequence file of " + integerText(size) + L" bytes exceeds the limit of " +
                   integerText(kMaxSequenceBytes) + L" bytes: " + name;
        return false;
    };
    if (status.st_size > static_cast<off_t>(kMaxSequenceBytes)) return tooLarge(status.st_size);
    bytes->clear();
    bytes->reserve(static_cast<size_t>(status.st_size));
    char chunk[1 << 16];
    for (;;) {
        const ssize_t n = ::read(file.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        // The file may have grown since fstat.
        if (bytes->size() + static_cast<size_t>(n) > kMaxSequenceBytes)
            return tooLarge(static_cast<long long>(bytes->size()) + n);
        bytes->append(chunk, static_cast<size_t>(n));
    }
}

std::unique_ptr<NativeNode> fileNode(const std::wstring& path, const HObject& objects) {
    HTuple countTuple;
    CountObj(objects, &countTuple);
    const long long count = countTuple[0].L();

    auto root = std::make_unique<NativeNode>();
    root->kind = IxNodeKind::Container;
    root->typeLabel = L"file";
    root->valueSummary = integerText(count) + (count == 1 ? L" object" : L" objects");

    // A file name may hold any character but "/": the label stays one line.
    const std::wstring baseName = oneLine(fileBaseName(path));
    for (long long i = 1; i <= count; ++i) {
        root->appendChild(buildObjectNode(objects.SelectObj(static_cast<Hlong>(i)),
                                          count == 1 ? baseName : L"Object " + integerText(i), IxPathSegmentKind::Index,
                                          static_cast<int32_t>(i - 1)));
    }
    return root;
}

}  // namespace

std::vector<std::string> sequenceSearchDirectories(const std::string& sequencePath) {
    const std::string directory = parentOf(sequencePath);
    return {parentOf(directory), directory};
}

std::string resolveSequenceEntry(const std::string& entry, const std::vector<std::string>& directories) {
    for (const std::string& directory : directories) {
        const std::string candidate = joined(directory, entry);
        if (isRegularFile(candidate)) return candidate;
        for (const std::wstring& extension : sequenceProbeExtensions()) {
            const std::string probed = candidate + "." + utf8(extension);
            if (isRegularFile(probed)) return probed;
        }
    }
    return std::string();
}

std::wstring fileBaseName(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"/\\");
    std::wstring name = separator == std::wstring::npos ? path : path.substr(separator + 1);
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    return name;
}

ObjectSource objectSourceBySuffix(const std::wstring& path) {
    const std::wstring suffix = suffixOf(path);
    if (suffix == L"hobj") return ObjectSource::ObjectFile;
    if (suffix == L"seq") return ObjectSource::SequenceFile;
    return ObjectSource::ImageFile;
}

std::unique_ptr<NativeNode> AdapterCore::parseObjectFile(const std::wstring& path, std::wstring& error) {
    return parseObjectFile(path, objectSourceBySuffix(path), error);
}

std::unique_ptr<NativeNode> AdapterCore::parseObjectFile(const std::wstring& path, ObjectSource source,
                                                         std::wstring& error) {
    return reported(error, std::unique_ptr<NativeNode>(), [&]() -> std::unique_ptr<NativeNode> {
        HObject objects;
        if (source == ObjectSource::ObjectFile) {
            ReadObject(&objects, HTuple(toHString(path)));
        } else if (source == ObjectSource::SequenceFile) {
            const std::string sequencePath = utf8(path);
            std::string bytes;
            std::wstring problem;
            std::vector<std::wstring> entries;
            if (readSequenceFile(sequencePath, path, &bytes, &problem)) {
                std::istringstream lines(std::move(bytes));
                entries = sequenceEntries(lines, &problem);
            }
            if (!problem.empty()) {
                error = problem;
                return nullptr;
            }
            if (entries.empty()) {
                error = L"Sequence file is empty or could not be read: " + path;
                return nullptr;
            }
            const std::vector<std::string> directories = sequenceSearchDirectories(sequencePath);
            HTuple names;
            for (const std::wstring& entry : entries) {
                const std::string resolved = resolveSequenceEntry(utf8(entry), directories);
                if (resolved.empty()) {
                    error = L"Sequence entry not found: " + entry;
                    return nullptr;
                }
                names.Append(HTuple(toHString(fromHString(HString(resolved.c_str())))));
            }
            ReadImage(&objects, names);
        } else {
            ReadImage(&objects, HTuple(toHString(path)));
        }
        return fileNode(path, objects);
    });
}
