#!/usr/bin/env python3
"""Plants faults in the library, one at a time, and runs the suites against each:
a fault the suites do not catch is a behaviour no test pins.

    scripts/mutate.py [--list] [--only ID,ID...] [--build DIR] [--report FILE] [--timeout SECONDS]

Each fault is a text replaced once in one source file: a comparison flipped, a
bound off by one, a check removed, a mapping entry dropped. The build directory
(default build/mutate, Release, no benchmarks) is built once unchanged, then
rebuilt after each fault; the suites of the layers (ctest labels vision, adapter,
hostile, host) run with --stop-on-failure. A fault whose build fails counts as
caught by the compiler and is reported apart. The source is restored after
each fault, also when the run is interrupted. The report is a Markdown table.
A test that times out counts as failing: on a busy machine raise --timeout, or
a fault no test notices is reported caught.
"""
import argparse
import pathlib
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent

# (id, area, file, text, replacement, what the fault is)
FAULTS = [
    # The readers of the embedded library.
    ("bmp-rle-topdown", "readers", "src/vision/embedded/formats/bmp/BmpFormat.cpp",
     "if (h.topDown) fail(\"top-down RLE bitmap\");", "", "check removed: a top-down RLE bitmap"),
    ("bmp-palette", "readers", "src/vision/embedded/formats/bmp/BmpFormat.cpp",
     "if (paletteEnd > fileSize) fail(\"truncated palette\");", "", "check removed: a palette past the end"),
    ("bmp-empty-palette", "readers", "src/vision/embedded/formats/bmp/BmpFormat.cpp",
     "if (count == 0) fail(\"empty palette\");", "", "check removed: a palette of no colour"),
    ("pnm-maxval", "readers", "src/vision/embedded/formats/pnm/PnmFormat.cpp",
     "if (maxval == 0) fail(\"maximum value 0\");", "", "check removed: maximum value 0"),
    ("pnm-bits", "readers", "src/vision/embedded/formats/pnm/PnmFormat.cpp",
     "if (c != '0' && c != '1')", "if (c != '0' && c != '1' && c != '2')", "bound off by one: P1 digits"),
    ("png-iend", "readers", "src/vision/embedded/formats/png/PngFormat.cpp",
     "if (!endsWithIend(file, stream.offset()))", "if (false)", "check removed: a PNG without IEND"),
    ("json-depth", "readers", "src/vision/embedded/formats/json/JsonFormat.cpp",
     "if (depth > Limits::nestingDepth) stop", "if (depth > Limits::nestingDepth + 1) stop",
     "bound off by one: JSON nesting"),
    ("hdict-depth", "readers", "src/vision/embedded/formats/hdict/HdictFormat.cpp",
     "if (depth > static_cast<uint64_t>(Limits::nestingDepth))",
     "if (depth > static_cast<uint64_t>(Limits::nestingDepth) + 1)", "bound off by one: dictionary nesting"),
    ("hobj-empty", "readers", "src/vision/embedded/formats/hobj/HobjFormat.cpp",
     "if (objects.empty()) raiseInvalid(\"object\", \"it holds no image\", file.proc());", "",
     "check removed: an object file without images read as an image"),
    ("ply-axes", "readers", "src/vision/embedded/formats/ply/PlyFormat.cpp",
     "if (axes[0] < 0 || axes[1] < 0 || axes[2] < 0)", "if (axes[0] < 0 || axes[1] < 0)",
     "check removed: a vertex without z"),
    ("ply-magic", "readers", "src/vision/embedded/formats/ply/PlyFormat.cpp",
     "if (text_.rest(kLineLength) != \"ply\") fail(\"no 'ply' line at the start\");", "",
     "check removed: the 'ply' line"),
    ("off-keyword", "readers", "src/vision/embedded/formats/off/OffFormat.cpp",
     "if (skip == 0) raiseInvalid(", "if (false) raiseInvalid(", "check removed: the OFF keyword"),
    ("obj-face-255", "readers", "src/vision/embedded/formats/obj/ObjFormat.cpp",
     "if (sized != shape.mesh.indices.size()) raiseInvalid(", "if (false) raiseInvalid(",
     "check removed: faces of more than 255 points"),
    ("onnx-first-field", "readers", "src/vision/embedded/formats/onnx/OnnxFormat.cpp",
     "head[1] > 0x3f", "head[1] > 0x40", "bound off by one: the IR version of a model"),
    ("tiff-extra", "readers", "src/vision/embedded/formats/tiff/TiffFormat.cpp",
     "if (extraCount > samples ||", "if (extraCount > samples + 1 ||", "bound off by one: extra samples"),
    # The tree builders.
    ("tree-values-kept", "tree", "src/AdapterCore/TupleNodes.cpp",
     "const Hlong kept = n < kMaxNodeValues ? n : kMaxNodeValues;",
     "const Hlong kept = n < kMaxNodeValues ? n : kMaxNodeValues - 1;", "bound off by one: values a node keeps"),
    ("tree-truncated", "tree", "src/AdapterCore/TupleNodes.cpp",
     "node->truncated = n > kMaxNodeValues;", "node->truncated = n >= kMaxNodeValues;",
     "comparison flipped: a node of exactly 1000 values truncated"),
    ("tree-entry-word", "tree", "src/AdapterCore/TupleNodes.cpp",
     "(n >= 2 ? L\" entries\" : L\" entry\")", "(n >= 1 ? L\" entries\" : L\" entry\")",
     "bound off by one: \"1 entry\""),
    ("tree-key-word", "tree", "src/AdapterCore/HandleNodes.cpp",
     "(n == 1 ? L\" key\" : L\" keys\")", "(n <= 1 ? L\" key\" : L\" keys\")", "comparison flipped: \"0 keys\""),
    ("tree-handle-depth", "tree", "src/AdapterCore/HandleNodes.cpp",
     "if (depth >= kMaxHandleDepth) return", "if (depth > kMaxHandleDepth) return",
     "bound off by one: handle nesting"),
    ("tree-dict-depth", "tree", "src/AdapterCore/TreeBuilder.cpp",
     "if (dictDepth >= kMaxDictDepth)", "if (dictDepth > kMaxDictDepth)", "bound off by one: dictionary nesting"),
    ("tree-chunk-once", "tree", "src/AdapterCore/TreeBuilder.cpp",
     "if (late.built[chunk].load(std::memory_order_relaxed)) return;", "",
     "check removed: a chunk built twice frees children a host holds"),
    ("tree-chunk-end", "tree", "src/AdapterCore/TreeBuilder.cpp",
     "const size_t end = std::min(first + kChildChunk, node.children.size());",
     "const size_t end = std::min(first + kChildChunk - 1, node.children.size());",
     "bound off by one: the last child of a chunk"),
    ("tree-cost-limit", "tree", "src/AdapterCore/DictFiles.cpp",
     "if (dictTreeCost(dict, allowance) <= allowance) return true;", "return true;",
     "check removed: a tree beyond the file's allowance"),
    ("tree-child-past-end", "tree", "src/AdapterCore/TreeBuilder.cpp",
     "if (index >= node.children.size()) return nullptr;", "if (index > node.children.size()) return nullptr;",
     "bound off by one: a child one past the last"),
    ("tree-index-path", "tree", "src/AdapterCore/TupleNodes.cpp",
     "IxNodeKind::Object, IxPathSegmentKind::Index, index);", "IxNodeKind::Object, IxPathSegmentKind::Name, index);",
     "mapping changed: an unsupported handle's path segment"),
    ("tree-file-label", "tree", "src/AdapterCore/ObjectFiles.cpp",
     "count == 1 ? baseName : L\"Object \"", "count == 0 ? baseName : L\"Object \"",
     "comparison flipped: a file's only object named by the file"),
    ("tree-first-mark", "tree", "src/AdapterCore/ObjectNodes.cpp",
     "return summary.empty() ? summary : summary + L\" (first)\";", "return summary;",
     "mapping dropped: \"(first)\" on a set's summary"),
    # The texts.
    ("text-preview-four", "texts", "src/AdapterCore/ValueText.cpp",
     "const size_t shown = values.size() < 4 ? values.size() : 4;",
     "const size_t shown = values.size() < 5 ? values.size() : 5;", "bound off by one: values in a preview"),
    ("text-preview-more", "texts", "src/AdapterCore/ValueText.cpp",
     "if (count > static_cast<int64_t>(shown)) text += L\", ...\";", "", "check removed: \", ...\""),
    ("text-full-single", "texts", "src/AdapterCore/ValueText.cpp",
     "if (n == 1) return formatValueElement(stringifyTupleElement(tuple, 0, stringFlags, intFlags));", "",
     "mapping dropped: one value's full text without brackets"),
    ("text-decimal-point", "texts", "src/AdapterCore/ValueText.cpp",
     "text.find(L\"inf\") == std::wstring::npos &&", "", "check removed: \"inf.0\""),
    ("text-string-quotes", "texts", "src/AdapterCore/ValueText.cpp",
     "return L\"'\" + oneLine(value.text.str()) + L\"'\";", "return oneLine(value.text.str());",
     "mapping dropped: quotes of a string"),
    ("text-utf8-two", "texts", "src/AdapterCore/StringBridge.cpp",
     "} else if (u <= 0x7FF) {", "} else if (u <= 0x7FE) {", "bound off by one: two-byte UTF-8"),
    ("text-utf8-three", "texts", "src/AdapterCore/StringBridge.cpp",
     "} else if (u <= 0xFFFF) {", "} else if (u < 0xFFFF) {", "comparison flipped: three-byte UTF-8"),
    ("text-suffix-jpeg", "texts", "src/AdapterCore/ObjectSaving.cpp",
     "if (suffix == L\"jpeg\") return L\"jpg\";", "", "mapping dropped: .jpeg written as jpg"),
    ("text-suffix-tif", "texts", "src/AdapterCore/ObjectSaving.cpp",
     "if (suffix == L\"tif\") return L\"tiff\";", "", "mapping dropped: .tif written as tiff"),
    ("text-sizes-first", "texts", "src/AdapterCore/Summaries.cpp",
     "if (!sameSize) summary += L\" (first)\";", "", "mapping dropped: \"(first)\" on images of several sizes"),
    # Extraction and the exported functions.
    ("extract-index", "extraction", "src/AdapterCore/GeometryExtraction.cpp",
     "index < 0 || index >= node->objectCount", "index < 0 || index > node->objectCount",
     "bound off by one: the object index of a geometry"),
    ("extract-image-index", "extraction", "src/AdapterCore/ImageExtraction.cpp",
     "index >= 0 && index < node->objectCount", "index >= 0 && index <= node->objectCount",
     "bound off by one: the object index of an image"),
    ("extract-channels", "extraction", "src/AdapterCore/ImageExtraction.cpp",
     "if (channels != 1 && channels != 3) return std::nullopt;", "",
     "check removed: images of 2 or 5+ channels"),
    ("extract-domain", "extraction", "src/AdapterCore/ImageExtraction.cpp",
     "if (area.Length() > 0 && area[0].L() < width * height) {",
     "if (area.Length() > 0 && area[0].L() <= width * height) {",
     "comparison flipped: a full domain drawn with a mask"),
    ("api-value-index", "extraction", "src/AdapterApi.cpp",
     "if (!node || index < 0 || static_cast<size_t>(index) >= node->values.size()) return nullptr;",
     "if (!node || static_cast<size_t>(index) > node->values.size()) return nullptr;",
     "bound off by one and check removed: a value index"),
    ("api-detail-index", "extraction", "src/AdapterApi.cpp",
     "static_cast<size_t>(index) >= node->detailLines.size()) return kEmpty;",
     "static_cast<size_t>(index) > node->detailLines.size()) return kEmpty;", "bound off by one: a detail line index"),
]


