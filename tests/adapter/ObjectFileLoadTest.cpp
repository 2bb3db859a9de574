// Loading object, image and sequence files through the exported function.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "AdapterCore/NativeNode.h"
#include "AdapterCore/ObjectFiles.h"
#include "HalconCpp.h"
#include "TestFiles.h"
#include "ix_adapter.h"

using namespace HalconCpp;

namespace {

struct Reader {
    Reader() : handle(ix_reader_create()) {}
    ~Reader() { ix_reader_destroy(handle); }
    const NativeNode* load(const std::string& path) { return ix_reader_parse_object_file(handle, wide(path).c_str()); }
    std::wstring error() const { return ix_reader_last_error(handle); }
    static std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }
    ReaderHandle* handle;
};

// An image file that any image name may carry: an object file of one byte
// image whose single pixel value tells which file was read.
void writeImage(const TempDir& dir, const std::string& name, int marker) {
    const uint8_t pixel = static_cast<uint8_t>(marker);
    HObject image;
    GenImage1(&image, "byte", 1, 1, reinterpret_cast<Hlong>(&pixel));
    std::filesystem::create_directories(std::filesystem::path(dir.path(name)).parent_path());
    WriteObject(image, dir.path(name).c_str());
}

// The markers of the images a root holds, in order.
std::vector<int> markers(const NativeNode* root) {
    std::vector<int> result;
    for (int32_t i = 0; i < ix_node_child_count(root); ++i) {
        const NativeNode* child = ix_node_child_at(root, i);
        result.push_back(static_cast<const uint8_t*>(HImage(child->object).GetImagePointer1(nullptr, nullptr, nullptr))[0]);
    }
    return result;
}

// Labels, types and paths of many objects are the command-line host's test, on the sample scene.
TEST(ObjectFiles, OneChildPerObjectNamedByNumberOrForASingleOneByTheFile) {
    TempDir dir;
    HObject region, none;
    GenRectangle1(&region, 0, 0, 1, 1);
    GenEmptyObj(&none);
    WriteObject(region.ConcatObj(region), dir.path("two.HOBJ").c_str());
    WriteObject(region, dir.path(".hobj").c_str());
    WriteObject(none, dir.path("none.hobj").c_str());
    writeImage(dir, "board.v2.png", 1);  // a png is read as an image, whatever its content
    writeImage(dir, "a\x1b[2J\nb.png", 2);   // a file name is one line as a label
    const std::tuple<const char*, const wchar_t*, const wchar_t*> cases[] = {
        {"two.HOBJ", L"2 objects", L"Object 2"}, {".hobj", L"1 object", L""},
        {"board.v2.png", L"1 object", L"board.v2"}, {"none.hobj", L"0 objects", nullptr},
        {"a\x1b[2J\nb.png", L"1 object", L"a\\u001B[2J\\nb"}};
    Reader reader;
    for (const auto& [name, summary, label] : cases) {
        const NativeNode* root = reader.load(dir.path(name));
        ASSERT_NE(root, nullptr) << name;
        EXPECT_STREQ(ix_node_value_summary(root), summary);
        EXPECT_EQ(ix_node_child_count(root), summary[0] - L'0');
        const NativeNode* last = ix_node_child_at(root, ix_node_child_count(root) - 1);
        EXPECT_STREQ(label ? ix_node_label(last) : nullptr, label);
    }
}

TEST(ObjectFiles, FailuresLeaveAMessageThatNamesThePathOrTheEntry) {
    TempDir dir;
    dir.write("blank.Seq", " \t\n\r\n\n");
    writeImage(dir, "present.png", 1);
    dir.write("list.seq", "present\n  # comment \nnever.png\n");
    const std::wstring unread = L"Sequence file is empty or could not be read: ";
    const std::pair<const char*, std::wstring> cases[] = {
        {"missing.seq", unread + Reader::wide(dir.path("missing.seq"))},
        {"blank.Seq", unread + Reader::wide(dir.path("blank.Seq"))},
        {"list.seq", L"Sequence entry not found: # comment"},
    };
    Reader reader;
    for (const auto& [name, message] : cases) {
        EXPECT_EQ(reader.load(dir.path(name)), nullptr);
        EXPECT_EQ(reader.error().substr(0, message.size()), message) << name;
    }
}

TEST(ObjectFiles, SequenceLinesAreTrimmedAndBlankOnesSkipped) {
    // A NUL ends what is handed over: a line that begins with one is an empty entry.
    const char bytes[] = "a\0b\n\xC3\xA9t\xC3\xA9\n\0x\n\t img_01.png  \r\n \t \n\n# comment\nlast\r";
    std::istringstream in(std::string(bytes, sizeof bytes - 1));
    EXPECT_EQ(sequenceEntries(in),
              (std::vector<std::wstring>{L"a", L"\u00E9t\u00E9", L"", L"img_01.png", L"# comment", L"last"}));
}

