// JSON dictionary files: what reading gives, what it refuses and where, and
// writing as its inverse.
#include <gtest/gtest.h>

#include <cmath>

#include <pthread.h>

#include "NewDict.h"
#include "TestFiles.h"
#include "TupleText.h"
#include "base/Access.h"
#include "base/TupleData.h"
#include "formats/json/JsonFormat.h"
#include "tools/Dict.h"

using namespace HalconCpp;
using ixtest::describe;

namespace {

HHandle readJson(const std::string& json, const HTuple& names = HTuple(), const HTuple& values = HTuple()) {
    const auto file = ixv::formats::ByteSource::inMemory(reinterpret_cast<const uint8_t*>(json.data()), json.size(), "read_dict");
    ixv::Budget budget = ixv::formats::budgetFor(*ixv::formats::formatNamed("json", &ixv::formats::Format::readHandle), file);
    return ixv::formats::json::readHandle(file, budget, names, values);
}

std::string contentOf(const std::string& json, const HTuple& names = HTuple(), const HTuple& values = HTuple()) {
    return describe(HTuple(readJson(json, names, values)));
}

// The reader's message, for text that ReadDict takes for JSON (any with a value).
std::string errorOfJson(const std::string& json) {
    const bool value = json.find_first_not_of(" \t\r\n") != std::string::npos;
    if (value && !ixv::formats::json::matches(reinterpret_cast<const uint8_t*>(json.data()), json.size())) return "not JSON";
    return messageOf([&] { readJson(json); });
}

const HTuple kTuples = HTuple("convert_json_arrays_to"), kTuple = HTuple("tuple");

TEST(JsonFormat, ValuesReadAsDictionariesAndTuples) {
    const struct {
        std::string json, dictMode, tupleMode;
    } cases[] = {
        // Escapes and surrogate pairs decode to UTF-8.
        {R"({"s":"q\"b\\s\/ \b\f\n\r\t \u00e9\u20AC \ud83d\ude00"})", "{s='q\"b\\s/ \b\f\n\r\t \xC3\xA9\xE2\x82\xAC \xF0\x9F\x98\x80'}", ""},
        // Integers within 64 bits stay integers; every other number is a real.
        {R"({"min":-9223372036854775808,"max":9223372036854775807,"2^63":9223372036854775808,"2^64":18446744073709551616,"below":-9223372036854775809,"r":1.5,"e":1E2,"z":-0,"tiny":1e-400})",
         "{min=-9223372036854775808,max=9223372036854775807,2^63=9223372036854775808.0,2^64=18446744073709551616.0,"
         "below=-9223372036854775808.0,r=1.5,e=100.0,z=0,tiny=0.0}", ""},
        // Exponents of many digits, as simdjson alone would refuse them.
        {R"({"a":1e-999999999999999999999,"b":-0e999999999999999999999,"c":25e-0000000000000000000001})",
         "{a=0.0,b=-0.0,c=2.5}", "{a=0.0,b=-0.0,c=2.5}"},
        {R"({"t":[1e-999999999999999999999,1.5]})", "", "{t=(0.0,1.5)}"},
        {"{\"d\":0." + std::string(330, '0') + "1e0000000001}", "{d=0.0}", ""},
        // A repeated key: the last value, at the first key's place.
        {R"({"a":1,"b":2,"a":"again"})", "{a='again',b=2}", ""},
        {"\xEF\xBB\xBF { \"o\":{}, \"a\":[] }\n", "{o={},a={}}", "{o={},a=()}"},
        // Literals take the defaults; a top-level array is a dictionary in both modes.
        {R"([true,false,null,[1,[2.5]],{"k":[]}])", "{[0]=1,[1]=0,[2]=null,[3]={[0]=1,[1]={[0]=2.5}},[4]={k={}}}",
         "{[0]=1,[1]=0,[2]=null,[3]=(1,{[0]=2.5}),[4]={k=()}}"},
        // In tuples, objects and arrays are dictionary handles; an array there
        // holds its elements as a dictionary does (its arrays are tuples again).
        {R"({"t":[1,"s",true,null,{"k":[3,4]},[5,[6,7]],2.5]})", "",
         "{t=(1,'s',1,null,{k=(3,4)},{[0]=5,[1]=(6,7)},2.5)}"},
    };
    for (const auto& c : cases) {
        if (!c.dictMode.empty()) {
            EXPECT_EQ(contentOf(c.json), c.dictMode) << c.json;
        }
        if (!c.tupleMode.empty()) {
            EXPECT_EQ(contentOf(c.json, kTuples, kTuple), c.tupleMode) << c.json;
        }
    }
    // Long arrays, counted ahead after their first numbers: alone, or turning mixed at the end
    // (a container there stops the count: the room grows as the numbers come).
    for (const char* tail : {"", ",2.5", ",\"x\"", ",{}"}) {
        std::string json = "{\"n\":[0", tuple = "{n=(0", dict = "{n={[0]=0";
        for (int i = 1; i < 700; ++i) json += "," + std::to_string(i), tuple += "," + std::to_string(i), dict += ",[" + std::to_string(i) + "]=" + std::to_string(i);
        const std::string last = *tail == ',' ? std::string(tail + 1) == "\"x\"" ? "'x'" : tail + 1 : "";
        EXPECT_EQ(contentOf(json + tail + "]}", kTuples, kTuple), tuple + (*tail ? "," + last : "") + ")}");
        EXPECT_EQ(contentOf(json + tail + "]}"), dict + (*tail ? ",[700]=" + last : "") + "}}");
    }
    // A mixed array is charged for its elements and for the list that collects them.
    std::string mixed = "{\"m\":[{}";
    for (int i = 0; i < 1000; ++i) mixed += i < 999 ? ",1" : ",1]}";
    const auto file = ixv::formats::ByteSource::inMemory(reinterpret_cast<const uint8_t*>(mixed.data()), mixed.size(), "read_dict");
    ixv::Budget budget = ixv::formats::budgetFor(*ixv::formats::formatNamed("json", &ixv::formats::Format::readHandle), file);
    ixv::formats::json::readHandle(file, budget, kTuples, kTuple);
    EXPECT_GE(budget.allowance() - budget.remaining(), 1001 * (sizeof(ixv::Element) + 2 * sizeof(HTuple)));
    // Arrays of one kind of number are held as arrays of that kind.
    const HHandle kinds = readJson(R"({"i":[1,true,3],"r":[1.5,2.5],"m":[1,2.5]})", kTuples, kTuple);
    const auto& dict = static_cast<const ixv::Dict&>(*ixv::Access::tool(kinds));
    using Kind = ixv::TupleData::Kind;
    EXPECT_EQ(ixv::storedOf(dict.valueAt(0))->kind(), Kind::Longs);
    EXPECT_EQ(ixv::storedOf(dict.valueAt(1))->kind(), Kind::Doubles);
    EXPECT_EQ(ixv::storedOf(dict.valueAt(2))->kind(), Kind::Mixed);
    // They view their numbers in the file's memory, outlive it and change alone.
    HTuple reals = HDict(readJson(R"({"r":[1.5,2.5,3.5]})", kTuples, kTuple)).GetDictTuple("r"), shared = reals;
    shared.Append(4.5);
    reals.Append(HTuple(Hlong{5}));
    EXPECT_EQ(ixtest::describe(shared) + ixtest::describe(reals), "(1.5,2.5,3.5,4.5)(1.5,2.5,3.5,5)");
    // Values far apart in a long text: the file's memory keeps a bounded part of the text's pages.
    std::string spaced = "[1.5";
    for (int i = 0; i < 70000; ++i) spaced += "," + std::string(1000, ' ') + (i < 69999 ? "1.5" : "1.5]");
    const auto residentKB = [] { std::ifstream statm("/proc/self/statm"); long size = 0, pages = 0; statm >> size >> pages; return pages * (sysconf(_SC_PAGESIZE) / 1024); };
    const long before = residentKB();
    const HHandle numbers = readJson(spaced);
    EXPECT_LT(residentKB() - before, long(spaced.size() / 1024 / 3));
}

