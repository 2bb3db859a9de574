// Loading JSON dictionaries through ReadDict and through the whole
// ix_reader_parse_file (the tree included), against a bare simdjson On-Demand
// walk of the same file and Python's json.load, in the same run.
//
//   bench_json [--quick] [--keep] (--quick: files a tenth of the size, 3 runs; --keep: keep the files)
//   bench_json --peak FILE MODE (one load in this process; prints peak RSS growth / file size)
//   bench_json --cycles FILE MODE (ten loads, each destroyed; prints the resident size after each)
//
// Two files are written: a deep-learning dataset description (samples with a
// file name, an id, class ids, bounding boxes as arrays of reals and a few
// strings) of about 50 MB, and {"values":[...]} with 10 million integers.
// The reference reads the file into a padded buffer and walks every value
// (numbers parsed, strings unescaped), building nothing; ReadDict does the
// same and builds the dictionaries, once with arrays as dictionaries and once
// as tuples. Figures: median of 5 runs (each run of every column side by
// side), MB/s of the file, and the ratio of
// ReadDict's time to the reference's. ix_reader_parse_file is timed the
// same way (its figure includes destroying the previous run's tree), Python's
// json.load by bench/json_python.py in a child process. The peak memory of one
// load in each mode is measured in a fresh child process (bench_json --peak) as
// the growth of VmHWM over the load, divided by the file's size; for the whole
// parse_file too (--peak-tree). For the file of 10 million integers, the
// parse_file time is also set against a bare read of the file into a fresh
// buffer.
#include <malloc.h>
#include <simdjson.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "HalconCpp.h"
#include "Timing.h"
#include "ix_adapter.h"

namespace {

namespace od = simdjson::ondemand;

void appendReal(std::string& out, double v) {
    char text[32];
    out.append(text, std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 2).ptr);
}

// About `megabytes` MB of a dataset description, as a labelling tool writes it.
void writeDataset(const std::string& path, size_t megabytes) {
    std::mt19937 random(11);
    const char* classes[] = {"scratch", "dent", "stain", "crack", "missing_screw", "ok"};
    std::string out = "{\n  \"dataset_name\": \"inspection line 4\",\n  \"class_names\": [";
    for (int c = 0; c < 6; ++c) out += std::string(c ? ", " : "") + "\"" + classes[c] + "\"";
    out += "],\n  \"class_ids\": [0, 1, 2, 3, 4, 5],\n  \"image_dir\": \"/data/line4/images\",\n  \"samples\": [\n";
    for (long id = 1; out.size() < (megabytes << 20); ++id) {
        const int boxes = 1 + static_cast<int>(random() % 6);
        out += id > 1 ? ",\n" : "";
        out += "    {\"image_file_name\": \"cam" + std::to_string(random() % 4) + "/part_" + std::to_string(100000 + id) +
               ".png\", \"image_id\": " + std::to_string(id) + ", \"split\": \"" +
               (random() % 10 < 8 ? "train" : "validation") + "\", \"operator\": \"shift " +
               std::to_string(random() % 3) + "\", \"bbox_label_id\": [";
        for (int b = 0; b < boxes; ++b) out += (b ? ", " : "") + std::to_string(random() % 6);
        for (const char* key : {"bbox_row1", "bbox_col1", "bbox_row2", "bbox_col2"}) {
            out += std::string("], \"") + key + "\": [";
            for (int b = 0; b < boxes; ++b) {
                if (b) out += ", ";
                appendReal(out, (random() % 200000) / 100.0);
            }
        }
        out += "], \"reviewed\": " + std::string(random() % 2 ? "true" : "false") + ", \"note\": " +
               (random() % 5 ? "null" : "\"re-check \\\"edge\\\" region\"") + "}";
    }
    out += "\n  ]\n}\n";
    std::ofstream(path, std::ios::binary).write(out.data(), static_cast<std::streamsize>(out.size()));
}

void writeIntegers(const std::string& path, size_t count) {
    std::mt19937 random(5);
    std::string out = "{\"values\":[";
    char text[24];
    for (size_t i = 0; i < count; ++i) {
        if (i) out += ',';
        out.append(text, std::to_chars(text, text + sizeof text, static_cast<long>(random() % 100000000)).ptr);
    }
    out += "]}\n";
    std::ofstream(path, std::ios::binary).write(out.data(), static_cast<std::streamsize>(out.size()));
}

// A million small records in one array at the top: the tree's root has a
// million children, built only when asked for.
void writeRootArray(const std::string& path, size_t count) {
    std::string out = "[";
    for (size_t i = 0; i < count; ++i) out += (i ? ",{\"id\":" : "{\"id\":") + std::to_string(i) + ",\"ok\":true}";
    out += "]\n";
    std::ofstream(path, std::ios::binary).write(out.data(), static_cast<std::streamsize>(out.size()));
}

