// ixdump: the command-line host of ixadapter. Prints the tree of each file,
// or one node's full value text, or saves a node's objects, through the
// library's C interface only.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "Render.h"
#include "Utf8.h"
#include "ix_adapter.h"

namespace {

const char* const kUsage =
    "usage: ixdump [--as object|dict|dlmodel|om3d] [--json] [--depth N] [--full PATH]\n"
    "              [--option KEY=VALUE]... FILE...\n"
    "       ixdump [--as KIND] [--option KEY=VALUE]... --render PATH --out FILE.png|.jpg FILE\n"
    "       ixdump [--as KIND] [--option KEY=VALUE]... --save PATH --to OUT FILE\n"
    "       ixdump --convert IN OUT [--ignore-non-serializable]\n"
    "       ixdump --version\n"
    "\n"
    "Prints the tree of each FILE: one line per node with its path, label, type and\n"
    "summary, and the node's detail lines below it. Paths address nodes from the\n"
    "root: /key/sub/[3], one path per node. In a key, % is written %25, / %2F, a control\n"
    "character's bytes %XX (a NUL %00), a byte that is not UTF-8 %XX; the empty key is %. An integer key is its\n"
    "number, written %i7 where the same dictionary also has the string key \"7\".\n"
    "--full PATH prints the untruncated values of that node.\n"
    "\n"
    "--option KEY=VALUE sets a reading option of dictionary files; KEY is one of\n"
    "json_value_true, json_value_false, json_value_null, convert_json_arrays_to.\n"
    "VALUE is an integer when it reads wholly as one, else a real when it reads\n"
    "wholly as one, else a string.\n"
    "\n"
    "--render PATH --out FILE.png draws the node at PATH as the viewer does: an image\n"
    "node's image; a geometry node over the image beside it (else on a backdrop of\n"
    "its extent); a file's root or a dictionary every object in it over the first\n"
    "image among them; regions filled translucent, contours, polygons and parallels\n"
    "as lines, one colour per object. FILE.jpg or .jpeg writes a JPEG instead.\n"
    "\n"
    "--save PATH --to OUT writes the iconic objects of the node at PATH to OUT:\n"
    "an object file for .hobj, DXF for .dxf, else an image file of the format its\n"
    "suffix names. PATH / saves every object of the file into one object file.\n"
    "\n"
    "--convert IN OUT converts the dictionary file IN into OUT: JSON when OUT ends\n"
    "in .json, else the binary dictionary format. --ignore-non-serializable leaves\n"
    "out what the output format cannot hold instead of failing.\n";

std::string utf8(const wchar_t* text) {
    std::string out;
    for (; text && *text; ++text) appendUtf8Code(out, static_cast<uint32_t>(*text));
    return out;
}

// The wide form of a UTF-8 argument; invalid bytes are kept as their own code units.
std::wstring wide(const std::string& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        uint32_t value = extra == 3 ? c & 0x07 : extra == 2 ? c & 0x0F : extra == 1 ? c & 0x1F : c;
        size_t j = i + 1;
        for (; extra > 0 && j < text.size() && (static_cast<unsigned char>(text[j]) & 0xC0) == 0x80; --extra, ++j)
            value = value * 64 + (static_cast<unsigned char>(text[j]) & 0x3F);
        if (extra != 0) {  // broken sequence: keep the lead byte as it is
            value = c;
            j = i + 1;
        }
        out += static_cast<wchar_t>(value);
        i = j;
    }
    return out;
}

// The byte length of the control character (C0, DEL, C1, U+2028 or U+2029)
// that starts at byte `i` of the UTF-8 `text`, with its code point; 0 when
// none starts there.
size_t controlAt(const std::string& text, size_t i, uint32_t& code) {
    const auto byte = [&](size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
    if (byte(i) < 0x20 || byte(i) == 0x7F) {
        code = byte(i);
        return 1;
    }
    if (byte(i) == 0xC2 && byte(i + 1) >= 0x80 && byte(i + 1) <= 0x9F) {
        code = byte(i + 1);
        return 2;
    }
    if (byte(i) == 0xE2 && byte(i + 1) == 0x80 && (byte(i + 2) == 0xA8 || byte(i + 2) == 0xA9)) {
        code = 0x2000 + byte(i + 2) - 0x80;
        return 3;
    }
    return 0;
}

// A control character as an escape: \n, \r, \t, else \u and four hex digits.
std::string escapeOf(uint32_t code) {
    if (code == '\n') return "\\n";
    if (code == '\r') return "\\r";
    if (code == '\t') return "\\t";
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(code));
    return buffer;
}