TEST(ObjectFiles, SequenceSearchDirectoriesByPathArithmetic) {
    using Dirs = std::vector<std::string>;
    EXPECT_EQ(sequenceSearchDirectories("/srv/data/run1/list.seq"), (Dirs{"/srv/data", "/srv/data/run1"}));
    EXPECT_EQ(sequenceSearchDirectories("list.seq"), (Dirs{"", ""}));
    EXPECT_EQ(sequenceSearchDirectories("dir/list.seq"), (Dirs{"", "dir"}));
    EXPECT_EQ(sequenceSearchDirectories("/list.seq"), (Dirs{"/", "/"}));
    EXPECT_EQ(fileBaseName(L"img\\a.b.tif"), L"a.b");
    EXPECT_EQ(fileBaseName(L"notes"), L"notes");
    EXPECT_EQ(fileBaseName(L"dir.d/name"), L"name");
}

TEST(ObjectFiles, SequenceEntriesResolveInOrderOfDirectoriesAndSuffixes) {
    TempDir dir;
    writeImage(dir, "run/img01.tif", 1);
    writeImage(dir, "run/img01.png", 2);     // png is probed before tif
    writeImage(dir, "both.png", 3);          // found under the parent first ...
    writeImage(dir, "run/both.png", 4);      // ... so this one is never read
    writeImage(dir, "run/a.png.png", 5);     // a suffix is probed like any name
    writeImage(dir, "abs/x.png", 6);
    dir.write("run/list.seq", "img01\nboth.png\n  a.png\n" + dir.path("abs/x") + "\n");

    Reader reader;
    const NativeNode* root = reader.load(dir.path("run/list.seq"));
    ASSERT_NE(root, nullptr) << std::string(reader.error().begin(), reader.error().end());
    EXPECT_STREQ(ix_node_value_summary(root), L"4 objects");
    EXPECT_EQ(markers(root), (std::vector<int>{2, 3, 5, 6}));
    EXPECT_STREQ(ix_node_label(ix_node_child_at(root, 0)), L"Object 1");

    // Named without a directory, a sequence and its entries are found from the current one.
    dir.write("run/one.seq", "img01.tif\n");
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path("run"));
    root = reader.load("one.seq");
    std::filesystem::current_path(previous);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(markers(root), (std::vector<int>{1}));
    EXPECT_STREQ(ix_node_label(ix_node_child_at(root, 0)), L"one");
}

TEST(ObjectFiles, SequenceFilesAreRegularFilesOfBoundedSizeAndLines) {
    TempDir dir;
    // A FIFO with no writer would block a plain open; devices never end.
    ASSERT_EQ(::mkfifo(dir.path("fifo.seq").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir.path("zero.seq"));
    std::filesystem::create_directory(dir.path("folder.seq"));
    // Too large: refused from its size, before a byte is read.
    ASSERT_EQ(::truncate(dir.write("big.seq", std::string("a\n")).c_str(), (off_t{16} << 20) + 1), 0);
    dir.write("long.seq", "frame\n" + std::string(10000000, 'x') + "\n");
    dir.write("edge.seq", std::string(4096, 'y') + "\n");
    const auto named = [&](const char* name) { return Reader::wide(dir.path(name)); };
    const std::pair<const char*, std::wstring> cases[] = {
        {"fifo.seq", L"Sequence file is a FIFO, not a regular file: " + named("fifo.seq")},
        {"zero.seq", L"Sequence file is a character device, not a regular file: " + named("zero.seq")},
        {"folder.seq", L"Sequence file is a directory, not a regular file: " + named("folder.seq")},
        {"big.seq", L"Sequence file of 16777217 bytes exceeds the limit of 16777216 bytes: " + named("big.seq")},
        // A line of 10 MB is refused, and the message quotes only its beginning.
        {"long.seq", L"Sequence line 2 of 10000000 bytes exceeds the limit of 4096 bytes: " +
                         std::wstring(200, L'x') + L"..."},
        // A line at the limit is an entry like any other.
        {"edge.seq", L"Sequence entry not found: " + std::wstring(4096, L'y')},
    };
    Reader reader;
    for (const auto& [name, message] : cases) {
        EXPECT_EQ(reader.load(dir.path(name)), nullptr);
        EXPECT_EQ(reader.error(), message) << name;
    }
}

}  // namespace
