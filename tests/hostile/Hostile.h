// Hostile inputs: files written at test time that a reader must refuse with a
// clear message, without a signal and within a small memory bound. Each case
// is loaded in a child process through ix_reader_parse_any_file, as a host
// would load it, its tree included; the runner (HostileMain.cpp) checks the
// message and the child's peak memory. No timing is asserted: a case that
// loops forever is caught by ctest's timeout.
//
// A file in tests/hostile/ declares its cases with IX_HOSTILE(name), each a
// test Hostile.name: the body writes its input below `dir` and returns what to
// load and expect.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace ixhostile {

struct Case {
    std::string path;          // what to load (a file, a FIFO, a link, a sequence file)
    std::string expectError;   // a fragment the error message must contain; empty: the load must succeed
    size_t memoryLimitMB = 256;  // peak memory the load may add, beyond the process's baseline
};

using Maker = Case (*)(const std::string& dir);

// Writes the case below a directory of its own, loads it in a child process and checks the outcome.
void run(const std::string& name, Maker maker);

// Writes `bytes` to dir/name and returns the path.
template <class Bytes>
std::string writeFile(const std::string& dir, const std::string& name, const Bytes& bytes) {
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

}  // namespace ixhostile

#define IX_HOSTILE(name)                                             \
    static ixhostile::Case ixHostile_##name(const std::string& dir); \
    TEST(Hostile, name) { ixhostile::run(#name, ixHostile_##name); } \
    static ixhostile::Case ixHostile_##name(const std::string& dir)