// --- the reference: read the file, walk every value, build nothing -------------------------

size_t walk(od::value value) {
    switch (value.type().value()) {
    case od::json_type::object: {
        size_t n = 0;
        for (auto field : value.get_object()) {
            n += field.unescaped_key().value().size();
            n += walk(field.value());
        }
        return n;
    }
    case od::json_type::array: {
        size_t n = 0;
        for (auto element : value.get_array()) n += walk(element.value());
        return n;
    }
    case od::json_type::number: {
        int64_t i = 0;
        if (value.get_int64().get(i) == simdjson::SUCCESS) return static_cast<size_t>(i & 1);
        return value.get_double().value() > 0;
    }
    case od::json_type::string: return value.get_string().value().size();
    case od::json_type::boolean: return value.get_bool().value();
    case od::json_type::null: return value.is_null().value();
    }
    return 0;
}

size_t bareParse(const std::string& path) {
    const simdjson::padded_string json = simdjson::padded_string::load(path).value();
    od::parser parser;
    od::document doc = parser.iterate(json).value();
    size_t n = 0;
    if (doc.type().value() == od::json_type::object) {
        for (auto field : doc.get_object()) n += walk(field.value());
    } else {
        for (auto element : doc.get_array()) n += walk(element.value());
    }
    return n;
}

void readDict(const std::string& path, const char* mode) {
    HalconCpp::HDict dict;
    dict.ReadDict(path.c_str(), "convert_json_arrays_to", mode);
}

// ix_reader_parse_file of the file, arrays as dictionaries or tuples.
struct TreeLoader {
    ReaderHandle* reader = ix_reader_create();
    ~TreeLoader() { ix_reader_destroy(reader); }
    const NativeNode* load(const std::string& path, const char* mode) {
        const std::wstring wide(path.begin(), path.end());
        IxJsonParam option{};
        option.key = IxJsonParamKey::ConvertJsonArraysTo;
        option.type = IxValueType::String;
        option.text = std::strcmp(mode, "tuple") == 0 ? L"tuple" : L"dict";
        const NativeNode* root = ix_reader_parse_file_with_options(reader, wide.c_str(), &option, 1);
        if (!root || ix_node_child_count(root) < 0) {
            std::fprintf(stderr, "bench_json: %ls\n", ix_reader_last_error(reader));
            std::exit(1);
        }
        return root;
    }
};

// A bare read of the file into a freshly allocated buffer.
size_t bareRead(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes(std::filesystem::file_size(path));
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<size_t>(in.gcount()) + static_cast<size_t>(bytes[bytes.size() / 2] & 1);
}

double pythonMbps(const std::string& path) {
    const std::string command = std::string("python3 '") + IX_SOURCE_DIR + "/bench/json_python.py' --mbps '" + path + "'";
    FILE* child = popen(command.c_str(), "r");
    double mbps = 0;
    if (!child || std::fscanf(child, "%lf", &mbps) != 1) mbps = -1;
    if (child) pclose(child);
    return mbps;
}

int peakMode(const char* path, const char* mode, bool tree) {
    TreeLoader loader;
    const size_t before = peakResident();
    if (tree) {
        loader.load(path, mode);
    } else {
        HalconCpp::HDict dict;
        dict.ReadDict(path, "convert_json_arrays_to", mode);
    }
    const size_t after = peakResident();
    std::printf("%.2f\n", double(after - before) / double(std::filesystem::file_size(path)));
    return 0;
}

// Ten loads of a file, each destroyed before the next, with glibc's default
// settings (as in a host): the resident size after each destruction, which
// should stay near the first.
int cyclesMode(const char* path, const char* mode) {
    const double before = double(currentResident()) / 1e6;
    std::printf("resident before: %.1f MB\n", before);
    for (int cycle = 1; cycle <= 10; ++cycle) {
        double loaded = 0;
        {
            HalconCpp::HDict dict;
            dict.ReadDict(path, "convert_json_arrays_to", mode);
            loaded = double(currentResident()) / 1e6;
        }
        std::printf("cycle %2d: loaded %.1f MB, destroyed %.1f MB\n", cycle, loaded, double(currentResident()) / 1e6);
    }
    return 0;
}