TEST(JsonFormat, DictionariesSharingKeysChangeAloneAndOutliveTheirFile) {
    // Records with the same keys, and arrays of one length, share their key
    // tuple and index (and the file's arena): a change to one is its own.
    std::string json = R"({"records":[)";
    for (int i = 0; i < 3; ++i) {
        json += i ? "," : "";
        for (int k = 0; k < 20; ++k) json += (k ? ",\"k" : "{\"k") + std::to_string(k) + "\":" + std::to_string(i);
        json += R"(,"text":"a string longer than fifteen bytes","box":[1.5,2.5],"small":{"a":1,"b":2})";
        json += i == 2 ? R"(,"k5":"again","t\u0061b":1})" : "}";  // a repeated key, an escaped one
    }
    json += "]}";
    HTuple records;
    {
        const HDict root(readJson(json));
        records = root.GetDictTuple("records");
    }  // the root and its file are gone; what was taken from them stays
    const HDict array(records[0].H());
    const HDict first(array.GetDictTuple(0)[0].H()), second(array.GetDictTuple(1)[0].H());
    const HTuple keysBefore = second.GetDictParam("keys", HTuple());
    SetDictTuple(HTuple(first), "k19", "changed");
    SetDictTuple(HTuple(first), "new", 7);
    SetDictTuple(first.GetDictTuple("box"), 2, 3.5);
    EXPECT_EQ(describe(first.GetDictTuple("k19").Append(first.GetDictTuple("new")).Append(second.GetDictTuple("k19"))),
              "('changed',7,1)");
    EXPECT_EQ(errorOf([&] { second.GetDictTuple("new"); }), ixv::err::DictKeyMissing);
    EXPECT_EQ(describe(HTuple(second.GetDictParam("keys", HTuple()).Length()).Append(keysBefore.Length())
                           .Append(second.GetDictTuple("text")).Append(second.GetDictTuple("box"))),
              "(23,23,'a string longer than fifteen bytes',{[0]=1.5,[1]=2.5})");
    const HDict third(array.GetDictTuple(2)[0].H());
    EXPECT_EQ(describe(third.GetDictTuple("k5").Append(third.GetDictTuple("tab")).Append(third.GetDictParam("keys", HTuple()).Length())),
              "('again',1,24)");
    for (const HDict& d : {first, third}) {  // a key taken out of a shared key tuple finds its own value
        const HDict small(d.GetDictTuple("small")[0].H());
        const HTuple keys = small.GetDictParam("keys", HTuple());
        EXPECT_EQ(small.GetDictTuple(HTuple(keys[1]))[0].L(), 2);
        EXPECT_STREQ(HTuple(keys[0])[0].C(), "a");
    }
    // A file's chain of dictionaries dying under a dictionary of another owner, at the depths around
    // the one below which their destruction is queued: the queued values outlive the file's memory.
    for (int depth = 60; depth < 68; ++depth) {
        std::string chain;
        for (int i = 0; i < depth; ++i) chain += "{\"a\":";
        HTuple holder = newDict();
        SetDictTuple(holder, "file", HTuple(readJson(chain + R"({"x":1,"y":2.5})" + std::string(depth, '}'))));
    }
}

