// Small JSON files of every construct the reader maps, each in both array
// modes (the fuzz target's first byte chooses the mode).
#include <string>

#include "Seeds.h"

IX_SEEDS(json) {
    const char* const texts[] = {
        R"({"name":"caf\u00e9 \ud83d\ude00 \"q\" \\ \/ \b\f\n\r\t","id":42,"r":-2.5e-3,"big":18446744073709551616})",
        R"({"a":[1,2,3],"b":[1.5,2.5],"c":[1,"two",true,false,null,{"k":[]},[[1],[2,3]]],"d":{}})",
        R"([{"x":1,"x":2},[],{},"s",0,-0,1E+2])",
        "\xEF\xBB\xBF  {\n  \"samples\": [\n    {\"file\": \"a.png\", \"bbox\": [1.0, 2.0, 3.5, 4.25], \"ok\": true}\n  ]\n}\n",
        R"({"deep":[[[[[[[[[[{"e":[[[[]]]]}]]]]]]]]]]})",
        R"({"a":1 "b":2})",
        R"({"a":"\ud800"})",
    };
    for (const char* text : texts)
        for (const uint8_t mode : {0, 1}) {
            ixseeds::Bytes bytes{mode};
            bytes.insert(bytes.end(), text, text + std::char_traits<char>::length(text));
            add(bytes);
        }
}
