#include <string>

#include "Seeds.h"

IX_SEEDS(sequence) {
    for (const std::string text : {std::string("img_01.png\nimg_02.png\n"), std::string("\t a b.tif  \r\n\r\n  \n# x\nlast"),
                                   std::string("/abs/path/\xC3\xA9t\xC3\xA9.jpg\r"), std::string("a\0b\n", 4),
                                   std::string("\xE2\x82\n\x80\xFF\n")})
        add(ixseeds::Bytes(text.begin(), text.end()));
}