TEST(JsonFormat, ReadingOptions) {
    const std::string json = R"({"t":true,"f":false,"n":null,"a":[true,null]})";
    HTuple names = HTuple("json_value_true").Append("json_value_false").Append("json_value_null");
    HTuple values = HTuple("yes").Append(HTuple(-1.5)).Append(HTuple(Hlong{-1}));
    EXPECT_EQ(contentOf(json, names, values), "{t='yes',f=-1.5,n=-1,a={[0]='yes',[1]=-1}}");
    EXPECT_EQ(contentOf(json, HTuple(names).Append(kTuples), HTuple(values).Append(kTuple)), "{t='yes',f=-1.5,n=-1,a=('yes',-1)}");
    EXPECT_EQ(contentOf(json, kTuples, HTuple("dict")), "{t=1,f=0,n=null,a={[0]=1,[1]=null}}");

    EXPECT_EQ(errorOf([&] { readJson(json, HTuple("json_value_maybe"), HTuple(1)); }), 1302u);
    EXPECT_EQ(errorOf([&] { readJson(json, kTuples, HTuple("list")); }), 1303u);
    EXPECT_EQ(errorOf([&] { readJson(json, kTuples, HTuple()); }), 1303u);
    EXPECT_NE(messageOf([&] { readJson(json, kTuples, HTuple("list")); }).find("convert_json_arrays_to"), std::string::npos);
}

