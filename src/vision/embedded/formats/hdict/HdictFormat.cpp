// The embedded dictionary file: a magic and version, then the root
// dictionary. The layout is specified byte for byte in docs/formats.md; all
// numbers are little-endian.
//
// Nested handles are written inline, so a file is a tree: nothing refers to
// anything by id, and no file can describe a cycle. Reading and writing walk
// the tree with a stack of their own (at most Limits::nestingDepth
// dictionaries deep), never by recursion, so a host thread with a small stack
// is as safe as any.
#include "formats/hdict/HdictFormat.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "base/Access.h"
#include "base/Errors.h"
#include "base/TupleData.h"
#include "formats/hdict/Binary.h"
#include "formats/hdict/Model3dBlock.h"
#include "formats/hobj/HobjFormat.h"
#include "tools/Dict.h"
#include "tools/DictParams.h"
#include "tools/Matrix.h"

using HalconCpp::HHandle;
using HalconCpp::HTuple;

namespace ixv::formats::hdict {

namespace {

const uint8_t kMagic[8] = {0x89, 'I', 'X', 'D', 'I', 'C', '\r', '\n'};
constexpr uint32_t kVersion = 1;
constexpr const char* kFormat = "dictionary";

enum KeyTag : uint8_t { kStringKey = 1, kIntegerKey = 2 };
enum ValueTag : uint8_t { kIntegers = 1, kReals = 2, kMixed = 3, kObjects = 4 };
enum ElementTag : uint8_t {
    kInteger = 1,
    kReal = 2,
    kString = 3,
    kNullHandle = 16,
    kDictHandle = 17,
    kMatrixHandle = 18,
    kModelHandle = 19,
    kLeftOutHandle = 31,
};

// The smallest entry: a string key of no bytes (1 + 4) and an empty tuple (1 + 8).
constexpr uint64_t kMinEntry = 14;
// What reading costs beside the content's own bytes, taken from the budget: a
// dictionary with its handle's control block; an entry (its vector may hold
// twice as many while it grows), the storage of its tuple with its control
// block, and its node in the key index.
constexpr uint64_t kDictCost = sizeof(Dict) + 64;
constexpr uint64_t kEntryCost = 2 * sizeof(HTuple) + sizeof(Element) + sizeof(TupleData) + 16 + 64;
constexpr uint64_t kMatrixCost = sizeof(Matrix) + 64;

// One step of a path: a key, or the index of a handle in a tuple.
struct Segment {
    bool isIndex = false;
    uint64_t index = 0;
    DictKey key;
};

std::string keyText(const DictKey& key) {
    if (key.isInteger()) return std::to_string(key.integer());
    const std::string& text = key.text();
    if (text.size() <= 40) return "'" + text + "'";
    size_t cut = 40;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // not within a character
    return "'" + text.substr(0, cut) + "...'";
}

// "'a'/[2]/'b'"; a deep path keeps its first and last steps.
std::string pathText(const std::vector<Segment>& path) {
    std::string text;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path.size() > 12 && i == 4) {
            text += "/...";
            i = path.size() - 6;
        }
        if (!text.empty()) text += "/";
        text += path[i].isIndex ? "[" + std::to_string(path[i].index) + "]" : keyText(path[i].key);
    }
    return text;
}

// --- reading ---------------------------------------------------------------------

class Reader {
public:
    Reader(const ByteSource& file, Budget& budget) : in_(file, budget, kFormat, 0) {}

