// Dictionary files whose counts promise far more than the file holds.
#include "DictFileWriter.h"
#include "Hostile.h"

using namespace ixtest::hdict;

namespace {

// A dictionary whose key "t" holds a mixed tuple said to have `count`
// elements, followed by `nulls` null handles of one byte each.
Bytes nullHandles(uint64_t count, size_t nulls) {
    Bytes bytes = header();
    put(bytes, 1, 8);
    key(bytes, "t");
    bytes.push_back(3);
    put(bytes, count, 8);
    bytes.resize(bytes.size() + nulls, 16);
    return bytes;
}

}  // namespace

// A mixed tuple of 2^32 elements, then 8 MB of null handles:
// the elements are counted against the bytes left before any is allocated.
IX_HOSTILE(DictionaryTupleCountBomb) {
    return {ixhostile::writeFile(dir, "tuple.hdict", nullHandles(uint64_t{1} << 32, 8 << 20)),
            "element count 4294967296 exceeds the 8388608 bytes left", 64};
}

// A million nested dictionaries in 19 MB: refused at level 513, with little memory.
IX_HOSTILE(DictionaryNestingBomb) {
    return {ixhostile::writeFile(dir, "deep.hdict", nested(1000000)), "exceeds the limit of 512 levels", 64};
}

// One tuple of 4 million null handles in a 4 MB file: little data, but a tree
// node for each. The whole tree is counted at load and refused, in a walk
// that stops at the allowance, without building a node.
IX_HOSTILE(DictionaryTreeBomb) {
    return {ixhostile::writeFile(dir, "handles.hdict", nullHandles(uint64_t{4} << 20, 4 << 20)), "exceeds the limit",
            320};
}
