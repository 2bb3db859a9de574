// One tree read by many threads at once: every thread sees what one thread
// sees, and a child built on first access is built once. Threads with handles
// of their own load, extract, save and convert files of every kind at once.
// Run under ThreadSanitizer by ./test.sh (ix_thread_tests).
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "HalconCpp.h"
#include "NewDict.h"
#include "OnnxWriter.h"
#include "TestFiles.h"
#include "ix_adapter.h"

using namespace HalconCpp;

namespace {

struct Reader {
    ReaderHandle* handle = ix_reader_create();
    ~Reader() { ix_reader_destroy(handle); }
};

// A dictionary file with a node of every kind: a key of 3,000 keys, nested
// dictionaries, an array of dictionaries, a long tuple, a region, an image
// with a reduced domain, a matrix, a chain of dictionaries 500 deep.
std::wstring writeTreeFile(const TempDir& dir) {
    const HTuple root = newDict(), wide = newDict(), inner = newDict();
    for (Hlong i = 0; i < 3000; ++i) SetDictTuple(wide, i, HTuple(static_cast<double>(i) / 4));
    SetDictTuple(root, "a", wide);
    SetDictTuple(inner, "x", HTuple("text"));
    SetDictTuple(inner, "inner", newDict());
    SetDictTuple(root, "nested", inner);
    HTuple array;
    for (int i = 0; i < 600; ++i) array.Append(i % 3 == 0 ? HTuple(static_cast<Hlong>(i)) : HTuple(inner));
    SetDictTuple(root, "array", array);
    HTuple reals;
    for (int i = 0; i < 2000; ++i) reals.Append(HTuple(i * 0.5));
    SetDictTuple(root, "reals", reals);
    HObject region, image, reduced;
    GenCircle(&region, 20, 30, 12.5);
    SetDictObject(region, root, "region");
    GenImageConst(&image, "byte", 64, 48);
    ReduceDomain(image, region, &reduced);
    SetDictObject(reduced, root, "image");
    HTuple matrix;
    CreateMatrix(3, 4, 1.5, &matrix);
    SetDictTuple(root, "matrix", matrix);
    HTuple chain = newDict();  // 500 levels, each with a key before the next
    SetDictTuple(root, "chain", chain);
    for (Hlong level = 0; level < 500; ++level) {
        const HTuple next = newDict();
        SetDictTuple(chain, "level", level);
        SetDictTuple(chain, "next", next);
        chain = next;
    }
    const std::string path = dir.path("tree.hdict");
    WriteDict(root, path.c_str(), HTuple(), HTuple());
    return std::wstring(path.begin(), path.end());
}

// What a host reads of a node and everything below it, in order, after
// asking for its children starting at child `start` (so threads that start
// elsewhere build the children in another order). Texts and messages go to
// `own`, the reading thread's own handle.
void describe(ReaderHandle* own, const NativeNode* node, size_t start, std::wstring& out) {
    out += std::wstring(ix_node_label(node)) + L"|" + ix_node_type_label(node) + L"|" + ix_node_value_summary(node) +
           L"|" + std::to_wstring(static_cast<int>(ix_node_kind(node))) + L"|" + std::to_wstring(ix_node_value_count(node)) + L"|" +
           ix_node_full_value_text(own, node) + L"\n";
    for (int32_t i = 0; i < ix_node_detail_line_count(node); ++i) out += ix_node_detail_line_at(node, i);
    if (ix_node_kind(node) == IxNodeKind::Object && ix_node_is_image(node)) {
        int32_t width = 0, height = 0, rowBytes = 0, format = 0;
        uint8_t* pixels = nullptr;
        if (ix_extract_image(own, node, 0, &width, &height, &rowBytes, &format, &pixels)) {
            unsigned sum = 0;
            for (int32_t k = 0; k < height * rowBytes; ++k) sum = sum * 31 + pixels[k];
            out += L"pixels " + std::to_wstring(sum) + L"\n";
        }
        ix_free_buffer(pixels);
    } else if (ix_node_kind(node) == IxNodeKind::Object) {
        int32_t *rows = nullptr, *begins = nullptr, *ends = nullptr, runs = 0, points = 0;
        double *r = nullptr, *c = nullptr;
        if (ix_extract_region_runs(own, node, 0, &rows, &begins, &ends, &runs)) out += L"runs " + std::to_wstring(runs);
        if (ix_extract_contour_points(own, node, 0, &r, &c, &points)) out += L"points " + std::to_wstring(points);
        for (int32_t* buffer : {rows, begins, ends}) ix_free_int_buffer(buffer);
        for (double* buffer : {r, c}) ix_free_double_buffer(buffer);
    }
    const int32_t n = ix_node_child_count(node);
    for (int32_t k = 0; k < n; ++k) ix_node_child_at(node, static_cast<int32_t>((start + k) % n));
    for (int32_t i = 0; i < n; ++i) {
        const NativeNode* child = ix_node_child_at(node, i);
        ASSERT_NE(child, nullptr) << i << " of " << n;
        describe(own, child, start * 7 + 1, out);
    }
}

// A JSON file read with the default options: arrays become dictionaries of
// their indices, small integers and short strings are shared by the reader.
std::wstring writeJsonFile(const TempDir& dir) {
    std::string json = "{\"samples\": [";
    for (int i = 0; i < 700; ++i)
        json += (i ? ",{" : "{") + std::string("\"id\": ") + std::to_string(i % 50) + ", \"split\": \"train\", \"box\": [1.5, " +
                std::to_string(i) + ", null, true], \"tags\": []}";
    const std::string path = dir.write("tree.json", json + "], \"n\": 700}");
    return std::wstring(path.begin(), path.end());
}

constexpr int kThreads = 8;

// Runs `work(t, handle)` on kThreads threads that start together, each with a reader of its own.
template <class Work>
void atOnce(Work work) {
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            Reader own;
            ++ready;
            while (ready.load() < kThreads) std::this_thread::yield();
            work(t, own.handle);
        });
    }
    for (std::thread& thread : threads) thread.join();
}