// `text` with every control character escaped, so that nothing printed can
// move the cursor, clear the screen or start a line of its own.
std::string printable(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        uint32_t code = 0;
        const size_t length = controlAt(text, i, code);
        out += length ? escapeOf(code) : std::string(1, text[i]);
        i += length ? length : 1;
    }
    return out;
}

std::string printable(const wchar_t* text) {
    return printable(utf8(text));
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        uint32_t code = 0;
        const size_t length = controlAt(text, i, code);
        if (length) {
            out += escapeOf(code);
            i += length;
            continue;
        }
        if (text[i] == '"' || text[i] == '\\') out += '\\';
        out += text[i++];
    }
    return out + "\"";
}

const char* kindName(IxNodeKind kind) {
    switch (kind) {
    case IxNodeKind::Container: return "container";
    case IxNodeKind::Array: return "array";
    case IxNodeKind::Value: return "value";
    case IxNodeKind::Object: return "object";
    }
    return "unknown";
}

// The path of a child inside its parent's path, from the segment the library gives.
std::string childPath(const std::string& parent, const NativeNode* child) {
    return (parent == "/" ? "/" : parent + "/") + utf8(ix_node_path_segment(child));
}

// The reading option KEY=VALUE as the library takes it; false for an unknown
// KEY. VALUE is typed by what it reads as, whatever the locale.
bool parseOption(const std::string& text, IxJsonParam* param, std::wstring* textValue) {
    static const char* const kKeys[] = {"json_value_true", "json_value_false", "json_value_null",
                                        "convert_json_arrays_to"};
    const size_t equals = text.find('=');
    if (equals == std::string::npos) return false;
    const std::string key = text.substr(0, equals), value = text.substr(equals + 1);
    int found = -1;
    for (int k = 0; k < 4; ++k)
        if (key == kKeys[k]) found = k;
    if (found < 0) return false;
    *param = IxJsonParam{};
    param->key = static_cast<IxJsonParamKey>(found);
    const char* first = value.data();
    const char* last = first + value.size();
    long long integer = 0;
    double real = 0.0;
    const std::from_chars_result asInteger = std::from_chars(first, last, integer);
    const std::from_chars_result asReal = std::from_chars(first, last, real);
    if (!value.empty() && asInteger.ec == std::errc() && asInteger.ptr == last) {
        param->type = IxValueType::Integer;
        param->intValue = integer;
    } else if (!value.empty() && asReal.ec == std::errc() && asReal.ptr == last) {
        param->type = IxValueType::Real;
        param->realValue = real;
    } else {
        param->type = IxValueType::String;
        *textValue = wide(value);
    }
    return true;
}

struct Options {
    std::string as;
    std::vector<IxJsonParam> params;
    std::vector<std::wstring> paramTexts;  // the texts the params point into
    bool json = false;
    int depth = -1;  // no limit
    std::string full;
    std::string render, renderOut;
    std::string save, saveTo;
    std::vector<std::string> files;
};

void printText(const NativeNode* node, const std::string& path, const std::string& title, int depth,
               const Options& options) {
    const std::string indent(static_cast<size_t>(depth) * 2, ' ');
    std::string line = indent + printable(depth == 0 ? title : path);
    const std::string label = printable(ix_node_label(node));
    if (depth > 0 && ix_node_path_segment_kind(node) == IxPathSegmentKind::Index && !label.empty())
        line += " " + label;
    line += "  " + printable(ix_node_type_label(node));
    const std::string summary = printable(ix_node_value_summary(node));
    if (!summary.empty()) line += "  " + summary;
    std::printf("%s\n", line.c_str());
    for (int32_t i = 0; i < ix_node_detail_line_count(node); ++i)
        std::printf("%s    | %s\n", indent.c_str(), printable(ix_node_detail_line_at(node, i)).c_str());
    if (options.depth >= 0 && depth >= options.depth) {
        if (ix_node_child_count(node) > 0) std::printf("%s  ...\n", indent.c_str());
        return;
    }
    for (int32_t i = 0; i < ix_node_child_count(node); ++i) {
        const NativeNode* child = ix_node_child_at(node, i);
        printText(child, childPath(path, child), title, depth + 1, options);
    }
}

