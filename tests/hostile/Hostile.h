// Hostile inputs: files written at test time that a reader must refuse with a
// clear message, without a signal and within a small memory bound. Each case
// is loaded in a child process through ix_reader_parse_object_file, as a host
// would load it (a dictionary file through ReadDict); the runner (HostileMain.cpp) checks the message and the
// child's peak memory. No timing is asserted: a case that loops forever is
// caught by ctest's timeout.
//
// A file in tests/hostile/ registers its cases with IX_HOSTILE(name): the body
// writes its input below `dir` and returns what to load and expect.
#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace ixhostile {

// How a case is loaded: ix_reader_parse_object_file, ReadDict, ReadObjectModel3d,
// ReadDlModel, or ix_reader_parse_file (the tree included).
enum Load { ObjectFile, Dictionary, Model3d, DlModel, Tree };

struct Case {
    std::string path;          // what to load (a file, a FIFO, a link, a sequence file)
    std::string expectError;   // a fragment the error message must contain; empty: the load must succeed
    size_t memoryLimitMB = 256;  // peak memory the load may add, beyond the process's baseline
    Load load = ObjectFile;
};

using Maker = Case (*)(const std::string& dir);

inline std::map<std::string, Maker>& registry() {
    static std::map<std::string, Maker> cases;
    return cases;
}

// Writes `bytes` to dir/name and returns the path.
template <class Bytes>
std::string writeFile(const std::string& dir, const std::string& name, const Bytes& bytes) {
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

}  // namespace ixhostile

#define IX_HOSTILE(name)                                                                            \
    static ixhostile::Case ixHostile_##name(const std::string& dir);                                \
    static const bool ixHostileRegistered_##name = (ixhostile::registry()[#name] = ixHostile_##name, true); \
    static ixhostile::Case ixHostile_##name(const std::string& dir)