    HHandle read() {
        uint8_t magic[sizeof(kMagic)];
        in_.read(magic, sizeof magic, "magic");
        if (std::memcmp(magic, kMagic, sizeof magic) != 0) in_.invalid("no dictionary file magic", 0);
        const uint32_t version = in_.read<uint32_t>("version");
        if (version != kVersion) in_.invalid("unsupported version " + std::to_string(version), 8);
        if (in_.read<uint32_t>("reserved field") != 0) in_.invalid("reserved header field is not 0", 12);
        in_.where = [this] { return where(); };
        const std::shared_ptr<Dict> root = openDict();
        while (!stack_.empty()) {
            Frame& frame = stack_.back();
            if (frame.inTuple) {
                if (frame.elementsLeft == 0) {
                    frame.dict->append(std::move(path_.back().key), DictValue::of(tupleOfElements(std::move(frame.elements))));
                    frame.elements = {};
                    frame.inTuple = false;
                    path_.pop_back();
                } else {
                    --frame.elementsLeft;
                    readElement();
                }
            } else if (frame.entriesLeft == 0) {
                stack_.pop_back();
                if (!path_.empty()) path_.pop_back();  // the index of the dictionary in its tuple
            } else {
                --frame.entriesLeft;
                readEntry();
            }
        }
        if (in_.remaining() != 0)
            raiseInvalid(kFormat,
                         std::to_string(in_.remaining()) + " bytes after the root dictionary at offset " +
                             std::to_string(in_.offset()),
                         in_.proc());
        return handleOf(root);
    }

private:
    // A dictionary being read; `inTuple` while the elements of its current
    // entry's mixed tuple are read.
    struct Frame {
        std::shared_ptr<Dict> dict;
        uint64_t entriesLeft = 0;
        bool inTuple = false;
        std::vector<Element> elements;
        uint64_t elementsLeft = 0;
    };

    std::string where() const {
        return path_.empty() ? " in the root dictionary" : " in the value of key " + pathText(path_);
    }

    void countHandle(uint64_t at) {
        if (++handles_ > Limits::handlesPerFile)
            checkLimit(handles_, Limits::handlesPerFile, in_.proc(),
                       "handle " + std::to_string(handles_) + where() + " at offset " + std::to_string(at), "handles");
    }

    // Reads a dictionary's entry count and pushes its frame.
    std::shared_ptr<Dict> openDict() {
        const uint64_t at = in_.offset();
        const uint64_t depth = stack_.size() + 1;
        if (depth > static_cast<uint64_t>(Limits::nestingDepth))
            checkLimit(depth, Limits::nestingDepth, in_.proc(),
                       "dictionary nesting of " + std::to_string(depth) + " levels" + where() + " at offset " +
                           std::to_string(at),
                       "levels");
        countHandle(at);
        in_.takeBytes(kDictCost, "dictionary");
        const uint64_t entries = in_.count(kMinEntry, UINT64_MAX, "entry count", "");
        in_.takeBytes(saturatingMul(entries, kEntryCost), "dictionary entries");
        stack_.push_back(Frame{newDict(), entries, false, {}, 0});
        return stack_.back().dict;
    }

    void readEntry() {
        const uint64_t at = in_.offset();
        const uint8_t keyTag = in_.read<uint8_t>("key tag");
        DictKey key;
        if (keyTag == kStringKey)
            key = DictKey(in_.string("key"));
        else if (keyTag == kIntegerKey)
            key = DictKey(static_cast<Hlong>(in_.read<int64_t>("integer key")));
        else
            in_.invalid("unknown key tag " + std::to_string(keyTag), at);
        Frame& frame = stack_.back();
        if (frame.dict->contains(key)) in_.invalid("key " + keyText(key) + " appears twice", at);
        path_.push_back(Segment{false, 0, std::move(key)});
        const uint64_t valueAt = in_.offset();
        const uint8_t tag = in_.read<uint8_t>("value tag");
        DictValue value;
        switch (tag) {
        case kIntegers:
            value = DictValue::of(tupleOfLongs(in_.array<Hlong>(in_.count(8, UINT64_MAX, "integer count", ""), "integers")));
            break;
        case kReals:
            value = DictValue::of(tupleOfDoubles(in_.array<double>(in_.count(8, UINT64_MAX, "real count", ""), "reals")));
            break;
        case kObjects: value = DictValue::of(readObjects()); break;
        case kMixed: {
            const uint64_t n = in_.count(1, UINT64_MAX, "element count", "");
            in_.takeBytes(saturatingMul(n, sizeof(Element)), "tuple");
            frame.inTuple = true;
            frame.elements.reserve(static_cast<size_t>(n));
            frame.elementsLeft = n;
            return;
        }
        default: in_.invalid("unknown value tag " + std::to_string(tag), valueAt);
        }
        frame.dict->append(std::move(path_.back().key), std::move(value));
        path_.pop_back();
    }

