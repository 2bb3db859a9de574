// The exported reader and node functions, on trees built directly in C++.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>

#include "AdapterApi.h"
#include "base/Access.h"
#include "tools/Tool.h"
#include "base/TupleData.h"
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
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // both sides are malloc and free
#endif
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace {

struct ReaderDeleter {
    void operator()(ReaderHandle* h) const { ix_reader_destroy(h); }
};
using Reader = std::unique_ptr<ReaderHandle, ReaderDeleter>;

// A tool whose destruction is counted, to see when nodes release what they keep.
class TrackedTool : public ixv::Tool {
public:
    TrackedTool() { ++alive; }
    ~TrackedTool() override { --alive; }
    const char* semType() const override { return "tracked"; }
    static int alive;
};
int TrackedTool::alive = 0;

std::unique_ptr<NativeNode> leaf(const wchar_t* label) {
    auto node = std::make_unique<NativeNode>();
    node->label = label;
    node->kind = IxNodeKind::Value;
    node->tuple = HTuple(ixv::Access::handle(std::make_shared<TrackedTool>()));
    return node;
}

// root { a, b { c } }, every node keeping a tracked tool.
std::unique_ptr<NativeNode> smallTree() {
    auto root = leaf(L"");
    root->kind = IxNodeKind::Container;
    root->appendChild(leaf(L"a"));
    NativeNode* b = root->appendChild(leaf(L"b"));
    b->kind = IxNodeKind::Container;
    b->appendChild(leaf(L"c"));
    return root;
}

auto succeed = [](const std::wstring&, std::wstring&) { return smallTree(); };
auto failWith(const wchar_t* message) {
    return [message](const std::wstring&, std::wstring& error) {
        error = message;
        return std::unique_ptr<NativeNode>();
    };
}

TEST(ReaderHandle, NewHandleHasNoTreeAndEmptyTexts) {
    Reader reader(ix_reader_create());
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->root, nullptr);
    EXPECT_STREQ(ix_reader_last_error(reader.get()), L"");
    EXPECT_STREQ(ix_reader_last_error(nullptr), L"");
    ix_reader_destroy(nullptr);
}

TEST(ReaderHandle, CreationAppliesClipRegionEveryTime) {
    HTuple value;
    for (int i = 0; i < 2; ++i) {
        SetSystem("clip_region", "true");
        Reader reader(ix_reader_create());
        GetSystem("clip_region", &value);
        EXPECT_STREQ(value[0].C(), "false");
    }
}

TEST(ReaderHandle, LoadInstallsTreeAndFailureDiscardsIt) {
    Reader reader(ix_reader_create());
    ASSERT_EQ(TrackedTool::alive, 0);
    NativeNode* root = loadInto(reader.get(), L"first", succeed);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(TrackedTool::alive, 4);
    EXPECT_EQ(ix_node_child_count(root), 2);

    EXPECT_EQ(loadInto(reader.get(), L"second", failWith(L"File not found")), nullptr);
    EXPECT_EQ(TrackedTool::alive, 0);  // the old tree went with the failure
    EXPECT_EQ(reader->root, nullptr);
    EXPECT_STREQ(ix_reader_last_error(reader.get()), L"File not found");

    EXPECT_NE(loadInto(reader.get(), L"third", succeed), nullptr);
    EXPECT_STREQ(ix_reader_last_error(reader.get()), L"");
    reader.reset();
    EXPECT_EQ(TrackedTool::alive, 0);  // destroying the handle destroys the tree
}

TEST(ReaderHandle, MissingArgumentsLeaveEverythingAsItWas) {
    Reader reader(ix_reader_create());
    NativeNode* root = loadInto(reader.get(), L"first", succeed);
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
}

