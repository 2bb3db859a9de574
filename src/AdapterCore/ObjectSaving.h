// Saving the iconic objects of nodes to files: the writer is chosen by the
// file's suffix, and the vision library does all the writing.
#pragma once

#include <string>

// The format name under which an image is written for a file suffix (already
// lower-cased): "jpeg" is written as "jpg", "tif" as "tiff", every other
// suffix under its own name, the empty one included.
std::wstring imageFormatForSuffix(const std::wstring& suffix);
