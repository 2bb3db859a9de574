// Dictionary and handle nodes: key names, per-key failures, and the bounds
// that keep deep or self-containing structures from hanging a load.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "AdapterCore/AdapterCore.h"
#include "AdapterCore/HandleNodes.h"
#include "AdapterCore/TreeBuilder.h"
#include "TestFiles.h"
#include "base/Access.h"
#include "base/Errors.h"
#include "base/TupleData.h"
#include "HalconCpp.h"
#include "ix_adapter.h"
#include "NewDict.h"
#include "NodeLine.h"
#include "tools/Tool.h"

using namespace HalconCpp;
using ixtest::nodeLine;

namespace {

std::unique_ptr<NativeNode> dictNode(const HTuple& dict) {
    return buildDictNode(HDict(dict[0].H()), L"", IxPathSegmentKind::Name, 0);
}

const NativeNode* at(const NativeNode* node, size_t index) {
    return childAt(*node, index);
}

// A tool with keys of any kind: "bad" fails on every query, "odd" holds a
// data type nobody knows, any other key holds the integer 1. With
// `unreadable`, its key list itself cannot be read.
class KeyedTool : public ixv::Tool {
public:
    KeyedTool(HTuple keys, bool unreadable = false) : keys_(std::move(keys)), unreadable_(unreadable) {}
    const char* semType() const override { return "probe"; }
    HTuple keys() const override {
        if (unreadable_) ixv::raise("get_handle_param", ixv::err::WrongHandleType);
        return keys_;
    }
    const char* keyDataType(const HTuple& key, const char* proc) const override {
        if (key.TupleIsStringElem()[0].L() && std::strcmp(key[0].C(), "bad") == 0)
            ixv::raise(proc, ixv::err::DictKeyMissing);
        if (key.TupleIsStringElem()[0].L() && std::strcmp(key[0].C(), "odd") == 0) return "strange";
        return "tuple";
    }
    HTuple tupleAt(const HTuple&, const char*) const override { return HTuple(Hlong{1}); }

private:
    HTuple keys_;
    bool unreadable_;
};

HTuple handleOf(std::shared_ptr<ixv::Tool> tool) {
    return HTuple(ixv::Access::handle(std::move(tool)));
}

TEST(DictNode, KeysAreCountedAndNamedByTheirType) {
    EXPECT_EQ(keyDisplayName(HTuple(Hlong{-42})) + L" " + keyDisplayName(HTuple(2.5)) + L" " + keyDisplayName(HTuple("na\xc3\xafve")),
              L"-42 2.5 na\u00efve");
    // Controls and a NUL in a key or string: one-line labels and texts, whole;
    // the value itself keeps its controls.
    TempDir dir;
    const std::string path = dir.write("c.json", R"({"a\u0000b\u001b[2J": "x\ny\u0000\r\t\u007f\u0085\u2028"})");
    std::wstring error;
    const auto file = AdapterCore::parseFile(std::wstring(path.begin(), path.end()), error);
    ASSERT_TRUE(file) << error;
    const NativeNode* control = at(file.get(), 0);
    EXPECT_EQ(control->label, L"a\\u0000b\\u001B[2J");
    EXPECT_EQ(control->valueSummary, L"'x\\ny\\u0000\\r\\t\\u007F\\u0085\\u2028'");
    EXPECT_EQ(AdapterCore::fullValueText(control), control->valueSummary.str());
    EXPECT_EQ(control->values[0].text, L"x\ny\\u0000\r\t\u007f\u0085\u2028");

    const HTuple dict = newDict(), empty = newDict();
    SetDictTuple(dict, Hlong{7}, HTuple("seven"));
    SetDictTuple(dict, "inner", empty);
    HObject region;
    GenRectangle1(&region, 0, 0, 1, 1);
    SetDictObject(region, dict, "shape");
    SetDictTuple(dict, "pair", HTuple(empty).Append(empty));
    const auto node = dictNode(dict);
    std::wstring lines = nodeLine(node.get());
    for (size_t i = 0; i < childCount(*node); ++i) lines += L"\n" + nodeLine(at(node.get(), i));
    EXPECT_EQ(lines, L"|C|dict|4 keys\n7|V|string|'seven'\ninner|C|dict|0 keys\nshape|O|region|area: 4; center: 0.5, 0.5|region\n"
                     L"pair|A|array|2 entries");
    EXPECT_EQ(childCount(*at(node.get(), 1)), 0u);
    EXPECT_EQ(nodeLine(at(at(node.get(), 3), 1)), L"[1]|C|dict|0 keys");
    EXPECT_EQ(at(at(node.get(), 3), 1)->pathSegmentKind, IxPathSegmentKind::Index);
}

TEST(DictNode, AKeyThatFailsShowsItsErrorAndTheOthersStay) {
    // A handle claiming to be a matrix that is none fails inside the tuple node.
    struct FakeMatrix : ixv::Tool {
        const char* semType() const override { return "matrix"; }
    };
    const HTuple dict = newDict();
    SetDictTuple(dict, "fake", handleOf(std::make_shared<FakeMatrix>()));
    SetDictTuple(dict, "fine", HTuple(Hlong{3}));
    const auto node = dictNode(dict);
    ASSERT_EQ(childCount(*node), 2u);
    EXPECT_EQ(nodeLine(at(node.get(), 0)).rfind(L"fake|V|<error>|Wrong handle type", 0), 0u) << nodeLine(at(node.get(), 0));
    EXPECT_EQ(at(node.get(), 1)->valueSummary, L"3");
}

TEST(HandleNode, KeysThatFailAreLeftOutAndUnreadableHandlesStayOpaque) {
    const HTuple keys = HTuple("a").Append(HTuple("bad")).Append(HTuple("odd")).Append(HTuple(HHandle()));
    const auto node = buildHandleNode(handleOf(std::make_shared<KeyedTool>(keys)), L"", IxPathSegmentKind::Name, 0, 0);
    EXPECT_EQ(nodeLine(node.get()), L"|C|probe|4 keys");
    std::wstring lines;
    for (size_t i = 0; i < childCount(*node); ++i) lines += nodeLine(at(node.get(), i)) + L"\n";
    EXPECT_EQ(lines, L"a|V|integer|1\nodd|V|<unsupported>|strange\n<unreadable key>|V|integer|1\n");

    const auto opaque =
        buildHandleNode(handleOf(std::make_shared<KeyedTool>(keys, true)), L"m", IxPathSegmentKind::Name, 0, 0);
    EXPECT_EQ(nodeLine(opaque.get()), L"m|O|probe||probe");
    EXPECT_TRUE(opaque->children.empty());
}

TEST(HandleNode, AChainOfHandlesExpandsThirtyThreeLevels) {
    std::vector<HTuple> chain(40);
    for (auto& dict : chain) dict = newDict();
    for (size_t i = 0; i + 1 < chain.size(); ++i) SetDictTuple(chain[i], "next", chain[i + 1]);
    const auto root = buildHandleNode(chain[0], L"", IxPathSegmentKind::Name, 0, 0);
    const NativeNode* node = root.get();
    for (int depth = 0; depth < kMaxHandleDepth; ++depth) {
        ASSERT_TRUE(node->kind == IxNodeKind::Container && node->children.size() == 1u) << depth;
        node = node->children[0].get();
    }
    EXPECT_EQ(nodeLine(node), L"next|O|dict|max nesting depth reached|dict");
}

// Follows the first child `levels` times.
const NativeNode* descend(const NativeNode* node, int levels) {
    for (int i = 0; i < levels && node && childCount(*node) > 0; ++i) node = childAt(*node, 0);
    return node;
}

TEST(DictNode, DeepAndSelfContainingDictionariesStopAtTheNestingBound) {
    // 10,000 levels, each dictionary holding the next under "next"; and 600
    // levels through arrays, each holding [next, 0].
    std::vector<HTuple> deep(10000), arrays(600);
    for (auto* chain : {&deep, &arrays}) {
        for (auto& dict : *chain) dict = newDict();
        for (size_t i = 0; i + 1 < chain->size(); ++i)
            SetDictTuple((*chain)[i], "next", chain == &deep ? (*chain)[i + 1] : HTuple((*chain)[i + 1]).Append(HTuple(Hlong{0})));
    }
    const HTuple once = newDict(), twice = newDict();
    SetDictTuple(once, "self", once);
    SetDictTuple(twice, "a", twice);
    SetDictTuple(twice, "b", twice);
    const auto deepNode = dictNode(deep[0]), arrayNode = dictNode(arrays[0]), onceNode = dictNode(once);
    for (const auto& [root, key] : {std::pair<const NativeNode*, std::wstring>{deepNode.get(), L"next"}, {onceNode.get(), L"self"}}) {
        EXPECT_EQ(nodeLine(descend(root, kMaxDictDepth - 1)), key + L"|C|dict|1 key");
        const NativeNode* limited = descend(root, kMaxDictDepth);
        EXPECT_EQ(nodeLine(limited), key + L"|O|dict|max nesting depth reached|dict");
        EXPECT_EQ(childCount(*limited), 0u);
    }
    // Through arrays a level is two nodes: the array and its "[0]" dictionary.
    EXPECT_EQ(nodeLine(descend(arrayNode.get(), 2 * kMaxDictDepth)), L"[0]|O|dict|max nesting depth reached|dict");
    // Two keys would double at every level: the count of the whole tree's
    // cost stops as soon as it passes the limit.
    EXPECT_GT(dictTreeCost(HDict(twice[0].H()), uint64_t{1} << 20), uint64_t{1} << 20);
    ClearHandle(once);
    ClearHandle(twice);
}

// Children asked for in any order are those of any other order: the tree threads' test.
TEST(DictFiles, ConversionLeavesOutWhatJsonCannotHoldOnlyWhenAsked) {
    const TempDir dir;
    const HTuple dict = newDict();
    SetDictTuple(dict, "a", HTuple(Hlong{1}));
    HObject region;
    GenRectangle1(&region, 0, 0, 3, 3);
    SetDictObject(region, dict, "shape");
    const std::string binary = dir.path("d.hdict");
    WriteDict(dict, binary.c_str(), HTuple(), HTuple());
    const std::wstring wideBinary(binary.begin(), binary.end());
    std::wstring error;
    const std::string json = dir.path("d.json");
    const std::wstring wideJson(json.begin(), json.end());
    EXPECT_FALSE(AdapterCore::convertDictFile(wideBinary, wideJson, false, error));
    EXPECT_NE(error.find(L"does not serialize"), std::wstring::npos) << error;
    // What a conversion leaving them out writes is the tree threads' test; a missing file the hosts'.
    EXPECT_TRUE(AdapterCore::convertDictFile(wideBinary, wideJson, true, error)) << error;
}

}  // namespace