TEST(JsonFormat, MalformedFilesSayWhatAndWhere) {
    const std::pair<std::string, std::string> cases[] = {
        {"{\n  \"a\": 1,\n  \"b\": [1, 2]\n  \"c\": 3\n}", "expected ',' or '}' at line 4, column 3"},
        {R"({"é": "ü" 1})", "expected ',' or '}' at line 1, column 11"},  // columns count characters
        {R"({"a":[1 2]})", "expected ',' or ']' at line 1, column 9"},
        {R"({"a" 1})", "expected ':' after the key at line 1, column 6"},
        {R"({"a":1,})", "expected a string key at line 1, column 8"},
        {R"({"a":})", "expected a value at line 1, column 6"},
        {R"({"a":tru})", "expected a value at line 1, column 6"},
        {R"({"a":01})", "invalid number at line 1, column 6"},
        {R"({"a":1.})", "invalid number at line 1, column 6"},
        {R"({"a":-})", "invalid number at line 1, column 6"},
        {R"({"a":1e400})", "number 1e400 beyond the range of a real at line 1, column 6"},
        {R"({"a":[1e999999999999999999999]})", "number 1e999999999999999999999 beyond the range of a real at line 1, column 7"},
        {R"({"a":1e-99999999999999999999x})", "invalid number at line 1, column 6"},
        {R"({"a":"x\q"})", "invalid escape '\\q' at line 1, column 8"},
        {"{\"a\":\"x\\\xC3\xA9\"}", "invalid escape '\\\xC3\xA9' at line 1, column 8"},
        {std::string("{\"a\":\"x\\\0\"}", 11), "invalid escape: '\\' before the control character U+0000 at line 1, column 8"},
        {R"({"a":"\ud800"})", "unpaired surrogate in a \\u escape at line 1, column 7"},
        {R"({"a":"\udc00\ud800"})", "unpaired surrogate"},
        {"{\"a\":\"\t\"}", "control character in a string"},
        {R"({"a":"abc)", "unterminated string at line 1, column 6"},
        {"{} x", "unexpected content after the top-level value at line 1, column 4"},
        {"\n\n  \"abc\"", "the top level must be an object or an array at line 3, column 3"},
        {"  ", "the file holds no value"},
        {"{\"a\":\"\xC3\x28\"}", "invalid UTF-8 at byte offset 6 (line 1, column 7)"},
        {"{\"a\":\"\xED\xA0\x80\"}", "invalid UTF-8 at byte offset 6"},  // an encoded surrogate
        {"{\"a\":" + std::string(512, '[') + std::string(512, ']') + "}", "nesting deeper than 512 levels at line 1, column 517"},
    };
    for (const auto& c : cases) {
        const std::string message = errorOfJson(c.first);
        EXPECT_EQ(message.rfind("Invalid JSON: " + c.second, 0), 0u) << c.first << " gives: " << message;
        EXPECT_EQ(errorOf([&] { readJson(c.first); }), 5280u) << c.first;
    }

    // In a long file the reader hands the text behind it over to the file's
    // memory, where values read before are kept; an error past that is still
    // placed and described from the whole text.
    std::string longFile = "{\"a\":[";
    for (int i = 0; i < 2200000; ++i) longFile += "0,";
    longFile += "tru]}";
    const std::string where = "expected a value at line 1, column " + std::to_string(longFile.size() - 4);
    EXPECT_EQ(messageOf([&] { readJson(longFile, kTuples, kTuple); }), "Invalid JSON: " + where);
    EXPECT_EQ(errorOfJson(longFile), "Invalid JSON: " + where);
    std::string records = "[";
    for (int i = 0; i < 150000; ++i) records += "{\"id\":" + std::to_string(i) + ",\"box\":[1.5," + std::to_string(i) + "]},";
    const HDict array(readJson(records + "{}]", kTuples, kTuple));
    for (Hlong i = 0; i < 150000; i += 101)
        EXPECT_EQ(describe(HDict(array.GetDictTuple(i)[0].H()).GetDictTuple("box")), "(1.5," + std::to_string(i) + ")");
    EXPECT_EQ(errorOfJson(records + "tru]"), "Invalid JSON: expected a value at line 1, column " + std::to_string(records.size() + 1));

    // Every cut of a valid file is refused, never read in part.
    const std::string good = R"({"a":[1,-2.5e3,"x\u00e9"],"b":{"c":[true,false,null]}})";
    ASSERT_EQ(errorOfJson(good), "");
    for (size_t size = 0; size < good.size(); ++size)
        EXPECT_EQ(errorOfJson(good.substr(0, size)).rfind("Invalid JSON: ", 0), 0u) << good.substr(0, size);
}

