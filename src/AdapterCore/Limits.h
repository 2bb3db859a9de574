// Every bound the adapter puts on what a file or a host may make it build, in
// one place. The vision library bounds what it reads; these bound the tree.
#pragma once

#include <cstddef>
#include <cstdint>

// The most values a node holds; longer sources keep their whole tuple instead.
constexpr int32_t kMaxNodeValues = 1000;

// Handles nested under handle keys expand down to depth 32; a handle at
// depth 33 is an opaque "max nesting depth reached" node.
constexpr int32_t kMaxHandleDepth = 33;

// Dictionaries expand down to 512 levels, counted along the path through
// tuples and arrays; a deeper one is an opaque "dict" node.
constexpr int kMaxDictDepth = 512;

// Children of dictionaries and arrays are built when first asked for, this
// many at a time.
constexpr size_t kChildChunk = 256;

// What the whole tree of a dictionary file may cost, nodes never built
// included: a floor every file may use, plus an allowance per byte of the
// file. A file whose tree would cost more is refused at load, so that no
// later first access can run out of room.
constexpr uint64_t kTreeFloorBytes = uint64_t{64} << 20;
constexpr uint64_t kTreeBytesPerFileByte = 64;
// What one node is charged: the record, its texts and its slot in its parent
// (measured with its value: 370 bytes for a key holding a number, 400 on
// average over a dataset's tree, docs/performance.md), and each value a Value
// node holds.
constexpr uint64_t kNodeBytes = 384;
constexpr uint64_t kValueBytes = 48;

// A sequence file: its size, the length of one line in bytes, and its
// entries (as many as an object file may hold objects).
constexpr size_t kMaxSequenceBytes = size_t{16} << 20;
constexpr size_t kMaxSequenceLine = 4096;
constexpr size_t kMaxSequenceEntries = size_t{1} << 20;