void printJson(const NativeNode* node, const std::string& path, int depth, const Options& options, std::string* out) {
    *out += "{\"path\":" + jsonString(path) + ",\"label\":" + jsonString(utf8(ix_node_label(node))) +
            ",\"kind\":\"" + kindName(ix_node_kind(node)) + "\",\"type\":" +
            jsonString(utf8(ix_node_type_label(node))) + ",\"summary\":" +
            jsonString(utf8(ix_node_value_summary(node)));
    if (ix_node_kind(node) == IxNodeKind::Object) {
        *out += ",\"objectClass\":" + jsonString(utf8(ix_node_object_class(node))) +
                ",\"objectCount\":" + std::to_string(ix_node_object_count(node)) +
                ",\"isImage\":" + (ix_node_is_image(node) ? "true" : "false");
    }
    if (ix_node_kind(node) == IxNodeKind::Value) {
        *out += ",\"totalCount\":" + std::to_string(ix_node_total_count(node)) +
                ",\"truncated\":" + (ix_node_truncated(node) ? "true" : "false") + ",\"values\":[";
        for (int32_t i = 0; i < ix_node_value_count(node); ++i) {
            if (i > 0) *out += ",";
            switch (ix_node_value_type_at(node, i)) {
            case IxValueType::Integer: *out += std::to_string(ix_node_value_int_at(node, i)); break;
            case IxValueType::Real: {
                // "%.17g" whatever the locale; JSON has no infinities or NaN.
                char buffer[64];
                const auto end = std::to_chars(buffer, buffer + sizeof buffer - 1, ix_node_value_real_at(node, i),
                                               std::chars_format::general, 17).ptr;
                *end = '\0';
                *out += std::strpbrk(buffer, "in") ? jsonString(buffer) : std::string(buffer);
                break;
            }
            default: *out += jsonString(utf8(ix_node_value_string_at(node, i)));
            }
        }
        *out += "]";
    }
    if (ix_node_detail_line_count(node) > 0) {
        *out += ",\"details\":[";
        for (int32_t i = 0; i < ix_node_detail_line_count(node); ++i)
            *out += (i > 0 ? "," : "") + jsonString(utf8(ix_node_detail_line_at(node, i)));
        *out += "]";
    }
    if (ix_node_child_count(node) > 0 && (options.depth < 0 || depth < options.depth)) {
        *out += ",\"children\":[";
        for (int32_t i = 0; i < ix_node_child_count(node); ++i) {
            if (i > 0) *out += ",";
            const NativeNode* child = ix_node_child_at(node, i);
            printJson(child, childPath(path, child), depth + 1, options, out);
        }
        *out += "]";
    }
    *out += "}";
}

// The node at `path` ("/", "/key/[3]"), or null.
const NativeNode* nodeAt(const NativeNode* root, const std::string& path) {
    return ix_node_at_path(root, wide(path).c_str());
}

