// The operations behind the exported functions. AdapterCore keeps no state:
// every operation is static and talks only through its arguments and result.
// An operation that can fail takes the error text last; on a failure of the
// vision library it writes the exception's message there and returns its
// neutral result (reported, below).
#pragma once

#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "DictFiles.h"
#include "GeometryExtraction.h"
#include "ImageExtraction.h"
#include "ModelExtraction.h"
#include "NativeNode.h"
#include "ObjectFiles.h"
#include "ObjectSaving.h"
#include "PixelExtraction.h"
#include "StringBridge.h"

// Runs `operation` and returns what it returns. When it fails, `failed` is
// returned and `error` says why: the vision library's message for its
// exception, "Not enough memory available" for an allocation that failed.
// Every operation that reports a failure goes through here.
template <class Result, class Operation>
Result reported(std::wstring& error, Result failed, Operation&& operation) {
    try {
        return operation();
    } catch (const HalconCpp::HException& e) {
        error = fromHString(e.ErrorMessage());
    } catch (const std::bad_alloc&) {
        error = L"Not enough memory available";
    }
    return failed;
}

// Where each operation is defined:
//   AdapterCore.cpp         ensureHalconSystemInitialized, halconVersion
//   ValueText.cpp           fullValueText
//   TreeBuilder.cpp         childAt, childCount
//   NodePaths.cpp           nodeAtPath
//   ObjectFiles.cpp         parseObjectFile
//   DictFiles.cpp           parseFile, convertDictFile
//   ModelFiles.cpp          parseDlModelFile, parseObjectModel3dFile
//   AnyFile.cpp             recognizeFile, parseAnyFile
//   ImageExtraction.cpp     extractImage, imageChannelCount
//   PixelExtraction.cpp     imageInfo, extractImageValues, extractImageDomainRuns
//   GeometryExtraction.cpp  extractRegionRuns, extractContourPoints, extractPolygonPoints, extractParallelLines
//   ModelExtraction.cpp     extractModelPoints, extractModelFaces
//   ObjectSaving.cpp        saveObjectAs, saveObjectsAs
class AdapterCore {
public:
    AdapterCore() = delete;

    // Applies the vision library's global settings ("clip_region" = "false").
    // Failures are ignored; called for every reader created.
    static void ensureHalconSystemInitialized();

    // The vision library's version text, or "unknown".
    static std::wstring halconVersion();

    // Every element of a Value node's kept tuple, untruncated; empty for other nodes.
    static std::wstring fullValueText(const NativeNode* node);

    // Child `index` of a node, built when first asked for; null for a null
    // node or an index outside its children. The number of its children.
    static const NativeNode* childAt(const NativeNode* node, int32_t index);
    static int32_t childCount(const NativeNode* node);
    // The node at `path` below `root` (NodePaths.h); null when none has it.
    static const NativeNode* nodeAtPath(const NativeNode* root, const std::wstring& path);

    // An object file (".hobj"), a sequence file (".seq") or an image file (any
    // other suffix): a root "file" node with one Object child per object.
    static std::unique_ptr<NativeNode> parseObjectFile(const std::wstring& path, std::wstring& error);
    // The same, reading the file as `source` says whatever its suffix.
    static std::unique_ptr<NativeNode> parseObjectFile(const std::wstring& path, ObjectSource source,
                                                       std::wstring& error);

    // A dictionary file, read with the library's defaults or with reading
    // options: a root "dict" node with one child per key.
    static std::unique_ptr<NativeNode> parseFile(const std::wstring& path, std::wstring& error);
    static std::unique_ptr<NativeNode> parseFile(const std::wstring& path, const std::vector<NativeJsonParam>& options,
                                                 std::wstring& error);

    // A deep-learning model file or a 3D object model file (read in metres):
    // the model's handle as the root, its keys as the children.
    static std::unique_ptr<NativeNode> parseDlModelFile(const std::wstring& path, std::wstring& error);
    static std::unique_ptr<NativeNode> parseObjectModel3dFile(const std::wstring& path, std::wstring& error);