class TreeThreads : public ::testing::TestWithParam<std::wstring (*)(const TempDir&)> {};

TEST_P(TreeThreads, EightThreadsReadingOneFreshTreeEachSeeWhatOneThreadSees) {
    const TempDir dir;
    const std::wstring path = GetParam()(dir);
    Reader single, shared;
    std::wstring expected;
    const NativeNode* root = ix_reader_parse_file(single.handle, path.c_str());
    ASSERT_NE(root, nullptr) << ix_reader_last_error(single.handle);
    describe(single.handle, root, 0, expected);
    if (GetParam() == writeTreeFile) EXPECT_NE(expected.find(L"pixels "), std::wstring::npos);

    root = ix_reader_parse_file(shared.handle, path.c_str());
    ASSERT_NE(root, nullptr);
    std::vector<std::wstring> seen(kThreads);
    atOnce([&](int t, ReaderHandle* own) { describe(own, root, static_cast<size_t>(t) * 1237, seen[static_cast<size_t>(t)]); });
    for (int t = 0; t < kThreads; ++t) EXPECT_TRUE(seen[static_cast<size_t>(t)] == expected) << "thread " << t;
}

INSTANTIATE_TEST_SUITE_P(Files, TreeThreads, ::testing::Values(writeTreeFile, writeJsonFile),
                         [](const auto& file) { return file.param == writeTreeFile ? "ObjectsAndDictionaries" : "Json"; });

// Loads `path` with the load function of `kind` (o object, d dictionary, m
// model, 3 3D model) on `own` and describes the tree; saves its objects into
// `out`/saved.hobj and converts a dictionary file into `out`/saved.json,
// describing both.
std::wstring loadSaveConvert(ReaderHandle* own, char kind, const std::wstring& path, const std::string& out) {
    std::filesystem::create_directories(out);
    const std::wstring objects = std::wstring(out.begin(), out.end()) + L"/saved.hobj";
    const std::wstring json = std::wstring(out.begin(), out.end()) + L"/saved.json";
    const NativeNode* root = kind == 'o'   ? ix_reader_parse_object_file(own, path.c_str())
                             : kind == 'd' ? ix_reader_parse_file(own, path.c_str())
                             : kind == 'm' ? ix_reader_parse_dl_model_file(own, path.c_str())
                                           : ix_reader_parse_object_model_3d_file(own, path.c_str());
    if (!root) return ix_reader_last_error(own);
    std::wstring text;
    describe(own, root, 0, text);
    std::vector<const NativeNode*> saved;
    for (int32_t i = 0; i < ix_node_child_count(root); ++i)
        if (ix_node_object_count(ix_node_child_at(root, i)) > 0 && ix_node_kind(ix_node_child_at(root, i)) == IxNodeKind::Object)
            saved.push_back(ix_node_child_at(root, i));
    if (kind == 'd') text += L"converted " + std::to_wstring(ix_reader_convert_dict_file(own, path.c_str(), json.c_str(), 1));
    if (!saved.empty() && ix_save_objects_as(own, saved.data(), static_cast<int32_t>(saved.size()), objects.c_str()))
        describe(own, ix_reader_parse_object_file(own, objects.c_str()), 0, text);
    if (kind == 'd') describe(own, ix_reader_parse_file(own, json.c_str()), 0, text);
    return text + ix_reader_last_error(own);
}