// Saves the objects of the node at --save to --to: the root's Object children
// together into one object file, any other node through its own suffix.
int save(ReaderHandle* reader, const NativeNode* root, const std::string& file, const Options& options) {
    const NativeNode* node = nodeAt(root, options.save);
    if (!node) {
        std::fprintf(stderr, "ixdump: %s: no node at %s\n", printable(file).c_str(), printable(options.save).c_str());
        return 1;
    }
    int32_t saved = 0;
    const std::wstring to = wide(options.saveTo);
    if (node == root) {
        std::vector<const NativeNode*> objects;
        for (int32_t i = 0; i < ix_node_child_count(root); ++i) {
            const NativeNode* child = ix_node_child_at(root, i);
            if (ix_node_kind(child) == IxNodeKind::Object) objects.push_back(child);
        }
        if (!objects.empty())
            saved = ix_save_objects_as(reader, objects.data(), static_cast<int32_t>(objects.size()), to.c_str());
    } else {
        saved = ix_save_object_as(reader, node, to.c_str());
    }
    if (saved) return 0;
    const std::string error = printable(ix_reader_last_error(reader));
    if (error.empty())
        std::fprintf(stderr, "ixdump: %s: no iconic objects at %s\n", printable(file).c_str(),
                     printable(options.save).c_str());
    else
        std::fprintf(stderr, "ixdump: %s: %s: %s\n", printable(file).c_str(), printable(options.saveTo).c_str(),
                     error.c_str());
    return 1;
}