    void readElement() {
        std::vector<Element>& elements = stack_.back().elements;
        const uint64_t index = elements.size();
        const uint64_t at = in_.offset();
        const uint8_t tag = in_.read<uint8_t>("element tag");
        switch (tag) {
        case kInteger: elements.emplace_back(static_cast<Hlong>(in_.read<int64_t>("integer"))); return;
        case kReal: elements.emplace_back(in_.read<double>("real")); return;
        case kString: elements.emplace_back(in_.string("string")); return;
        case kNullHandle: elements.emplace_back(HHandle()); return;
        case kLeftOutHandle:
            in_.string("type of a left-out handle");
            elements.emplace_back(HHandle());
            return;
        case kDictHandle: {
            path_.push_back(Segment{true, index, {}});
            std::shared_ptr<Dict> dict = openDict();  // invalidates `elements`
            stack_[stack_.size() - 2].elements.emplace_back(handleOf(std::move(dict)));
            return;
        }
        case kMatrixHandle:
        case kModelHandle: {
            path_.push_back(Segment{true, index, {}});
            countHandle(at);
            elements.emplace_back(handleOf(tag == kMatrixHandle ? std::shared_ptr<Tool>(readMatrix())
                                                                : std::shared_ptr<Tool>(model3d::read(in_))));
            path_.pop_back();
            return;
        }
        default: in_.invalid("unknown element tag " + std::to_string(tag), at);
        }
    }

    std::shared_ptr<Matrix> readMatrix() {
        const uint64_t at = in_.offset();
        const uint64_t rows = in_.read<uint64_t>("matrix rows");
        const uint64_t columns = in_.read<uint64_t>("matrix columns");
        if (rows > INT64_MAX || columns > INT64_MAX)
            in_.invalid("matrix of " + std::to_string(rows) + " x " + std::to_string(columns) + " elements", at);
        Matrix::checkSize(static_cast<int64_t>(rows), static_cast<int64_t>(columns), in_.proc());
        const uint64_t n = rows * columns;
        if (n * 8 > in_.remaining())
            in_.invalid("matrix of " + std::to_string(rows) + " x " + std::to_string(columns) + " exceeds the " +
                            std::to_string(in_.remaining()) + " bytes left",
                        at);
        in_.takeBytes(kMatrixCost, "matrix");
        std::vector<double> values = in_.array<double>(n, "matrix values");
        return std::make_shared<Matrix>(static_cast<Hlong>(rows), static_cast<Hlong>(columns), std::move(values));
    }

    // A complete object file, read from memory by the object file's reader with this file's budget.
    HalconCpp::HObject readObjects() {
        const uint64_t at = in_.offset();
        const uint64_t size = in_.count(1, UINT64_MAX, "object block size", "");
        in_.takeBytes(size, "object block");
        std::vector<uint8_t> block(static_cast<size_t>(size));
        in_.read(block.data(), size, "object block");
        const ByteSource source = ByteSource::inMemory(block.data(), block.size(), in_.proc());
        if (!hobj::matches(block.data(), block.size())) in_.invalid("object block is no object file", at + 8);
        try {
            return objectOf(hobj::readObjects(source, in_.budget()));
        } catch (const HalconCpp::HException& e) {
            if (e.ErrorCode() != err::FileFormat) throw;
            raiseInvalid(kFormat,
                         "object block" + where() + " at offset " + std::to_string(at + 8) + " (" +
                             e.ErrorMessage().TextA() + ", offsets within the block)",
                         in_.proc());
        }
    }

    BinaryIn in_;
    std::vector<Frame> stack_;
    std::vector<Segment> path_;
    uint64_t handles_ = 0;
};

