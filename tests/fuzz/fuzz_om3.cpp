// The 3D object model file reader on arbitrary bytes.
#include "FuzzModel3d.h"

IX_FUZZ_MODEL3D("om3")
