// The JPEG reader on arbitrary bytes.
#include "FuzzReader.h"

IX_FUZZ_READER("jpg")