// --- writing ---------------------------------------------------------------------

bool serializable(const Tool* tool) {
    return dynamic_cast<const Dict*>(tool) || dynamic_cast<const Matrix*>(tool) ||
           dynamic_cast<const ObjectModel3d*>(tool);
}

// The element list of a key's tuple, when it is a list (a string or a handle
// held inline is one, made for the writer and kept alive by `held`).
const std::vector<Element>* mixedOf(const Dict& dict, size_t i, std::shared_ptr<const TupleData>& held) {
    if (dict.holdsObject(i)) return nullptr;
    const HTuple& value = dict.valueAt(i);
    const TupleData* data = storedOf(value);
    if (!data && value.Length() == 1 && !singleInteger(value) && !singleReal(value)) {
        held = storageOf(value);
        data = held.get();
    }
    return data && data->kind() == TupleData::Kind::Mixed ? &data->mixed() : nullptr;
}

class Writer {
public:
    Writer(BinaryOut& out, bool raiseIfNotSerializable, const char* proc)
        : out_(out), raise_(raiseIfNotSerializable), proc_(proc) {}

    void write(const Dict& root) {
        check(root);
        out_.put(kMagic, sizeof kMagic);
        out_.put<uint32_t>(kVersion);
        out_.put<uint32_t>(0);
        writeTree(root);
        out_.flush();
    }

private:
    // A dictionary being visited: its current entry, and the next element of that entry's tuple.
    struct Visit {
        const Dict* dict;
        size_t entry = 0;
        size_t element = 0;
        uint64_t handles = 1;  // in the written tree below and including this dictionary
        uint64_t height = 1;   // levels of dictionaries from this one down
        std::shared_ptr<const TupleData> held;  // see mixedOf
    };

    static std::string pathOf(const std::vector<Visit>& stack) {
        std::vector<Segment> path;
        for (const Visit& visit : stack) {
            if (visit.entry >= visit.dict->size()) break;
            path.push_back(Segment{false, 0, visit.dict->keyAt(visit.entry)});
            if (visit.element > 0) path.push_back(Segment{true, visit.element - 1, {}});
        }
        return path.empty() ? "the root dictionary" : "key " + pathText(path);
    }

    // Before a byte is written: what the file would hold. Each dictionary is
    // visited once, its handle count and height remembered, so that a
    // dictionary shared under many keys costs one visit however often it is
    // written; a dictionary met again while it is being visited contains itself.
    void check(const Dict& root) {
        std::unordered_map<const Dict*, std::pair<uint64_t, uint64_t>> done;
        std::unordered_set<const Dict*> open{&root};
        std::vector<Visit> stack{Visit{&root}};
        const uint64_t maxDepth = static_cast<uint64_t>(Limits::nestingDepth);
        auto tooDeep = [&](uint64_t depth) {
            checkLimit(depth, maxDepth, proc_, "dictionary nesting of " + std::to_string(depth) + " levels at " + pathOf(stack),
                       "levels");
        };
        while (!stack.empty()) {
            Visit& visit = stack.back();
            const Dict* child = nullptr;
            while (!child && visit.entry < visit.dict->size()) {
                const std::vector<Element>* mixed = mixedOf(*visit.dict, visit.entry, visit.held);
                if (!mixed || visit.element >= mixed->size()) {
                    ++visit.entry;
                    visit.element = 0;
                    continue;
                }
                const HHandle* handle = std::get_if<HHandle>(&(*mixed)[visit.element++]);
                if (!handle || !handle->IsInitialized()) continue;
                const Tool* tool = Access::tool(*handle).get();
                const Dict* dict = dynamic_cast<const Dict*>(tool);
                if (!dict) {
                    if (serializable(tool))
                        visit.handles = saturatingAdd(visit.handles, 1);
                    else if (raise_)
                        raise(proc_, err::HandleNotSerializable, std::string("a ") + tool->semType() + " at " + pathOf(stack));
                    continue;
                }
                if (open.count(dict))
                    raise(proc_, err::HandleNotSerializable,
                          "the dictionary at " + pathOf(stack) + " contains itself; a file holds no cycle");
                const auto known = done.find(dict);
                if (known == done.end()) {
                    child = dict;
                    break;
                }
                if (stack.size() + known->second.second > maxDepth) tooDeep(stack.size() + known->second.second);
                visit.handles = saturatingAdd(visit.handles, known->second.first);
                visit.height = std::max(visit.height, known->second.second + 1);
            }
            if (child) {
                if (stack.size() + 1 > maxDepth) tooDeep(stack.size() + 1);
                open.insert(child);
                stack.push_back(Visit{child});
                continue;
            }
            const Visit finished = visit;
            stack.pop_back();
            open.erase(finished.dict);
            done.emplace(finished.dict, std::make_pair(finished.handles, finished.height));
            if (!stack.empty()) {
                stack.back().handles = saturatingAdd(stack.back().handles, finished.handles);
                stack.back().height = std::max(stack.back().height, finished.height + 1);
            }
            if (finished.handles > Limits::handlesPerFile)
                checkLimit(finished.handles, Limits::handlesPerFile, proc_,
                           std::string(finished.handles == UINT64_MAX ? "at least " : "") +
                               std::to_string(finished.handles) + " handles (a dictionary is counted once per place)" +
                               (stack.empty() ? std::string() : " at " + pathOf(stack)),
                           "handles");
        }
    }

