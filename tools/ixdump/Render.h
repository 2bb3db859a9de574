// ixdump --render: draws a node as a viewer would, through the library's
// extraction functions only, and writes the picture as an RGB PNG.
#pragma once

#include <string>

#include "ix_adapter.h"

// Draws `node`: its first image (or, when it holds geometry alone, a canvas
// of the geometry's extent) with its regions filled translucent and its
// contours, polygons and parallels drawn as lines, each object in a colour of
// its own. With `wholeFile`, `node` is a file root and every object of the
// file is drawn over the file's first image. Writes the picture to `out`;
// false with the reason in `error` when there is nothing to draw, the
// library refuses an extraction or the file cannot be written.
bool renderNode(ReaderHandle* reader, const NativeNode* node, bool wholeFile, const std::string& out,
                std::wstring& error);