TEST(ReaderHandle, LoadPassesThePathAndContainsWhatTheReaderThrows) {
    Reader reader(ix_reader_create());
    std::wstring seen;
    loadInto(reader.get(), L"d\u00E9j\u00E0.hobj", [&](const std::wstring& path, std::wstring&) {
        seen = path;
        return smallTree();
    });
    EXPECT_EQ(seen, L"d\u00E9j\u00E0.hobj");

    auto outOfMemory = [](const std::wstring&, std::wstring&) -> std::unique_ptr<NativeNode> {
        throw std::bad_alloc();
    };
    EXPECT_EQ(loadInto(reader.get(), L"p", outOfMemory), nullptr);
    EXPECT_STREQ(ix_reader_last_error(reader.get()), L"Not enough memory available");
    EXPECT_EQ(TrackedTool::alive, 0);

    // Memory that stays out: the failure path must not allocate, or the
    // host is terminated.
    auto outForGood = [](const std::wstring&, std::wstring&) -> std::unique_ptr<NativeNode> {
        failAllocations = true;
        throw std::bad_alloc();
    };
    loadInto(reader.get(), L"p", succeed);
    EXPECT_EQ(loadInto(reader.get(), L"p", outForGood), nullptr);
    failAllocations = false;
    EXPECT_STREQ(ix_reader_last_error(reader.get()), L"Not enough memory available");
    EXPECT_EQ(TrackedTool::alive, 0);

    // Anything else thrown leaves a message, not an empty text.
    auto unexpected = [](const std::wstring&, std::wstring& error) -> std::unique_ptr<NativeNode> {
        error = L"half written";
        throw std::runtime_error("disk on fire");
    };
    EXPECT_EQ(loadInto(reader.get(), L"p", unexpected), nullptr);
    EXPECT_STREQ(ix_reader_last_error(reader.get()), L"disk on fire");
    auto odd = [](const std::wstring&, std::wstring&) -> std::unique_ptr<NativeNode> { throw 42; };
    EXPECT_EQ(loadInto(reader.get(), L"p", odd), nullptr);
    EXPECT_STREQ(ix_reader_last_error(reader.get()), L"Unexpected error while reading the file");
}

TEST(ReaderHandle, VersionIsStableAndNamesTheVisionLibrary) {
    const wchar_t* first = ix_adapter_halcon_version();
    EXPECT_EQ(first, ix_adapter_halcon_version());
    EXPECT_EQ(std::wstring(first).rfind(L"20.11 (embedded ", 0), 0u);
}

TEST(NodeFunctions, NullNodeGivesNeutralResults) {
    EXPECT_STREQ(ix_node_label(nullptr), L"");
    EXPECT_EQ(ix_node_kind(nullptr), IxNodeKind::Container);
    EXPECT_STREQ(ix_node_type_label(nullptr), L"");
    EXPECT_STREQ(ix_node_value_summary(nullptr), L"");
    EXPECT_EQ(ix_node_path_segment_kind(nullptr), IxPathSegmentKind::Name);
    EXPECT_EQ(ix_node_path_index(nullptr), 0);
    EXPECT_EQ(ix_node_child_count(nullptr), 0);
    EXPECT_EQ(ix_node_child_at(nullptr, 0), nullptr);
    EXPECT_EQ(ix_node_value_count(nullptr), 0);
    EXPECT_EQ(ix_node_total_count(nullptr), 0);
    EXPECT_EQ(ix_node_truncated(nullptr), 0);
    EXPECT_EQ(ix_node_value_type_at(nullptr, 0), IxValueType::String);
    EXPECT_STREQ(ix_node_value_string_at(nullptr, 0), L"");
    EXPECT_EQ(ix_node_value_int_at(nullptr, 0), 0);
    EXPECT_EQ(ix_node_value_real_at(nullptr, 0), 0.0);
    EXPECT_STREQ(ix_node_object_class(nullptr), L"");
    EXPECT_EQ(ix_node_is_image(nullptr), 0);
    EXPECT_EQ(ix_node_object_count(nullptr), 1);
    EXPECT_EQ(ix_node_detail_line_count(nullptr), 0);
    EXPECT_STREQ(ix_node_detail_line_at(nullptr, 0), L"");
    EXPECT_EQ(ix_node_detail_entry_count(nullptr), 0);
    Reader reader(ix_reader_create());
    EXPECT_STREQ(ix_node_full_value_text(reader.get(), nullptr), L"");
    NativeNode node;
    EXPECT_STREQ(ix_node_full_value_text(nullptr, &node), L"");
}

TEST(NodeFunctions, FreshNodeReadsBackItsDefaults) {
    NativeNode node;
    EXPECT_EQ(ix_node_kind(&node), IxNodeKind::Container);
    EXPECT_EQ(ix_node_path_segment_kind(&node), IxPathSegmentKind::Name);
    EXPECT_EQ(ix_node_path_index(&node), 0);
    EXPECT_EQ(ix_node_object_count(&node), 1);
    EXPECT_EQ(ix_node_value_count(&node), 0);
    EXPECT_EQ(ix_node_detail_line_count(&node), 0);
    EXPECT_EQ(ix_node_child_count(&node), 0);
    EXPECT_EQ(ix_node_is_image(&node), 0);
    EXPECT_STREQ(ix_node_label(&node), L"");
}