    void writeKey(const DictKey& key) {
        if (key.isInteger()) {
            out_.put<uint8_t>(kIntegerKey);
            out_.put<int64_t>(key.integer());
        } else {
            out_.put<uint8_t>(kStringKey);
            out_.string(key.text(), proc_);
        }
    }

    // Writes a tuple that is a run of integers or reals; false for any other.
    bool writeRun(const TupleData* data) {
        const size_t count = data ? static_cast<size_t>(data->size()) : 0;
        if (!data || data->kind() == TupleData::Kind::Longs) {
            out_.put<uint8_t>(kIntegers);
            out_.put<uint64_t>(count);
            if (data) out_.put(data->longs(), count * sizeof(Hlong));
            return true;
        }
        if (data->kind() == TupleData::Kind::Repeated) {
            out_.put<uint8_t>(kIntegers);
            out_.put<uint64_t>(count);
            for (size_t i = 0; i < count; ++i) out_.put(data->longs()[0]);
            return true;
        }
        if (data->kind() == TupleData::Kind::Doubles) {
            out_.put<uint8_t>(kReals);
            out_.put<uint64_t>(count);
            out_.put(data->doubles(), count * sizeof(double));
            return true;
        }
        // A mixed list that holds only integers or only reals is a run too.
        const auto& mixed = data->mixed();
        for (const size_t type : {size_t{0}, size_t{1}}) {
            if (mixed.empty() || !std::all_of(mixed.begin(), mixed.end(), [&](const Element& e) { return e.index() == type; }))
                continue;
            out_.put<uint8_t>(type == 0 ? kIntegers : kReals);
            out_.put<uint64_t>(mixed.size());
            for (const Element& e : mixed) type == 0 ? out_.put(std::get<Hlong>(e)) : out_.put(std::get<double>(e));
            return true;
        }
        return false;
    }

