// Writing dictionaries as JSON, the inverse of reading them: a dictionary
// whose keys are exactly 0..n-1 in that order is an array, any other with
// string keys an object; a tuple of one value is that value, of any other
// length an array; a null handle is null. Reals are written in their shortest
// exact form with a "." or an exponent, so that they read back as reals.
//
// Content JSON cannot hold (iconic objects, matrices and other handles,
// integer keys of another shape, reals that are not finite, text that is not
// UTF-8) raises 2455 with the key's path, or leaves the entry out when
// "raise_error_if_content_not_serializable" is "false" (in an array, null
// stands in its place, so that the elements after it keep their positions). Nesting is bounded
// as in reading, so that a dictionary that contains itself is an error, not
// a hang; the bound holds whatever the flag, since the file could not be read.
// The writer recurses once per level, on a thread of its own when the
// caller's stack is small (withDeepStack).
#include <simdjson.h>

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "base/Access.h"
#include "base/Errors.h"
#include "base/TupleData.h"
#include "formats/json/JsonFormat.h"
#include "tools/Dict.h"
#include "tools/DictParams.h"

using HalconCpp::HHandle;
using HalconCpp::HTuple;

namespace ixv::formats::json {

namespace {

constexpr const char* kProc = "write_dict";
constexpr size_t kChunk = size_t{1} << 16;  // bytes handed to the sink at a time

bool validUtf8(const std::string& text) {
    return simdjson::validate_utf8(text.data(), text.size());
}

// Keys exactly 0..n-1 in that order (n > 0): the dictionary of an array.
bool isArray(const Dict& dict) {
    return dict.size() > 0 && dict.sequential();
}

class Writer {
public:
    Writer(FileSink& sink, bool raise) : sink_(sink), raise_(raise) { out_.reserve(kChunk + 4096); }

    void root(const Dict& dict) {
        write(dict);
        out_ += '\n';
        sink_.write(out_.data(), out_.size());
    }

private:
    // Where a value is, for messages: a key, or an element of a tuple.
    struct Step {
        const DictKey* key;
        Hlong index;
    };

    std::string path() const {
        std::string text;
        for (const Step& step : path_) {
            if (step.key)
                text += "/" + (step.key->isInteger() ? std::to_string(step.key->integer()) : step.key->text());
            else
                text += "[" + std::to_string(step.index) + "]";
        }
        return text.empty() ? "/" : text;
    }

    // Why an element cannot be written, or null.
    static const char* unwritable(const Element& element) {
        switch (element.index()) {
        case 1: return std::isfinite(std::get<double>(element)) ? nullptr : "a real that is not finite";
        case 2: return validUtf8(std::get<std::string>(element)) ? nullptr : "a string that is not valid UTF-8";
        case 3: {
            const auto& tool = Access::tool(std::get<HHandle>(element));
            if (!tool || dynamic_cast<const Dict*>(tool.get())) return nullptr;
            return tool->semType();
        }
        default: return nullptr;
        }
    }

    // Why a dictionary entry cannot be written, or null.
    static std::string unwritable(const Dict& dict, size_t i, const DictKey& key, bool inArray) {
        if (!inArray && key.isInteger()) return "an integer key (only the keys 0..n-1 make an array)";
        if (!inArray && !validUtf8(key.text())) return "a key that is not valid UTF-8";
        if (dict.holdsObject(i)) return "iconic objects";
        const auto data = storageOf(dict.valueAt(i));
        if (!data) return {};
        if (data->kind() == TupleData::Kind::Doubles) {
            for (Hlong k = 0; k < data->size(); ++k)
                if (!std::isfinite(data->doubles()[k])) return "a real that is not finite";
        } else if (data->kind() == TupleData::Kind::Mixed) {
            for (const Element& element : data->mixed())
                if (const char* why = unwritable(element))
                    return std::string(why).find(' ') == std::string::npos ? std::string("a ") + why + " handle" : why;
        }
        return {};
    }

    void open(char bracket) {
        if (++level_ > Limits::nestingDepth)
            raise(kProc, err::HandleNotSerializable,
                  "dictionaries nested deeper than " + std::to_string(Limits::nestingDepth) + " levels at " + path() +
                      " (does a dictionary contain itself?)");
        out_ += bracket;
    }
    void newline() {
        out_ += '\n';
        out_.append(2 * static_cast<size_t>(level_), ' ');
    }
    void flushSome() {
        if (out_.size() < kChunk) return;
        sink_.write(out_.data(), out_.size());
        out_.clear();
    }

