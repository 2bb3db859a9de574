// The BMP reader on arbitrary bytes.
#include "FuzzReader.h"

IX_FUZZ_READER("bmp")
