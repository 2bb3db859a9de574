// The STL reader, ASCII and binary on arbitrary bytes.
#include "FuzzModel3d.h"

IX_FUZZ_MODEL3D("stl")