TEST(NodeFunctions, ReadEveryFieldAndRejectIndexesOutsideTheLists) {
    NativeNode node;
    node.label = L"k\u00E9y";
    node.kind = IxNodeKind::Object;
    node.typeLabel = L"region[2]";
    node.valueSummary = L"area: 1";
    node.pathSegmentKind = IxPathSegmentKind::Index;
    node.pathIndex = 4;
    node.objectClass = L"region";
    node.isImage = true;
    node.objectCount = 2;
    node.detailLines = {L"region: a", L"region: b"};
    node.detailEntryCount = 2;
    NativeValue s, i, r;
    s.text = L"s";
    i.type = IxValueType::Integer;
    i.intValue = INT64_MIN;
    r.type = IxValueType::Real;
    r.realValue = -0.5;
    node.values = {s, i, r};
    node.totalCount = 1500;
    node.truncated = true;
    node.appendChild(std::make_unique<NativeNode>());

    EXPECT_STREQ(ix_node_label(&node), L"k\u00E9y");
    EXPECT_EQ(ix_node_kind(&node), IxNodeKind::Object);
    EXPECT_STREQ(ix_node_type_label(&node), L"region[2]");
    EXPECT_STREQ(ix_node_value_summary(&node), L"area: 1");
    EXPECT_EQ(ix_node_path_segment_kind(&node), IxPathSegmentKind::Index);
    EXPECT_EQ(ix_node_path_index(&node), 4);
    EXPECT_STREQ(ix_node_object_class(&node), L"region");
    EXPECT_EQ(ix_node_is_image(&node), 1);
    EXPECT_EQ(ix_node_object_count(&node), 2);
    EXPECT_EQ(ix_node_detail_line_count(&node), 2);
    EXPECT_STREQ(ix_node_detail_line_at(&node, 1), L"region: b");
    EXPECT_STREQ(ix_node_detail_line_at(&node, 2), L"");
    EXPECT_STREQ(ix_node_detail_line_at(&node, -1), L"");
    EXPECT_EQ(ix_node_detail_entry_count(&node), 2);
    EXPECT_EQ(ix_node_value_count(&node), 3);
    EXPECT_EQ(ix_node_total_count(&node), 1500);
    EXPECT_EQ(ix_node_truncated(&node), 1);

    EXPECT_EQ(ix_node_value_type_at(&node, 1), IxValueType::Integer);
    EXPECT_EQ(ix_node_value_int_at(&node, 1), INT64_MIN);
    EXPECT_EQ(ix_node_value_real_at(&node, 2), -0.5);
    EXPECT_STREQ(ix_node_value_string_at(&node, 0), L"s");
    // Each accessor reads its own field whatever the tag.
    EXPECT_STREQ(ix_node_value_string_at(&node, 1), L"");
    EXPECT_EQ(ix_node_value_int_at(&node, 2), 0);
    EXPECT_EQ(ix_node_value_real_at(&node, 0), 0.0);
    for (int32_t bad : {-1, 3, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(ix_node_value_type_at(&node, bad), IxValueType::String);
        EXPECT_STREQ(ix_node_value_string_at(&node, bad), L"");
        EXPECT_EQ(ix_node_value_int_at(&node, bad), 0);
        EXPECT_EQ(ix_node_value_real_at(&node, bad), 0.0);
    }
    EXPECT_NE(ix_node_child_at(&node, 0), nullptr);
    EXPECT_EQ(ix_node_child_at(&node, 1), nullptr);
    EXPECT_EQ(ix_node_child_at(&node, -1), nullptr);
}

TEST(NodeFunctions, FullValueTextIsKeptInTheHandleUntilTheNextCall) {
    Reader reader(ix_reader_create());
    NativeNode values;
    values.kind = IxNodeKind::Value;
    std::vector<Hlong> numbers(1500);
    for (size_t k = 0; k < numbers.size(); ++k) numbers[k] = static_cast<Hlong>(k);
    values.tuple = ixv::tupleOfLongs(numbers);
    reader->lastError = L"untouched";

    const wchar_t* full = ix_node_full_value_text(reader.get(), &values);
    const std::wstring text = full;
    EXPECT_EQ(text.substr(text.size() - 11), L"1498, 1499]");
    EXPECT_EQ(full, reader->fullValueText.c_str());

    NativeNode container;
    container.tuple = values.tuple;
    EXPECT_STREQ(ix_node_full_value_text(reader.get(), &container), L"");
    EXPECT_EQ(reader->fullValueText, L"");  // the previous text was replaced
    EXPECT_STREQ(ix_reader_last_error(reader.get()), L"untouched");
}

}  // namespace