int dump(ReaderHandle* reader, const std::string& file, const Options& options) {
    const std::wstring path = wide(file);
    const IxJsonParam* params = options.params.empty() ? nullptr : options.params.data();
    const int32_t count = static_cast<int32_t>(options.params.size());
    const NativeNode* root = nullptr;
    if (options.as.empty()) root = ix_reader_parse_any_file(reader, path.c_str(), params, count);
    else if (options.as == "object") root = ix_reader_parse_object_file(reader, path.c_str());
    else if (options.as == "dict") root = ix_reader_parse_file_with_options(reader, path.c_str(), params, count);
    else if (options.as == "dlmodel") root = ix_reader_parse_dl_model_file(reader, path.c_str());
    else root = ix_reader_parse_object_model_3d_file(reader, path.c_str());
    if (!root) {
        std::fprintf(stderr, "ixdump: %s: %s\n", printable(file).c_str(), printable(ix_reader_last_error(reader)).c_str());
        return 1;
    }
    if (!options.render.empty()) {
        const NativeNode* node = nodeAt(root, options.render);
        std::wstring error;
        if (!node) error = L"no node at " + wide(options.render);
        const size_t cut = options.render.find_last_of('/');
        const NativeNode* parent = node == root ? nullptr : nodeAt(root, options.render.substr(0, cut));
        if (node && renderNode(reader, node, parent, options.renderOut, error))
            return 0;
        std::fprintf(stderr, "ixdump: %s: %s\n", printable(file).c_str(), printable(error.c_str()).c_str());
        return 1;
    }
    if (!options.save.empty()) return save(reader, root, file, options);
    if (!options.full.empty()) {
        const NativeNode* node = nodeAt(root, options.full);
        if (!node) {
            std::fprintf(stderr, "ixdump: %s: no node at %s\n", printable(file).c_str(), printable(options.full).c_str());
            return 1;
        }
        // Only a Value node has a full value text; an empty line would say nothing.
        if (ix_node_kind(node) != IxNodeKind::Value) {
            std::fprintf(stderr, "ixdump: %s: %s (%s) has no value text; only value nodes have one\n",
                         printable(file).c_str(), printable(options.full).c_str(),
                         printable(ix_node_type_label(node)).c_str());
            return 1;
        }
        const std::string text = utf8(ix_node_full_value_text(reader, node));
        if (options.json)
            std::printf("{\"file\":%s,\"path\":%s,\"type\":%s,\"totalCount\":%d,\"text\":%s}\n",
                        jsonString(file).c_str(), jsonString(options.full).c_str(),
                        jsonString(utf8(ix_node_type_label(node))).c_str(), ix_node_total_count(node),
                        jsonString(text).c_str());
        else
            std::printf("%s\n", printable(text).c_str());
        return 0;
    }
    if (options.json) {
        std::string out = "{\"file\":" + jsonString(file) + ",\"root\":";
        printJson(root, "/", 0, options, &out);
        std::printf("%s}\n", out.c_str());
    } else {
        printText(root, "/", file, 0, options);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string convertIn, convertOut;
    bool ignoreNonSerializable = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--version") {
            std::printf("ixdump %s, vision library %s\n", IX_PROJECT_VERSION, printable(ix_adapter_halcon_version()).c_str());
            return 0;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--as" && hasValue) {
            options.as = argv[++i];
            if (options.as != "object" && options.as != "dict" && options.as != "dlmodel" && options.as != "om3d") {
                std::fprintf(stderr, "ixdump: --as takes object, dict, dlmodel or om3d\n");
                return 2;
            }
        } else if (arg == "--depth" && hasValue) {
            char* end = nullptr;
            const long depth = std::strtol(argv[++i], &end, 10);
            if (!end || *end || depth < 0 || depth > 1000000) {
                std::fprintf(stderr, "ixdump: --depth takes a number of levels\n");
                return 2;
            }
            options.depth = static_cast<int>(depth);
        } else if (arg == "--full" && hasValue) {
            options.full = argv[++i];
        } else if (arg == "--render" && hasValue) {
            options.render = argv[++i];
        } else if (arg == "--out" && hasValue) {
            options.renderOut = argv[++i];
        } else if (arg == "--save" && hasValue) {
            options.save = argv[++i];
        } else if (arg == "--to" && hasValue) {
            options.saveTo = argv[++i];
        } else if (arg == "--option" && hasValue) {
            IxJsonParam param;
            std::wstring text;
            if (!parseOption(argv[++i], &param, &text)) {
                std::fprintf(stderr, "ixdump: --option takes KEY=VALUE with KEY one of json_value_true, "
                                     "json_value_false, json_value_null, convert_json_arrays_to\n");
                return 2;
            }
            options.params.push_back(param);
            options.paramTexts.push_back(std::move(text));
        } else if (arg == "--convert" && i + 2 < argc) {
            convertIn = argv[++i];
            convertOut = argv[++i];
        } else if (arg == "--ignore-non-serializable") {
            ignoreNonSerializable = true;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            const bool known = arg == "--as" || arg == "--depth" || arg == "--full" || arg == "--render" ||
                               arg == "--out" || arg == "--save" || arg == "--to" || arg == "--option" ||
                               arg == "--convert";
            if (known)
                std::fprintf(stderr, "ixdump: %s needs %s; ixdump --help lists the options\n", arg.c_str(),
                             arg == "--convert" ? "IN and OUT" : "a value");
            else
                std::fprintf(stderr, "ixdump: unknown option %s; ixdump --help lists the options\n",
                             printable(arg).c_str());
            return 2;
        } else {
            options.files.push_back(arg);
        }
    }
    // Conversion takes no reading or printing option: one given with it would be ignored.
    const bool dumpOptions = !options.params.empty() || options.json || options.depth >= 0 || !options.full.empty() ||
                             !options.as.empty();
    const bool renderMisused = options.render.empty() != options.renderOut.empty() ||
                               (!options.render.empty() && options.files.size() != 1);
    if (convertIn.empty() ? options.files.empty() || ignoreNonSerializable || renderMisused
                          : !options.files.empty() || dumpOptions) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // Saving reads one file and prints nothing.
    const bool saving = !options.save.empty() || !options.saveTo.empty();
    if (saving && (options.save.empty() || options.saveTo.empty() || options.files.size() != 1 || options.json ||
                   options.depth >= 0 || !options.full.empty())) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // The option texts are final now: point the records at them.
    for (size_t k = 0; k < options.params.size(); ++k)
        if (options.params[k].type == IxValueType::String) options.params[k].text = options.paramTexts[k].c_str();
    ReaderHandle* reader = ix_reader_create();
    if (!reader) {
        std::fprintf(stderr, "ixdump: out of memory\n");
        return 1;
    }
    if (!convertIn.empty()) {
        const int32_t converted = ix_reader_convert_dict_file(reader, wide(convertIn).c_str(),
                                                              wide(convertOut).c_str(), ignoreNonSerializable ? 1 : 0);
        if (!converted)
            std::fprintf(stderr, "ixdump: %s: %s\n", printable(convertIn).c_str(),
                         printable(ix_reader_last_error(reader)).c_str());
        ix_reader_destroy(reader);
        return converted ? 0 : 1;
    }
    int status = 0;
    for (const std::string& file : options.files) status |= dump(reader, file, options);
    ix_reader_destroy(reader);
    return status;
}
