// The PLY reader on arbitrary bytes.
#include "FuzzModel3d.h"

IX_FUZZ_MODEL3D("ply")
