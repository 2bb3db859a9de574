// Object files, image files and sequence files: reading them into an object
// set and building the file's tree.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

#include "Limits.h"
#include "ix_adapter.h"

// How an object load reads its file: an object file (ReadObject), a sequence
// file (one ReadImage of every entry) or an image file (ReadImage).
enum class ObjectSource { ObjectFile, SequenceFile, ImageFile };

// The source an object load takes by the path's suffix: "hobj", "seq", else an image.
ObjectSource objectSourceBySuffix(const std::wstring& path);

// The load a file calls for (AdapterCore::recognizeFile): its kind and, for
// an object load, how the file is read.
struct FileKind {
    IxLoadKind kind;
    ObjectSource source;
};

// The 20 suffixes tried, in order, for a sequence entry named without one.
const std::vector<std::wstring>& sequenceProbeExtensions();

// The entries of a sequence file, one per line that holds more than spaces
// and tabs, trimmed, in file order. A line longer than the limit gives no
// entries at all and, when `error` is given, a message there.
std::vector<std::wstring> sequenceEntries(std::istream& in, std::wstring* error = nullptr);

// The two directories a sequence file's entries are searched in: the parent
// of the file's directory, then the file's directory ("" is the current one).
std::vector<std::string> sequenceSearchDirectories(const std::string& sequencePath);

// The file an entry names: the first regular file among each directory joined
// with the entry, then with each probe suffix; empty when there is none.
std::string resolveSequenceEntry(const std::string& entry, const std::vector<std::string>& directories);

// The file's base name: after the last "/" or "\", cut at the last ".".
std::wstring fileBaseName(const std::wstring& path);