// WriteDict's JSON, read back.
std::string written(const HTuple& dict, const HTuple& names = HTuple(), const HTuple& values = HTuple()) {
    TempDir dir;
    const std::string path = dir.path("out.JSON");
    WriteDict(dict, path.c_str(), names, values);
    return readFile(path);
}

// A host may read and write on a thread of 128 KiB; the deepest files read
// and write there as anywhere, and their errors reach the caller.
TEST(JsonFormat, TheDeepestFilesReadAndWriteOnASmallThreadStack) {
    const std::string deep = "{\"a\":" + std::string(511, '[') + "1" + std::string(511, ']') + "}";
    std::string results[4];
    auto body = [&] {
        results[0] = errorOfJson(deep);
        results[1] = messageOf([&] { readJson(deep, kTuples, kTuple); });
        results[2] = errorOfJson("{\"a\":" + std::string(512, '[') + std::string(512, ']') + "}");
        results[3] = messageOf([&] { results[3] = errorOfJson(written(HTuple(readJson(deep)))); });
    };
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 128 << 10);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attr, [](void* f) -> void* { (*static_cast<decltype(body)*>(f))(); return nullptr; }, &body), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(results[0], "");
    EXPECT_EQ(results[1], "");
    EXPECT_EQ(results[2].rfind("Invalid JSON: nesting deeper than 512 levels", 0), 0u) << results[2];
    EXPECT_EQ(results[3], "");
}

TEST(JsonFormat, WritingIsTheInverseOfReading) {
    const std::string json = R"({"name":"caf\u00e9 \"q\" \\ \u0001\n","i":-7,"r":[1.0,0.5,1e+20,-0.0,2.5e-300],"big":18446744073709551616,)"
                             R"("list":[1,"two",[3,{"four":null}],{}],"t":true,"empty":{},"nested":{"deep":{"x":[[1,2],[3]]}}})";
    for (const HTuple& mode : {HTuple("dict"), kTuple}) {
        const HTuple dict(readJson(json, kTuples, mode));
        const std::string text = written(dict);
        EXPECT_EQ(contentOf(text, kTuples, mode), describe(dict)) << text;
        // Written a second time, the text is the same.
        EXPECT_EQ(written(HTuple(readJson(text, kTuples, mode))), text);
    }
    // Exactly as written: a tuple of one value is that value, reals keep a "." or an exponent.
    const HTuple dict = newDict();
    SetDictTuple(dict, "r", HTuple(2.0).Append(HTuple(1e21)).Append(HTuple(0.1)));
    SetDictTuple(dict, "one", HTuple(Hlong{3}));
    SetDictTuple(dict, "none", HTuple());
    SetDictTuple(dict, "s", HTuple("\x01\t\"\xE2\x82\xAC"));
    SetDictTuple(dict, "h", HTuple(HHandle()));
    EXPECT_EQ(written(dict), "{\n  \"r\": [2.0, 1e+21, 0.1],\n  \"one\": 3,\n  \"none\": [],\n  \"s\": \"\\u0001\\t\\\"\xE2\x82\xAC\",\n  \"h\": null\n}\n");
    const HTuple array = newDict();
    SetDictTuple(array, 0, HTuple("a"));
    SetDictTuple(array, 1, HTuple(Hlong{2}));
    EXPECT_EQ(written(array), "[\n  \"a\",\n  2\n]\n");
}

