// The embedded vision library: the HalconCpp names the adapter uses, with the
// vendor's signatures, implemented by this project.
//
// Only vendor names live in namespace HalconCpp. Everything of our own (tool
// kinds, formats, helpers) lives in namespace ixv and is reached by the
// embedded sources, the command-line tools and the tests, never by the adapter.
#pragma once

#include "HBase.h"
#include "HTuple.h"
#include "HObject.h"
#include "HDict.h"
#include "HDlModel.h"
#include "Operators.h"
