// The OFF reader on arbitrary bytes.
#include "FuzzModel3d.h"

IX_FUZZ_MODEL3D("off")
