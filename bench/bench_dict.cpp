// Loading a JSON dictionary file through ix_reader_parse_file, split into the
// vision library's reading (ReadDict) and the building of the tree, and the
// size of one node.
//
//   bench_dict [--tuple] FILE.json   (a file of any shape, e.g. those bench_json --keep
//                                    leaves; --tuple reads JSON arrays as tuples)
//
// Every figure is the median of three runs, in MB of file per second.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "AdapterCore/HandleNodes.h"
#include "AdapterCore/NativeNode.h"
#include "AdapterCore/TreeBuilder.h"
#include "HalconCpp.h"
#include "Timing.h"
#include "ix_adapter.h"

namespace {

// Asks for every node, as a host that shows the whole tree does; the count.
size_t walk(const NativeNode& node) {
    size_t n = 1;
    for (size_t i = 0; i < childCount(node); ++i) n += walk(*childAt(node, i));
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    const bool tuples = argc == 3 && std::string(argv[1]) == "--tuple";
    if (argc != 2 && !tuples) {
        std::fprintf(stderr, "usage: bench_dict [--tuple] FILE.json\n");
        return 2;
    }
    const std::string path = argv[argc - 1];
    const HalconCpp::HTuple names = tuples ? HalconCpp::HTuple("convert_json_arrays_to") : HalconCpp::HTuple();
    const HalconCpp::HTuple values = tuples ? HalconCpp::HTuple("tuple") : HalconCpp::HTuple();
    IxJsonParam option{};
    option.key = IxJsonParamKey::ConvertJsonArraysTo;
    option.type = IxValueType::String;
    option.text = L"tuple";
    const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    std::printf("sizeof(NativeNode) = %zu bytes, sizeof(NativeValue) = %zu bytes\n", sizeof(NativeNode),
                sizeof(NativeValue));

    HalconCpp::HDict dict;
    const double read = medianSeconds(3, [&] {
        dict = HalconCpp::HDict();
        dict.ReadDict(path.c_str(), names, values);
    });
    std::unique_ptr<NativeNode> root;
    size_t nodes = 0;
    const double build = medianSeconds(3, [&] {
        root.reset();
        root = buildDictNode(dict, L"", IxPathSegmentKind::Name, 0);
        nodes = walk(*root);
    });
    const double destroy = medianSeconds(1, [&] { root.reset(); });

    ReaderHandle* reader = ix_reader_create();
    const std::wstring widePath(path.begin(), path.end());
    const double whole = medianSeconds(3, [&] {
        ix_reader_parse_file_with_options(reader, widePath.c_str(), &option, tuples ? 1 : 0);
    });
    ix_reader_destroy(reader);

    std::printf("%.1f MB, %zu nodes\n", megabytes, nodes);
    std::printf("ReadDict             %7.3f s  %6.1f MB/s\n", read, megabytes / read);
    std::printf("whole tree           %7.3f s  %6.1f MB/s  (%.0f ns per node)\n", build, megabytes / build,
                build * 1e9 / static_cast<double>(nodes));
    std::printf("tree destruction     %7.3f s\n", destroy);
    std::printf("parse_file           %7.3f s  %6.1f MB/s (the previous tree's destruction included)\n", whole,
                megabytes / whole);
    return 0;
}
