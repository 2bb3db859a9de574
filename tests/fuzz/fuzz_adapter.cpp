// The whole library through its C interface, on arbitrary files: a load of
// the kind the first byte chooses (FuzzAdapter.h), then every node and text,
// the pixels and geometry of every object, saving and conversion into a
// temporary folder. Never a crash or a leak; one-line texts hold no control
// character; counts and buffers agree with what the functions promise.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzAdapter.h"
#include "ix_adapter.h"

namespace {

// Nodes walked and objects extracted per input, so that every run stays short.
constexpr int kMostNodes = 4000;
constexpr int kMostObjects = 4;
// Images larger than this many pixels are neither extracted nor saved.
constexpr long kMostPixels = 1 << 20;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

void checkOneLine(const wchar_t* text) {
    check(text != nullptr);
    for (; *text; ++text) {
        const uint32_t c = static_cast<uint32_t>(*text);
        check(c >= 0x20 && !(c >= 0x7F && c <= 0x9F) && c != 0x2028 && c != 0x2029);
    }
}

// The temporary folder of this process, removed at exit. Its name is a plain
// array: no destructor runs before the removal.
std::string folder() {
    static char name[] = "/tmp/ix_fuzz_adapter.XXXXXX";
    static const bool made = [] {
        if (!::mkdtemp(name)) std::abort();
        return std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(name, ignored);
        }) == 0;
    }();
    (void)made;
    return name;
}

std::wstring wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// The pixel count an image node's summary ("W x H, ...") tells; 0 when it tells none.
long pixelsOf(const NativeNode* node) {
    long width = 0, height = 0;
    return std::swscanf(ix_node_value_summary(node), L"%ldx%ld", &width, &height) == 2 ? width * height : 0;
}

void extract(ReaderHandle* reader, const NativeNode* node) {
    const int32_t count = ix_node_object_count(node);
    for (int32_t i = 0; i < count && i < kMostObjects; ++i) {
        if (ix_node_is_image(node) && pixelsOf(node) <= kMostPixels) {
            int32_t width = 0, height = 0, rowBytes = 0, format = 0;
            uint8_t* pixels = nullptr;
            if (ix_extract_image(reader, node, i, &width, &height, &rowBytes, &format, &pixels)) {
                check(pixels != nullptr && width > 0 && height > 0 && rowBytes >= width && format >= 0 && format <= 2);
                // The whole buffer is there (AddressSanitizer checks the read).
                const volatile uint8_t last = pixels[static_cast<size_t>(height - 1) * rowBytes + rowBytes - 1];
                (void)last;
            }
            ix_free_buffer(pixels);
            ix_node_image_channel_count(reader, node, i);
        }
        int32_t* runs[3] = {};  // rows, first and last columns
        int32_t n[4] = {};
        if (ix_extract_region_runs(reader, node, i, &runs[0], &runs[1], &runs[2], &n[0]))
            check(n[0] >= 0 && runs[0] && runs[1] && runs[2] && (n[0] == 0 || runs[1][n[0] - 1] <= runs[2][n[0] - 1]));
        for (int32_t* buffer : runs) ix_free_int_buffer(buffer);
        double* xy[8] = {};  // rows and columns of a contour, a polygon and the two lines of parallels
        if (ix_extract_contour_points(reader, node, i, &xy[0], &xy[1], &n[0])) check(n[0] >= 0 && xy[0] && xy[1]);
        if (ix_extract_polygon_points(reader, node, i, &xy[2], &xy[3], &n[1])) check(n[1] >= 0 && xy[2] && xy[3]);
        if (ix_extract_parallel_lines(reader, node, i, &xy[4], &xy[5], &n[2], &xy[6], &xy[7], &n[3]))
            check(n[2] >= 0 && n[3] >= 0 && xy[4] && xy[7]);
        for (double* buffer : xy) ix_free_double_buffer(buffer);
    }
}

