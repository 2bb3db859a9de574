// The exported reader, node and extraction functions, on trees built directly in C++.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <stdexcept>

#include "AdapterApi.h"
#include "base/Access.h"
#include "tools/Tool.h"
#include "ix_adapter.h"

using namespace HalconCpp;

// Allocation that a test can make fail, to see what a load does when memory
// runs out and stays out. Every form is replaced, so that all of them agree
// on malloc and free (the sanitizers check that they match).
static std::atomic<bool> failAllocations{false};

static void* allocate(std::size_t size) noexcept {
    return failAllocations.load(std::memory_order_relaxed) ? nullptr : std::malloc(size ? size : 1);
}
void* operator new(std::size_t size) {
    if (void* p = allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // both sides are malloc and free
#endif
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

using Reader = std::unique_ptr<ReaderHandle, void (*)(ReaderHandle*)>;

// A tool whose destruction is counted, to see when nodes release what they keep.
class TrackedTool : public ixv::Tool {
public:
    TrackedTool() { ++alive; }
    ~TrackedTool() override { --alive; }
    const char* semType() const override { return "tracked"; }
    static int alive;
};
int TrackedTool::alive = 0;

std::unique_ptr<NativeNode> tracked() {
    auto node = std::make_unique<NativeNode>();
    node->tuple = HTuple(ixv::Access::handle(std::make_shared<TrackedTool>()));
    return node;
}

// root { a, b { c } }, every node keeping a tracked tool.
std::unique_ptr<NativeNode> smallTree() {
    auto root = tracked();
    root->appendChild(tracked());
    root->appendChild(tracked())->appendChild(tracked());
    return root;
}

auto succeed = [](const std::wstring&, std::wstring&) { return smallTree(); };

TEST(ReaderHandle, CreationAppliesClipRegionEveryTime) {
    HTuple value;
    for (int i = 0; i < 2; ++i) {
        SetSystem("clip_region", "true");
        GetSystem("clip_region", &value);
        ASSERT_STREQ(value[0].C(), "true");
        Reader reader(ix_reader_create(), ix_reader_destroy);
        GetSystem("clip_region", &value);
        EXPECT_STREQ(value[0].C(), "false");
    }
}

TEST(ReaderHandle, LoadInstallsTreeFailureDiscardsItMissingArgumentsChangeNothing) {
    Reader reader(ix_reader_create(), ix_reader_destroy);
    ASSERT_EQ(TrackedTool::alive, 0);
    NativeNode* root = loadInto(reader.get(), L"first", succeed);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(TrackedTool::alive, 4);
    EXPECT_EQ(ix_node_child_count(root), 2);

    auto notFound = [](const std::wstring&, std::wstring& error) {
        error = L"File not found";
        return std::unique_ptr<NativeNode>();
    };
    EXPECT_EQ(loadInto(reader.get(), L"second", notFound), nullptr);
    EXPECT_EQ(TrackedTool::alive, 0);  // the old tree went with the failure
    EXPECT_EQ(reader->root, nullptr);
    EXPECT_STREQ(ix_reader_last_error(reader.get()), L"File not found");

    root = loadInto(reader.get(), L"third", succeed);
    EXPECT_STREQ(ix_reader_last_error(reader.get()), L"");
    reader->lastError = L"kept";
    bool called = false;
    auto spy = [&](const std::wstring&, std::wstring&) {
        called = true;
        return smallTree();
    };
    EXPECT_EQ(loadInto(reader.get(), nullptr, spy), nullptr);
    EXPECT_EQ(loadInto(nullptr, L"path", spy), nullptr);
    EXPECT_FALSE(called);
    EXPECT_EQ(reader->root.get(), root);
    EXPECT_STREQ(ix_reader_last_error(reader.get()), L"kept");

    reader.reset();
    EXPECT_EQ(TrackedTool::alive, 0);  // destroying the handle destroys the tree
}

TEST(ReaderHandle, WhateverTheReaderThrowsBecomesTheMessage) {
    using Load = std::function<std::unique_ptr<NativeNode>(const std::wstring&, std::wstring&)>;
    // Each load writes a partial message first, which the thrown one replaces.
    const auto throwing = [](auto thrown, bool memoryStaysOut = false) -> Load {
        return [=](const std::wstring&, std::wstring& error) -> std::unique_ptr<NativeNode> {
            error = L"half written";
            failAllocations = memoryStaysOut;
            throw thrown;
        };
    };
    const std::pair<Load, const wchar_t*> cases[] = {
        // Memory that stays out: the failure path must not allocate, or the host is terminated.
        {throwing(std::bad_alloc(), true), L"Not enough memory available"},
        {throwing(std::runtime_error("disk on fire")), L"disk on fire"},
        {throwing(42), L"Unexpected error while reading the file"},
    };
    for (const auto& [load, message] : cases) {
        Reader reader(ix_reader_create(), ix_reader_destroy);  // its texts have no room yet
        loadInto(reader.get(), L"p", succeed);
        EXPECT_EQ(loadInto(reader.get(), L"p", load), nullptr);
        failAllocations = false;
        EXPECT_STREQ(ix_reader_last_error(reader.get()), message);
        EXPECT_EQ(TrackedTool::alive, 0);
    }
}

TEST(NodeFunctions, ValuesAndListsRejectIndexesOutsideThem) {
    // Three of each: values, detail lines and children.
    NativeNode node;
    node.values = {{IxValueType::String, L"s"}, {IxValueType::Integer, L"", INT64_MIN}, {IxValueType::Real, L"", 0, -0.5}};
    node.detailLines = {L"a", L"b", L"c"};
    for (int i = 0; i < 3; ++i) node.appendChild(std::make_unique<NativeNode>());

    EXPECT_EQ(ix_node_value_type_at(&node, 1), IxValueType::Integer);
    EXPECT_EQ(ix_node_value_int_at(&node, 1), INT64_MIN);
    EXPECT_EQ(ix_node_value_real_at(&node, 2), -0.5);
    // Each accessor reads its own field whatever the tag.
    EXPECT_STREQ(ix_node_value_string_at(&node, 1), L"");
    EXPECT_EQ(ix_node_value_int_at(&node, 2), 0);
    EXPECT_EQ(ix_node_value_real_at(&node, 0), 0.0);
    EXPECT_STREQ(ix_node_detail_line_at(&node, 2), L"c");
    EXPECT_EQ(ix_node_child_at(&node, 2), node.children[2].get());
    for (int32_t bad : {-1, 3, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(ix_node_value_type_at(&node, bad), IxValueType::String);
        EXPECT_STREQ(ix_node_value_string_at(&node, bad), L"");
        EXPECT_EQ(ix_node_value_int_at(&node, bad), 0);
        EXPECT_EQ(ix_node_value_real_at(&node, bad), 0.0);
        EXPECT_STREQ(ix_node_detail_line_at(&node, bad), L"");
        EXPECT_EQ(ix_node_child_at(&node, bad), nullptr);
    }
}

TEST(NodeFunctions, FullValueTextIsKeptInTheHandleUntilTheNextCall) {
    Reader reader(ix_reader_create(), ix_reader_destroy);
    NativeNode values, container;
    values.kind = IxNodeKind::Value;
    values.tuple = HTuple(1).Append(2);
    container.tuple = values.tuple;
    reader->lastError = L"untouched";

    const wchar_t* full = ix_node_full_value_text(reader.get(), &values);
    EXPECT_STREQ(full, L"[1, 2]");
    EXPECT_EQ(full, reader->fullValueText.c_str());
    EXPECT_STREQ(ix_node_full_value_text(reader.get(), &container), L"");
    EXPECT_EQ(reader->fullValueText, L"");  // the previous text was replaced
    EXPECT_STREQ(ix_reader_last_error(reader.get()), L"untouched");
    EXPECT_STREQ(ix_node_full_value_text(nullptr, &values), L"");
}

// The extraction functions' handling of missing outputs, as a C host calls them.
TEST(Extraction, AMissingOutputFailsAndLeavesEveryArrayNull) {
    ReaderHandle* reader = ix_reader_create();
    NativeNode node;
    node.kind = IxNodeKind::Object;
    GenRectangle1(&node.object, 0, 0, 2, 2);

    int32_t *rows = reinterpret_cast<int32_t*>(1), *begins = rows, *ends = rows, count = -7;
    EXPECT_EQ(ix_extract_region_runs(reader, &node, 0, &rows, &begins, &ends, nullptr), 0);
    EXPECT_TRUE(rows == nullptr && begins == nullptr && ends == nullptr);
    EXPECT_EQ(count, -7);
    // The index past the last object: nothing, and no message.
    EXPECT_EQ(ix_extract_region_runs(reader, &node, 1, &rows, &begins, &ends, &count), 0);
    EXPECT_STREQ(ix_reader_last_error(reader), L"");
    ASSERT_EQ(ix_extract_region_runs(reader, &node, 0, &rows, &begins, &ends, &count), 1);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(ends[2], 2);
    ix_free_int_buffer(rows);
    ix_free_int_buffer(begins);
    ix_free_int_buffer(ends);

    double *rows1 = reinterpret_cast<double*>(8), *cols1 = rows1, *rows2 = rows1, *cols2 = rows1;
    int32_t count1 = 0;
    EXPECT_EQ(ix_extract_parallel_lines(reader, &node, 0, &rows1, &cols1, &count1, &rows2, &cols2, nullptr), 0);
    EXPECT_TRUE(rows1 == nullptr && cols1 == nullptr && rows2 == nullptr && cols2 == nullptr);

    uint8_t* pixels = reinterpret_cast<uint8_t*>(8);
    int32_t width, height, rowBytes;
    EXPECT_EQ(ix_extract_image(reader, &node, 0, &width, &height, &rowBytes, nullptr, &pixels), 0);
    EXPECT_EQ(pixels, nullptr);
    ix_reader_destroy(reader);
}

}  // namespace