TEST(TreeThreadsOwnHandles, EightThreadsLoadExtractSaveAndConvertEveryKindOfFileAtOnce) {
    const TempDir dir;
    HObject image, region, contour;
    GenImageConst(&image, "byte", 32, 24);
    GenCircle(&region, 10, 12, 6.5);
    GenContourPolygonXld(&contour, HTuple(1.0).Append(9.0).Append(4.0), HTuple(2.0).Append(20.0).Append(7.0));
    WriteObject(image.ConcatObj(region).ConcatObj(contour), dir.path("scene.hobj").c_str());
    WriteImage(image, "png", 0, dir.path("image.png").c_str());
    const auto wide = [](const std::string& path) { return std::wstring(path.begin(), path.end()); };
    const std::vector<std::pair<char, std::wstring>> files = {
        {'o', wide(dir.path("scene.hobj"))}, {'o', wide(dir.path("image.png"))},
        {'o', wide(dir.write("frames.seq", "image.png\nimage.png\n"))}, {'d', writeTreeFile(dir)},
        {'d', writeJsonFile(dir)}, {'m', wide(dir.write("model.onnx", ixtest::onnx::classifier()))},
        {'3', wide(dir.write("part.ply", "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                                         "property float z\nend_header\n0 0 0\n1 0 0\n0 1 0\n"))}};
    std::vector<std::wstring> expected;
    Reader single;
    for (const auto& [kind, path] : files) expected.push_back(loadSaveConvert(single.handle, kind, path, dir.path("single")));
    EXPECT_NE(expected[0].find(L"runs "), std::wstring::npos);
    EXPECT_NE(expected[3].find(L"converted 1"), std::wstring::npos);

    std::vector<std::vector<std::wstring>> seen(kThreads, std::vector<std::wstring>(files.size()));
    atOnce([&](int t, ReaderHandle* own) {
        for (size_t k = 0; k < files.size(); ++k) {  // each thread in an order of its own
            const size_t f = (k + static_cast<size_t>(t)) % files.size();
            seen[t][f] = loadSaveConvert(own, files[f].first, files[f].second, dir.path("out" + std::to_string(t)));
        }
    });
    for (int t = 0; t < kThreads; ++t)
        for (size_t f = 0; f < files.size(); ++f) EXPECT_TRUE(seen[t][f] == expected[f]) << "thread " << t << ", file " << f;
}

TEST(TreeThreadsOneChild, AChildAskedForByTwoThreadsAtOnceIsBuiltOnce) {
    const TempDir dir;
    const std::wstring path = writeTreeFile(dir);
    Reader reader;
    for (int run = 0; run < 100; ++run) {
        const NativeNode* root = ix_reader_parse_file(reader.handle, path.c_str());
        ASSERT_NE(root, nullptr);
        const NativeNode* wide = ix_node_child_at(root, 0);
        const NativeNode* seen[2] = {};
        std::atomic<int> ready{0};
        auto ask = [&](int t) {
            ++ready;
            while (ready.load() < 2) std::this_thread::yield();
            seen[t] = ix_node_child_at(wide, 5);
        };
        std::thread first(ask, 0), second(ask, 1);
        first.join();
        second.join();
        ASSERT_NE(seen[0], nullptr);
        ASSERT_EQ(seen[0], seen[1]) << "run " << run;
        EXPECT_STREQ(ix_node_value_summary(seen[0]), L"1.25");
    }
}

}  // namespace
