// ixdump --render: draws a node as a viewer would, through the library's
// extraction functions only, and writes the picture as an RGB PNG.
#pragma once

#include <string>

#include "ix_adapter.h"

// Draws `node` by the drawing rule (viewer/public/drawing.json): a file's
// root or another container draws the objects among its children over the
// first image among them, an image object its first image, a geometry object
// its geometry over the first image beside it in `parent` (null for a root);
// geometry without an image gets a backdrop of its extent with a margin.
// Regions are filled translucent, contours, polygons and parallels drawn as
// lines, each object in the colour its path gives it (the same wherever it is
// drawn, see drawing.json's colourMeans). Writes the picture to `out`, a
// PNG or a JPEG by its suffix; false with the reason in `error` when there is
// nothing to draw, the library refuses an extraction or the file cannot be
// written.
bool renderNode(ReaderHandle* reader, const NativeNode* node, const NativeNode* parent, const std::string& out,
                std::wstring& error);