    void write(const Dict& dict) {
        const bool array = isArray(dict);
        open(array ? '[' : '{');
        bool any = false;
        for (size_t i = 0; i < dict.size(); ++i) {
            const DictKey key = dict.keyAt(i);
            path_.push_back({&key, 0});
            const std::string why = unwritable(dict, i, key, array);
            if (!why.empty() && raise_)
                raise(kProc, err::HandleNotSerializable, "key " + path() + " holds " + why + ", which JSON cannot hold");
            if (!why.empty() && !array) {
                path_.pop_back();
                continue;
            }
            if (any) out_ += ',';
            any = true;
            newline();
            if (!array) {
                string(key.text());
                out_ += ": ";
            }
            // An element of an array that JSON cannot hold leaves null in its
            // place, so that the elements after it keep their positions.
            if (why.empty())
                value(dict.valueAt(i));
            else
                out_ += "null";
            path_.pop_back();
            flushSome();
        }
        --level_;
        if (any) newline();
        out_ += array ? ']' : '}';
    }

    void value(const HTuple& tuple) {
        const auto data = storageOf(tuple);
        const Hlong n = data ? data->size() : 0;
        if (n == 1) return element(*data, 0);
        open('[');
        for (Hlong i = 0; i < n; ++i) {
            if (i > 0) out_ += ", ";
            path_.push_back({nullptr, i});
            element(*data, i);
            path_.pop_back();
            flushSome();
        }
        --level_;
        out_ += ']';
    }

    void element(const TupleData& data, Hlong i) {
        switch (data.kind()) {
        case TupleData::Kind::Longs: return integer(data.longs()[i]);
        case TupleData::Kind::Repeated: return integer(data.longs()[0]);
        case TupleData::Kind::Doubles: return real(data.doubles()[i]);
        case TupleData::Kind::Mixed: break;
        }
        const Element& e = data.mixed()[static_cast<size_t>(i)];
        switch (e.index()) {
        case 0: return integer(std::get<Hlong>(e));
        case 1: return real(std::get<double>(e));
        case 2: return string(std::get<std::string>(e));
        default: break;
        }
        const auto& tool = Access::tool(std::get<HHandle>(e));
        if (!tool) {
            out_ += "null";
            return;
        }
        write(static_cast<const Dict&>(*tool));  // checked by unwritable
    }

    void integer(Hlong v) {
        char text[24];
        out_.append(text, static_cast<size_t>(std::to_chars(text, text + sizeof text, v).ptr - text));
    }
    void real(double v) {
        char text[40];
        const size_t length = static_cast<size_t>(std::to_chars(text, text + sizeof text, v).ptr - text);
        out_.append(text, length);
        if (std::string_view(text, length).find_first_of(".e") == std::string_view::npos) out_ += ".0";
    }
    void string(const std::string& text) {
        static const char hex[] = "0123456789abcdef";
        out_ += '"';
        size_t start = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            if (c >= 0x20 && c != '"' && c != '\\') continue;
            out_.append(text, start, i - start);
            start = i + 1;
            switch (c) {
            case '"': out_ += "\\\""; break;
            case '\\': out_ += "\\\\"; break;
            case '\n': out_ += "\\n"; break;
            case '\r': out_ += "\\r"; break;
            case '\t': out_ += "\\t"; break;
            case '\b': out_ += "\\b"; break;
            case '\f': out_ += "\\f"; break;
            default:
                out_ += "\\u00";
                out_ += hex[c >> 4];
                out_ += hex[c & 15];
            }
        }
        out_.append(text, start, std::string::npos);
        out_ += '"';
    }

    FileSink& sink_;
    bool raise_;
    std::string out_;
    int level_ = 0;
    std::vector<Step> path_;
};

}  // namespace

void writeHandle(const HHandle& handle, FileSink& sink, const HTuple& names, const HTuple& values) {
    const Dict& dict = toolAs<Dict>(handle, kProc);
    const bool raise = raiseIfNotSerializable(names, values, kProc);
    withDeepStack([&] { Writer(sink, raise).root(dict); }, kProc);
}

}  // namespace ixv::formats::json
