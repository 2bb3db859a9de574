// The one door from the adapter to the vision library.
//
// AdapterCore and AdapterApi include this header and nothing else of the vision
// side. It selects the backend at build time: the vendor's HalconCpp when the
// build defines IX_VISION_HALCON, otherwise the embedded library of this
// project, which declares the same names with the same signatures.
#pragma once

#if defined(IX_VISION_HALCON) && IX_VISION_HALCON
#include <halconcpp/HalconCpp.h>
#else
#include "embedded/HalconCpp.h"
#endif