def run(command, log, timeout):
    with open(log, "a") as out:
        return subprocess.run(command, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT, timeout=timeout).returncode


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--list", action="store_true", help="print the faults and stop")
    parser.add_argument("--only", help="comma-separated fault ids")
    parser.add_argument("--build", default="build/mutate")
    parser.add_argument("--report", help="also write the table to this file")
    parser.add_argument("--timeout", type=int, default=120, help="seconds a test may take (default 120)")
    args = parser.parse_args()
    faults = [f for f in FAULTS if not args.only or f[0] in args.only.split(",")]
    for fault_id, area, name, text, _, what in faults:
        count = (ROOT / name).read_text().count(text)
        if count != 1:
            sys.exit(f"{fault_id}: the text occurs {count} times in {name}, not once")
    if args.list:
        for fault_id, area, name, _, _, what in faults:
            print(f"{fault_id:22} {area:10} {name}: {what}")
        return
    build, log = ROOT / args.build, ROOT / args.build / "mutate.log"
    build.mkdir(parents=True, exist_ok=True)
    log.write_text("")
    if run(["cmake", "-S", ".", "-B", str(build), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
            "-DIX_BUILD_BENCH=OFF"], log, 600) or run(["cmake", "--build", str(build), "--parallel", "2"], log, 3600):
        sys.exit(f"the unchanged source does not build; see {log}")
    suites = ["ctest", "--test-dir", str(build), "-j2", "--stop-on-failure", "-L", "vision|adapter|hostile|host",
              "--timeout", str(args.timeout)]
    if run(suites, log, 1800):
        sys.exit(f"the suites fail on the unchanged source; see {log}")
    rows, caught = [], 0
    for fault_id, area, name, text, replacement, what in faults:
        path = ROOT / name
        original = path.read_text()
        started = time.monotonic()
        try:
            path.write_text(original.replace(text, replacement, 1))
            if run(["cmake", "--build", str(build), "--parallel", "2"], log, 1800):
                outcome = "caught (build)"
            else:
                outcome = "caught" if run(suites, log, 1800) else "MISSED"
        finally:
            path.write_text(original)
        caught += outcome != "MISSED"
        rows.append(f"| {fault_id} | {area} | `{name}` | {what} | {outcome} |")
        print(rows[-1], f"({time.monotonic() - started:.0f} s)", flush=True)
    run(["cmake", "--build", str(build), "--parallel", "2"], log, 3600)
    table = "\n".join(["| fault | area | file | what | outcome |", "|---|---|---|---|---|"] + rows)
    summary = f"\n{caught} of {len(faults)} faults caught ({100 * caught / len(faults):.0f}%)."
    print("\n" + table + summary)
    if args.report:
        pathlib.Path(args.report).write_text(table + summary + "\n")


if __name__ == "__main__":
    main()