// Reads every function of `node` and walks its children; `objects` collects
// the Object nodes met.
void walk(ReaderHandle* reader, const NativeNode* node, int& budget, std::vector<const NativeNode*>& objects) {
    if (!node || --budget < 0) return;
    checkOneLine(ix_node_label(node));
    checkOneLine(ix_node_type_label(node));
    checkOneLine(ix_node_value_summary(node));
    checkOneLine(ix_node_object_class(node));
    checkOneLine(ix_node_full_value_text(reader, node));
    ix_node_path_segment_kind(node);
    ix_node_path_index(node);
    const int32_t values = ix_node_value_count(node);
    check(values >= 0 && values <= 1000 && values <= ix_node_total_count(node));
    for (int32_t i = 0; i < values; ++i) {
        ix_node_value_type_at(node, i);
        check(ix_node_value_string_at(node, i) != nullptr);
        ix_node_value_int_at(node, i);
        ix_node_value_real_at(node, i);
    }
    ix_node_truncated(node);
    for (int32_t i = 0; i < ix_node_detail_line_count(node); ++i) checkOneLine(ix_node_detail_line_at(node, i));
    ix_node_detail_entry_count(node);
    if (ix_node_kind(node) == IxNodeKind::Object) {
        objects.push_back(node);
        extract(reader, node);
    }
    const int32_t children = ix_node_child_count(node);
    check(ix_node_child_at(node, children) == nullptr);
    for (int32_t i = 0; i < children && budget > 0; ++i) walk(reader, ix_node_child_at(node, i), budget, objects);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t selector = data[0];
    const std::string suffix = ixfuzz::kLoadSuffixes[(selector & 0x0F) % ixfuzz::kLoadCount];
    const std::string input = folder() + "/in." + suffix;
    if (FILE* file = std::fopen(input.c_str(), "wb")) {
        std::fwrite(data + 1, 1, size - 1, file);
        std::fclose(file);
    }
    const std::wstring path = wide(input);
    ReaderHandle* reader = ix_reader_create();
    const NativeNode* root = nullptr;
    const bool dict = suffix == "json" || suffix == "hdict";
    if (suffix == "hobj" || suffix == "png" || suffix == "seq") {
        root = ix_reader_parse_object_file(reader, path.c_str());
    } else if (dict && (selector & ixfuzz::kWithOptions)) {
        const IxJsonParam options[] = {{IxJsonParamKey::ConvertJsonArraysTo, IxValueType::String, L"tuple", 0, 0.0},
                                       {IxJsonParamKey::JsonValueNull, IxValueType::Integer, nullptr, -1, 0.0},
                                       {IxJsonParamKey::JsonValueTrue, IxValueType::Real, nullptr, 0, 1.5}};
        root = ix_reader_parse_file_with_options(reader, path.c_str(), options, 3);
    } else if (dict) {
        root = ix_reader_parse_file(reader, path.c_str());
    } else if (suffix == "onnx") {
        root = ix_reader_parse_dl_model_file(reader, path.c_str());
    } else {
        root = ix_reader_parse_object_model_3d_file(reader, path.c_str());
    }
    // A failed load says why; a successful one leaves no message.
    check(root ? *ix_reader_last_error(reader) == L'\0' : *ix_reader_last_error(reader) != L'\0');
    std::vector<const NativeNode*> objects;
    int budget = kMostNodes;
    walk(reader, root, budget, objects);

    // Saving: the first object under the suffix the selector names, every
    // object together into one object file; small images only.
    bool small = true;
    for (const NativeNode* object : objects) small = small && (!ix_node_is_image(object) || pixelsOf(object) <= kMostPixels);
    if (!objects.empty() && small) {
        const std::wstring out = wide(folder() + "/out." + ixfuzz::kSaveSuffixes[(selector >> 4) & 7]);
        ix_save_object_as(reader, objects.front(), out.c_str());
        const std::wstring all = wide(folder() + "/all.hobj");
        const int32_t count = objects.size() < 64 ? static_cast<int32_t>(objects.size()) : 64;
        if (ix_save_objects_as(reader, objects.data(), count, all.c_str())) {
            // What was saved loads again.
            ReaderHandle* again = ix_reader_create();
            check(ix_reader_parse_object_file(again, all.c_str()) != nullptr);
            ix_reader_destroy(again);
        }
    }
    if (dict) {
        for (const char* to : {"/out.json", "/out.hdict"})
            ix_reader_convert_dict_file(reader, path.c_str(), wide(folder() + to).c_str(), selector & 1);
        // Conversion leaves the tree in place.
        if (root) check(ix_node_child_count(root) >= 0 && ix_node_type_label(root)[0] != L'\0');
    }
    ix_reader_destroy(reader);
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder(), ignored))
        std::filesystem::remove(entry.path(), ignored);
    return 0;
}