double peakRatio(const std::string& path, const char* mode, bool tree = false) {
    const std::string command = std::filesystem::read_symlink("/proc/self/exe").string() +
                                (tree ? " --peak-tree '" : " --peak '") + path + "' " + mode;
    FILE* child = popen(command.c_str(), "r");
    double ratio = 0;
    if (!child || std::fscanf(child, "%lf", &ratio) != 1) ratio = -1;
    if (child) pclose(child);
    return ratio;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--cycles") == 0) return cyclesMode(argv[2], argv[3]);
    // Large blocks come fresh from the system for the reference and the library alike.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    if (argc == 4 && std::strcmp(argv[1], "--peak") == 0) return peakMode(argv[2], argv[3], false);
    if (argc == 4 && std::strcmp(argv[1], "--peak-tree") == 0) return peakMode(argv[2], argv[3], true);
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int runs = quick ? 3 : 5;
    const std::string dir =
        (std::filesystem::temp_directory_path() / ("ix_bench_json_" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(dir);
    const std::string dataset = dir + "/dataset.json", integers = dir + "/integers.json", records = dir + "/records.json";
    writeDataset(dataset, quick ? 5 : 50);
    writeIntegers(integers, quick ? 1000000 : 10000000);
    writeRootArray(records, quick ? 100000 : 1000000);

    std::printf("JSON loading, median of %d runs (MB/s of the file; ratio = time / bare simdjson walk)\n\n", runs);
    std::printf("%-24s %6s %9s | %-17s | %-17s | %-17s | %-17s | %8s | %s\n", "file", "MB", "simdjson",
                "ReadDict dict", "ReadDict tuple", "parse_file dict", "parse_file tuple", "Python", "peak/file");
    TreeLoader loader;
    for (const auto& [name, path] : {std::pair<const char*, std::string>{"dataset description", dataset},
                                     std::pair<const char*, std::string>{"10M integers (one key)", integers},
                                     std::pair<const char*, std::string>{"1M records at the root", records}}) {
        const double mb = double(std::filesystem::file_size(path)) / 1e6;
        bareParse(path);  // warm the file cache and the code
        readDict(path, "dict");
        // One loader per mode, so that each load destroys the tree of the
        // same mode before it, as a host's next load of the file does.
        TreeLoader dictLoader, tupleLoader;
        const std::vector<double> t = medianSecondsEach(
            runs, {[&] { bareParse(path); }, [&] { readDict(path, "dict"); }, [&] { readDict(path, "tuple"); },
                   [&] { dictLoader.load(path, "dict"); }, [&] { tupleLoader.load(path, "tuple"); }});
        const double bare = t[0], dict = t[1], tuple = t[2], treeDict = t[3], treeTuple = t[4];
        ix_reader_destroy(dictLoader.reader);
        ix_reader_destroy(tupleLoader.reader);
        dictLoader.reader = tupleLoader.reader = nullptr;
        const double python = pythonMbps(path);
        std::printf("%-24s %6.1f %9.0f | %6.0f %8.2fx | %6.0f %8.2fx | %6.0f %8.2fx | %6.0f %8.2fx | %8.1f | "
                    "ReadDict %.2f dict, %.2f tuple; parse_file %.2f dict, %.2f tuple\n",
                    name, mb, mb / bare, mb / dict, dict / bare, mb / tuple, tuple / bare, mb / treeDict,
                    treeDict / bare, mb / treeTuple, treeTuple / bare, python, peakRatio(path, "dict"),
                    peakRatio(path, "tuple"), peakRatio(path, "dict", true), peakRatio(path, "tuple", true));
    }

    // The same integers in the binary dictionary format: one run of 8-byte values.
    const std::string binary = dir + "/integers.hdict";
    {
        HalconCpp::HDict dict;
        dict.ReadDict(integers.c_str(), "convert_json_arrays_to", "tuple");
        dict.WriteDict(binary.c_str(), HalconCpp::HTuple(), HalconCpp::HTuple());
    }
    std::printf("\nThe 10M integers through parse_file, against a bare read of the same file into a fresh buffer:\n");
    for (const auto& [name, path] : {std::pair<const char*, std::string>{"JSON, tuple mode", integers},
                                     std::pair<const char*, std::string>{"binary dictionary file", binary}}) {
        const double mb = double(std::filesystem::file_size(path)) / 1e6;
        const std::vector<double> t =
            medianSecondsEach(runs, {[&] { bareRead(path); }, [&] { loader.load(path, "tuple"); }});
        const double read = t[0], tree = t[1];
        ix_reader_destroy(loader.reader);
        loader.reader = ix_reader_create();
        std::printf("%-24s %6.1f MB: bare read %6.0f MB/s, parse_file %6.0f MB/s, %5.2fx the read; peak %.2fx the file\n",
                    name, mb, mb / read, mb / tree, tree / read, peakRatio(path, "tuple", true));
    }
    if (argc > 1 && std::strcmp(argv[argc - 1], "--keep") == 0)
        std::printf("\nfiles kept for bench/json_python.py: %s %s\n", dataset.c_str(), integers.c_str());
    else
        std::filesystem::remove_all(dir);
    return 0;
}