TEST(JsonFormat, ContentJsonCannotHoldRaisesOrIsLeftOut) {
    HTuple matrix;
    CreateMatrix(1, 1, 0, &matrix);
    HObject region;
    GenRectangle1(&region, 0, 0, 2, 2);
    const auto make = [](const char* key, auto set) {
        const HTuple outer = newDict(), inner = newDict();
        SetDictTuple(outer, "kept", 1);
        SetDictTuple(outer, "inner", inner);
        set(inner, key);
        return outer;
    };
    const struct {
        HTuple dict;
        std::string detail;
    } cases[] = {
        {make("m", [&](HTuple d, const char* k) { SetDictTuple(d, k, HTuple(Hlong{1}).Append(matrix)); }), "key /inner/m holds a matrix handle"},
        {make("o", [&](HTuple d, const char* k) { SetDictObject(region, d, k); }), "key /inner/o holds iconic objects"},
        {make("n", [&](HTuple d, const char*) { SetDictTuple(d, 5, 1); }), "key /inner/5 holds an integer key"},
        {make("nan", [&](HTuple d, const char* k) { SetDictTuple(d, k, HTuple(std::nan(""))); }), "key /inner/nan holds a real that is not finite"},
        {make("s", [&](HTuple d, const char* k) { SetDictTuple(d, k, HTuple("\xFF")); }), "key /inner/s holds a string that is not valid UTF-8"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string path = dir.path("x.json");
        const std::string message = messageOf([&] { WriteDict(c.dict, path.c_str(), HTuple(), HTuple()); });
        EXPECT_EQ(errorOf([&] { WriteDict(c.dict, path.c_str(), HTuple(), HTuple()); }), 2455u);
        EXPECT_NE(message.find(c.detail), std::string::npos) << message;
        EXPECT_FALSE(std::filesystem::exists(path));
        const HTuple keep = HTuple("raise_error_if_content_not_serializable"), no = HTuple("false");
        EXPECT_EQ(contentOf(written(c.dict, keep, no)), "{kept=1,inner={}}") << c.detail;
    }
    // In an array, what is left out leaves null in its place: the elements after it keep their positions.
    const HTuple array = newDict();
    SetDictTuple(array, 0, "a");
    SetDictTuple(array, 1, matrix);
    SetDictTuple(array, 2, "c");
    EXPECT_EQ(contentOf(written(array, HTuple("raise_error_if_content_not_serializable"), HTuple("false"))),
              "{[0]='a',[1]=null,[2]='c'}");
    // A dictionary that contains itself is refused at the nesting bound, whatever the flag.
    const HTuple self = newDict();
    SetDictTuple(self, "me", self);
    TempDir dir;
    const std::string message = messageOf([&] {
        WriteDict(self, dir.path("self.json").c_str(), HTuple("raise_error_if_content_not_serializable"), HTuple("false"));
    });
    EXPECT_NE(message.find("nested deeper than 512 levels"), std::string::npos) << message;
    ClearHandle(self);
}

}  // namespace