    // The load a file calls for: by its first bytes (images, object files,
    // dictionaries, JSON, PLY, OFF, .om3, ONNX), else by its suffix (sequence
    // files, OBJ, STL, the vendor's own formats), else an image file.
    static FileKind recognizeFile(const std::wstring& path);
    // Loads the file with the load recognizeFile chooses, `options` passed to
    // a dictionary's reading; `kind` is set to that load before it runs.
    static std::unique_ptr<NativeNode> parseAnyFile(const std::wstring& path, const std::vector<NativeJsonParam>& options,
                                                    IxLoadKind& kind, std::wstring& error);

    // Reads a dictionary file and writes it again, in the format the output
    // path chooses. With `ignoreNonSerializable`, content the output format
    // cannot hold is left out instead of failing the conversion.
    static bool convertDictFile(const std::wstring& inputPath, const std::wstring& outputPath,
                                bool ignoreNonSerializable, std::wstring& error);

    // The pixels of image `index` of an Object node as Gray, Bgr or Bgra bytes;
    // nothing for a node or index without an image or an unusable channel count.
    static std::optional<NativeImage> extractImage(const NativeNode* node, int32_t index, std::wstring& error);

    // The channel count of image `index` of an Object node holding images.
    static std::optional<int32_t> imageChannelCount(const NativeNode* node, int32_t index, std::wstring& error);

    // Image `index` of an Object node in its own pixel type: its description,
    // its planes (kept alive by the record, never copied here) and its
    // domain's runs. Nothing without error text for a node or index without
    // an image; an error text for images whose values cannot be handed out.
    static std::optional<NativeImageInfo> imageInfo(const NativeNode* node, int32_t index, std::wstring& error);
    static std::optional<NativeImagePlanes> extractImageValues(const NativeNode* node, int32_t index,
                                                               std::wstring& error);
    static std::optional<NativeRegionRuns> extractImageDomainRuns(const NativeNode* node, int32_t index,
                                                                  std::wstring& error);

    // The points (and normals) and the faces of the 3D object model of a node
    // holding one; nothing without error text for any other node.
    static std::optional<NativeModelPoints> extractModelPoints(const NativeNode* node, std::wstring& error);
    static std::optional<NativeModelFaces> extractModelFaces(const NativeNode* node, std::wstring& error);

    // The geometry of object `index` of an Object node: a region's runs, a
    // contour's or polygon's points, a parallel's two lines. Nothing for a node
    // or index without objects; the library's message for what it raises.
    static std::optional<NativeRegionRuns> extractRegionRuns(const NativeNode* node, int32_t index,
                                                             std::wstring& error);
    static std::optional<NativeContourPoints> extractContourPoints(const NativeNode* node, int32_t index,
                                                                   std::wstring& error);
    static std::optional<NativeContourPoints> extractPolygonPoints(const NativeNode* node, int32_t index,
                                                                   std::wstring& error);
    static std::optional<NativeParallelLines> extractParallelLines(const NativeNode* node, int32_t index,
                                                                   std::wstring& error);

    // Writes all objects of an Object node to `path`, the writer chosen by its
    // suffix: an object file for "hobj", DXF for "dxf" (polygons or contours
    // by the node's class), else an image file with the suffix as the format.
    // False without error text for a node that is not an Object node.
    static bool saveObjectAs(const NativeNode* node, const std::wstring& path, std::wstring& error);

    // Writes the objects of several Object nodes, in order, to one object file
    // at `path`, whatever its suffix. Entries after the first that are null or
    // not Object nodes are skipped; false without error text when the list is
    // empty or its first entry is unusable.
    static bool saveObjectsAs(const std::vector<const NativeNode*>& nodes, const std::wstring& path,
                              std::wstring& error);
};
