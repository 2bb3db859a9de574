// JSON files that nest far beyond the limit or hold absurd numbers, read as
// dictionaries.
#include <string>

#include "Hostile.h"

// A million '[': refused at the 513th level, without a deep stack.
IX_HOSTILE(JsonMillionOpenBrackets) {
    return {ixhostile::writeFile(dir, "deep.json", std::string(1000000, '[')),
            "nesting deeper than 512 levels at line 1, column 513", 64};
}

// A number of a million digits: beyond the range of a real, found without
// quadratic work on the digits.
IX_HOSTILE(JsonMillionDigitNumber) {
    return {ixhostile::writeFile(dir, "digits.json", "{\"n\":" + std::string(1000000, '7') + "}"),
            "beyond the range of a real", 64};
}

// One element, ten million commas: refused at the second, no storage set aside for the rest.
IX_HOSTILE(JsonArrayOfCommas) {
    return {ixhostile::writeFile(dir, "commas.json", "[\"a\"" + std::string(10000000, ',') + "]"),
            "expected a value at line 1, column 6", 64};
}