    // Writes one element of a mixed tuple; a dictionary's entries are left to the caller, which gets it back.
    const Dict* writeElement(const Element& element) {
        if (const Hlong* l = std::get_if<Hlong>(&element)) {
            out_.put<uint8_t>(kInteger);
            out_.put<int64_t>(*l);
        } else if (const double* d = std::get_if<double>(&element)) {
            out_.put<uint8_t>(kReal);
            out_.put(*d);
        } else if (const std::string* s = std::get_if<std::string>(&element)) {
            out_.put<uint8_t>(kString);
            out_.string(*s, proc_);
        } else {
            const Tool* tool = Access::tool(std::get<HHandle>(element)).get();
            if (!tool) {
                out_.put<uint8_t>(kNullHandle);
            } else if (const Dict* dict = dynamic_cast<const Dict*>(tool)) {
                out_.put<uint8_t>(kDictHandle);
                return dict;
            } else if (const Matrix* matrix = dynamic_cast<const Matrix*>(tool)) {
                if (matrix->values().size() != static_cast<uint64_t>(matrix->rows()) * static_cast<uint64_t>(matrix->columns()))
                    raise(proc_, err::HandleNotSerializable, "a matrix whose values do not match its size");
                out_.put<uint8_t>(kMatrixHandle);
                out_.put<uint64_t>(static_cast<uint64_t>(matrix->rows()));
                out_.put<uint64_t>(static_cast<uint64_t>(matrix->columns()));
                out_.put(matrix->values().data(), matrix->values().size() * sizeof(double));
            } else if (const ObjectModel3d* model = dynamic_cast<const ObjectModel3d*>(tool)) {
                out_.put<uint8_t>(kModelHandle);
                model3d::write(*model, out_, proc_);
            } else {
                out_.put<uint8_t>(kLeftOutHandle);
                out_.string(tool->semType(), proc_);
            }
        }
        return nullptr;
    }

    // The tree, from the root down, with a stack of the dictionaries being written.
    void writeTree(const Dict& root) {
        struct Frame {
            const Dict* dict;
            size_t entry = 0;
            const std::vector<Element>* tuple = nullptr;  // the current entry's mixed tuple, while written
            size_t element = 0;
            std::shared_ptr<const TupleData> held;  // see mixedOf
        };
        out_.put<uint64_t>(root.size());
        std::vector<Frame> stack{Frame{&root}};
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.tuple) {
                if (frame.element == frame.tuple->size()) {
                    frame.tuple = nullptr;
                    ++frame.entry;
                } else if (const Dict* child = writeElement((*frame.tuple)[frame.element++])) {
                    out_.put<uint64_t>(child->size());
                    stack.push_back(Frame{child});
                }
                continue;
            }
            if (frame.entry == frame.dict->size()) {
                stack.pop_back();
                continue;
            }
            writeKey(frame.dict->keyAt(frame.entry));
            const HTuple& value = frame.dict->valueAt(frame.entry);
            if (frame.dict->holdsObject(frame.entry)) {
                const std::vector<uint8_t> block = hobj::encode(objectsOf(frame.dict->objectsAt(frame.entry)));
                out_.put<uint8_t>(kObjects);
                out_.put<uint64_t>(block.size());
                out_.put(block.data(), block.size());
                ++frame.entry;
            } else if (writeRun(storageOf(value).get())) {
                ++frame.entry;
            } else {
                frame.tuple = mixedOf(*frame.dict, frame.entry, frame.held);
                frame.element = 0;
                out_.put<uint8_t>(kMixed);
                out_.put<uint64_t>(frame.tuple->size());
            }
        }
    }

    BinaryOut& out_;
    bool raise_;
    const char* proc_;
};

}  // namespace

bool matches(const uint8_t* head, size_t size) {
    return size >= sizeof(kMagic) && std::memcmp(head, kMagic, sizeof(kMagic)) == 0;
}

HHandle readHandle(const ByteSource& file, Budget& budget, const HTuple&, const HTuple&) {
    return Reader(file, budget).read();
}

void writeHandle(const HHandle& dict, FileSink& sink, const HTuple& names, const HTuple& values) {
    const char* proc = "write_dict";
    const bool raise = raiseIfNotSerializable(names, values, proc);
    BinaryOut out(&sink);
    Writer(out, raise, proc).write(toolAs<Dict>(dict, proc));
}

std::vector<uint8_t> encode(const HHandle& dict, bool raiseIfNotSerializable) {
    std::vector<uint8_t> bytes;
    BinaryOut out(&bytes);
    Writer(out, raiseIfNotSerializable, "write_dict").write(toolAs<Dict>(dict, "write_dict"));
    return bytes;
}

}  // namespace ixv::formats::hdict
