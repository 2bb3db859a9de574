// The exported functions: argument checks, string copies and the hand-over of
// results. The work is done by AdapterCore; nothing here lets an exception out.
#include "AdapterApi.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <vector>

#include "AdapterCore/AdapterCore.h"
#include "ix_adapter.h"

namespace {

const wchar_t kEmpty[] = L"";

// Runs `body` and turns anything it throws into the neutral result.
template <class Result, class Body>
Result guarded(Result neutral, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return neutral;
    }
}

// The value at `index`, or null for a null node or an index outside the list.
const NativeValue* valueAt(const NativeNode* node, int32_t index) {
    if (!node || index < 0 || static_cast<size_t>(index) >= node->values.size()) return nullptr;
    return &node->values[static_cast<size_t>(index)];
}

int32_t countOf(size_t size) {
    return size > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(size);
}

// The host's option records as the library keeps them, in order. Only the
// field that a record's type names is read; the records are not kept.
std::vector<NativeJsonParam> jsonParamsOf(const IxJsonParam* params, int32_t count) {
    std::vector<NativeJsonParam> options;
    if (!params || count < 1) return options;
    options.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        const IxJsonParam& record = params[i];
        NativeJsonParam option;
        option.key = record.key;
        option.type = record.type;
        switch (record.type) {
        case IxValueType::String:
            if (record.text) option.text = record.text;
            break;
        case IxValueType::Integer: option.intValue = record.intValue; break;
        case IxValueType::Real: option.realValue = record.realValue; break;
        }
        options.push_back(std::move(option));
    }
    return options;
}

// Hands the arrays of one record to the host: each a new array of its field's
// elements, allocated without throwing. Either every array is handed over, or
// none (those already allocated are released) and false is returned.
template <class T>
struct HostArray {
    const std::vector<T>* field;
    size_t count;  // the elements of the field's group
    T** out;
};

template <class T>
bool handOver(std::initializer_list<HostArray<T>> arrays) {
    std::vector<T*> made;
    for (const HostArray<T>& array : arrays) {
        T* copy = new (std::nothrow) T[array.count];
        if (!copy) {
            for (T* m : made) delete[] m;
            return false;
        }
        std::copy(array.field->begin(), array.field->begin() + static_cast<std::ptrdiff_t>(array.count), copy);
        made.push_back(copy);
    }
    size_t i = 0;
    for (const HostArray<T>& array : arrays) *array.out = made[i++];
    return true;
}

template <class Extract>
int32_t extractPoints(ReaderHandle* handle, const NativeNode* node, int32_t index, double** outRows,
                      double** outCols, int32_t* outCount, Extract extract) {
    for (double** out : {outRows, outCols})
        if (out) *out = nullptr;
    if (!handle || !node || !outRows || !outCols || !outCount) return 0;
    return guarded<int32_t>(0, [&] {
        handle->lastError.clear();
        const auto points = extract(node, index, handle->lastError);
        if (!points) return 0;
        const size_t n = points->rows.size();
        if (!handOver<double>({{&points->rows, n, outRows}, {&points->cols, n, outCols}})) return 0;
        *outCount = countOf(n);
        return 1;
    });
}

// A load function with both arguments is about to run the load of `kind`.
void noteLoad(ReaderHandle* handle, const wchar_t* path, IxLoadKind kind) {
    if (handle && path) handle->lastLoadKind = kind;
}

// Zeroes an image description the host passed.
void clearInfo(IxImageInfo* info) {
    if (info) *info = IxImageInfo{};
}

void fillInfo(const NativeImageInfo& from, IxImageInfo* to) {
    to->pixelType = from.pixelType;
    to->width = from.width;
    to->height = from.height;
    to->channels = from.channels;
    to->bytesPerValue = from.bytesPerValue;
    to->domainIsFull = from.domainIsFull ? 1 : 0;
}

// Hands the runs `extract` gives (a region's, an image's domain) to the host, as
// three arrays of one count, with the checks and neutral results of every extraction.
template <class Extract>
int32_t extractRuns(ReaderHandle* handle, const NativeNode* node, int32_t** outRows, int32_t** outColumnBegins,
                    int32_t** outColumnEnds, int32_t* outCount, Extract&& extract) {
    for (int32_t** out : {outRows, outColumnBegins, outColumnEnds})
        if (out) *out = nullptr;
    if (!handle || !node || !outRows || !outColumnBegins || !outColumnEnds || !outCount) return 0;
    return guarded<int32_t>(0, [&] {
        handle->lastError.clear();
        const std::optional<NativeRegionRuns> runs = extract(handle->lastError);
        if (!runs) return 0;
        const size_t n = runs->rows.size();
        if (!handOver<int32_t>({{&runs->rows, n, outRows}, {&runs->columnBegins, n, outColumnBegins},
                                {&runs->columnEnds, n, outColumnEnds}}))
            return 0;
        *outCount = countOf(n);
        return 1;
    });
}

// Runs a save or a conversion after clearing the last error; its message, or
// what it throws, becomes the last error. 1 when it succeeded.
template <class Operation>
int32_t runInto(ReaderHandle* handle, Operation&& operation) noexcept {
    std::wstring error, outOfMemory;
    handle->lastError.clear();
    bool done = false;
    try {
        outOfMemory = outOfMemoryMessage();
        done = operation(error);
    } catch (...) {
        done = false;
        describeCurrentException(error, outOfMemory);
    }
    handle->lastError = std::move(error);
    return done ? 1 : 0;
}

}  // namespace

extern "C" {

ReaderHandle* ix_reader_create(void) {
    return guarded<ReaderHandle*>(nullptr, [] {
        AdapterCore::ensureHalconSystemInitialized();
        return new (std::nothrow) ReaderHandle();
    });
}

void ix_reader_destroy(ReaderHandle* handle) {
    guarded(0, [&] {
        delete handle;
        return 0;
    });
}

const wchar_t* ix_reader_last_error(const ReaderHandle* handle) {
    return guarded<const wchar_t*>(kEmpty, [&] { return handle ? handle->lastError.c_str() : kEmpty; });
}

const wchar_t* ix_adapter_halcon_version(void) {
    return guarded<const wchar_t*>(L"unknown", [] {
        // Built once per process; the text lives until the library is unloaded.
        static const std::wstring version = AdapterCore::halconVersion();
        return version.c_str();
    });
}

const NativeNode* ix_reader_parse_object_file(ReaderHandle* handle, const wchar_t* path) {
    noteLoad(handle, path, IxLoadKind::Object);
    return loadInto(handle, path, [](const std::wstring& file, std::wstring& error) {
        return AdapterCore::parseObjectFile(file, error);
    });
}

const NativeNode* ix_reader_parse_file(ReaderHandle* handle, const wchar_t* path) {
    noteLoad(handle, path, IxLoadKind::Dict);
    return loadInto(handle, path,
                    [](const std::wstring& file, std::wstring& error) { return AdapterCore::parseFile(file, error); });
}

const NativeNode* ix_reader_parse_dl_model_file(ReaderHandle* handle, const wchar_t* path) {
    noteLoad(handle, path, IxLoadKind::DlModel);
    return loadInto(handle, path, [](const std::wstring& file, std::wstring& error) {
        return AdapterCore::parseDlModelFile(file, error);
    });
}

const NativeNode* ix_reader_parse_object_model_3d_file(ReaderHandle* handle, const wchar_t* path) {
    noteLoad(handle, path, IxLoadKind::ObjectModel3d);
    return loadInto(handle, path, [](const std::wstring& file, std::wstring& error) {
        return AdapterCore::parseObjectModel3dFile(file, error);
    });
}

const NativeNode* ix_reader_parse_file_with_options(ReaderHandle* handle, const wchar_t* path,
                                                     const IxJsonParam* params, int32_t count) {
    noteLoad(handle, path, IxLoadKind::Dict);
    return loadInto(handle, path, [&](const std::wstring& file, std::wstring& error) {
        return AdapterCore::parseFile(file, jsonParamsOf(params, count), error);
    });
}

const NativeNode* ix_reader_parse_any_file(ReaderHandle* handle, const wchar_t* path, const IxJsonParam* params,
                                           int32_t count) {
    noteLoad(handle, path, IxLoadKind::None);
    return loadInto(handle, path, [&](const std::wstring& file, std::wstring& error) {
        return AdapterCore::parseAnyFile(file, jsonParamsOf(params, count), handle->lastLoadKind, error);
    });
}

IxLoadKind ix_reader_last_load_kind(const ReaderHandle* handle) {
    return handle ? handle->lastLoadKind : IxLoadKind::None;
}

int32_t ix_reader_convert_dict_file(ReaderHandle* handle, const wchar_t* inputPath, const wchar_t* outputPath,
                                    int32_t ignoreNonSerializable) {
    if (!handle || !inputPath || !outputPath) return 0;
    return runInto(handle, [&](std::wstring& error) {
        return AdapterCore::convertDictFile(std::wstring(inputPath), std::wstring(outputPath),
                                            ignoreNonSerializable != 0, error);
    });
}

int32_t ix_save_object_as(ReaderHandle* handle, const NativeNode* node, const wchar_t* path) {
    if (!handle || !node || !path) return 0;
    return runInto(handle, [&](std::wstring& error) {
        return AdapterCore::saveObjectAs(node, std::wstring(path), error);
    });
}

int32_t ix_save_objects_as(ReaderHandle* handle, const NativeNode* const* nodes, int32_t count, const wchar_t* path) {
    if (!handle || !nodes || count < 1 || !path) return 0;
    return runInto(handle, [&](std::wstring& error) {
        const std::vector<const NativeNode*> list(nodes, nodes + count);
        return AdapterCore::saveObjectsAs(list, std::wstring(path), error);
    });
}

const wchar_t* ix_node_label(const NativeNode* node) {
    return guarded<const wchar_t*>(kEmpty, [&] { return node ? node->label.c_str() : kEmpty; });
}

IxNodeKind ix_node_kind(const NativeNode* node) {
    return guarded<IxNodeKind>(IxNodeKind::Container, [&] { return node ? node->kind : IxNodeKind::Container; });
}

const wchar_t* ix_node_type_label(const NativeNode* node) {
    return guarded<const wchar_t*>(kEmpty, [&] { return node ? node->typeLabel.c_str() : kEmpty; });
}

const wchar_t* ix_node_value_summary(const NativeNode* node) {
    return guarded<const wchar_t*>(kEmpty, [&] { return node ? node->valueSummary.c_str() : kEmpty; });
}

IxPathSegmentKind ix_node_path_segment_kind(const NativeNode* node) {
    return guarded<IxPathSegmentKind>(IxPathSegmentKind::Name, [&] { return node ? node->pathSegmentKind : IxPathSegmentKind::Name; });
}

int32_t ix_node_path_index(const NativeNode* node) {
    return guarded<int32_t>(0, [&] { return node ? node->pathIndex : 0; });
}

int32_t ix_node_child_count(const NativeNode* node) {
    return guarded<int32_t>(0, [&] { return AdapterCore::childCount(node); });
}

const NativeNode* ix_node_child_at(const NativeNode* node, int32_t index) {
    return guarded<const NativeNode*>(nullptr, [&] { return AdapterCore::childAt(node, index); });
}

const wchar_t* ix_node_path_segment(const NativeNode* node) {
    return guarded<const wchar_t*>(kEmpty, [&] { return node ? node->pathSegment.c_str() : kEmpty; });
}

const NativeNode* ix_node_at_path(const NativeNode* root, const wchar_t* path) {
    return guarded<const NativeNode*>(nullptr, [&] {
        return root && path ? AdapterCore::nodeAtPath(root, std::wstring(path)) : nullptr;
    });
}

int32_t ix_node_value_count(const NativeNode* node) {
    return guarded<int32_t>(0, [&] { return node ? countOf(node->values.size()) : 0; });
}

int32_t ix_node_total_count(const NativeNode* node) {
    return guarded<int32_t>(0, [&] { return node ? node->totalCount : 0; });
}

int32_t ix_node_truncated(const NativeNode* node) {
    return guarded<int32_t>(0, [&] { return node && node->truncated ? 1 : 0; });
}

IxValueType ix_node_value_type_at(const NativeNode* node, int32_t index) {
    return guarded<IxValueType>(IxValueType::String, [&] {
        const NativeValue* value = valueAt(node, index);
        return value ? value->type : IxValueType::String;
    });
}

const wchar_t* ix_node_value_string_at(const NativeNode* node, int32_t index) {
    return guarded<const wchar_t*>(kEmpty, [&] {
        const NativeValue* value = valueAt(node, index);
        return value ? value->text.c_str() : kEmpty;
    });
}

int64_t ix_node_value_int_at(const NativeNode* node, int32_t index) {
    return guarded<int64_t>(0, [&] {
        const NativeValue* value = valueAt(node, index);
        return value ? value->intValue : int64_t{0};
    });
}

double ix_node_value_real_at(const NativeNode* node, int32_t index) {
    return guarded<double>(0.0, [&] {
        const NativeValue* value = valueAt(node, index);
        return value ? value->realValue : 0.0;
    });
}

const wchar_t* ix_node_full_value_text(ReaderHandle* handle, const NativeNode* node) {
    if (!handle || !node) return kEmpty;
    return guarded<const wchar_t*>(kEmpty, [&] {
        // Empty first: should the text fail to build, the old one is gone all the same.
        handle->fullValueText.clear();
        try {
            handle->fullValueText = AdapterCore::fullValueText(node);
        } catch (...) {
            handle->fullValueText.clear();
        }
        return handle->fullValueText.c_str();
    });
}

const wchar_t* ix_node_object_class(const NativeNode* node) {
    return guarded<const wchar_t*>(kEmpty, [&] { return node ? node->objectClass.c_str() : kEmpty; });
}

int32_t ix_node_is_image(const NativeNode* node) {
    return guarded<int32_t>(0, [&] { return node && node->isImage ? 1 : 0; });
}

int32_t ix_node_object_count(const NativeNode* node) {
    return guarded<int32_t>(1, [&] { return node ? node->objectCount : 1; });
}

int32_t ix_node_detail_line_count(const NativeNode* node) {
    return guarded<int32_t>(0, [&] { return node ? countOf(node->detailLines.size()) : 0; });
}

const wchar_t* ix_node_detail_line_at(const NativeNode* node, int32_t index) {
    return guarded<const wchar_t*>(kEmpty, [&] {
        if (!node || index < 0 || static_cast<size_t>(index) >= node->detailLines.size()) return kEmpty;
        return node->detailLines[static_cast<size_t>(index)].c_str();
    });
}

int32_t ix_node_detail_entry_count(const NativeNode* node) {
    return guarded<int32_t>(0, [&] { return node ? node->detailEntryCount : 0; });
}

int32_t ix_extract_image(ReaderHandle* handle, const NativeNode* node, int32_t index, int32_t* outWidth,
                         int32_t* outHeight, int32_t* outRowBytes, int32_t* outPixelFormat, uint8_t** outPixels) {
    if (outPixels) *outPixels = nullptr;
    if (!handle || !node || !outWidth || !outHeight || !outRowBytes || !outPixelFormat || !outPixels) return 0;
    return guarded<int32_t>(0, [&] {
        handle->lastError.clear();
        const std::optional<NativeImage> image = AdapterCore::extractImage(node, index, handle->lastError);
        if (!image) return 0;
        uint8_t* pixels = new (std::nothrow) uint8_t[image->pixels.size()];
        if (!pixels) return 0;
        std::copy(image->pixels.begin(), image->pixels.end(), pixels);
        *outWidth = image->width;
        *outHeight = image->height;
        *outRowBytes = image->rowBytes;
        *outPixelFormat = image->pixelFormat;
        *outPixels = pixels;
        return 1;
    });
}

int32_t ix_node_image_channel_count(ReaderHandle* handle, const NativeNode* node, int32_t index) {
    if (!handle || !node) return -1;
    return guarded<int32_t>(-1, [&] {
        handle->lastError.clear();
        return AdapterCore::imageChannelCount(node, index, handle->lastError).value_or(-1);
    });
}

void ix_free_buffer(uint8_t* buffer) {
    delete[] buffer;
}

void ix_free_int_buffer(int32_t* buffer) {
    delete[] buffer;
}

void ix_free_double_buffer(double* buffer) {
    delete[] buffer;
}

void ix_free_float_buffer(float* buffer) {
    delete[] buffer;
}

int32_t ix_image_info(ReaderHandle* handle, const NativeNode* node, int32_t index, IxImageInfo* out) {
    clearInfo(out);
    if (!handle || !node || !out) return 0;
    return guarded<int32_t>(0, [&] {
        handle->lastError.clear();
        const std::optional<NativeImageInfo> info = AdapterCore::imageInfo(node, index, handle->lastError);
        if (!info) return 0;
        fillInfo(*info, out);
        return 1;
    });
}

int32_t ix_extract_image_values(ReaderHandle* handle, const NativeNode* node, int32_t index, IxImageInfo* outInfo,
                                uint8_t** outValues) {
    clearInfo(outInfo);
    if (outValues) *outValues = nullptr;
    if (!handle || !node || !outInfo || !outValues) return 0;
    return guarded<int32_t>(0, [&] {
        handle->lastError.clear();
        const std::optional<NativeImagePlanes> image = AdapterCore::extractImageValues(node, index, handle->lastError);
        if (!image) return 0;
        const size_t planeBytes = static_cast<size_t>(image->info.width) * static_cast<size_t>(image->info.height) *
                                  static_cast<size_t>(image->info.bytesPerValue);
        uint8_t* values = new (std::nothrow) uint8_t[std::max<size_t>(planeBytes * image->planes.size(), 1)];
        if (!values) {
            handle->lastError = outOfMemoryMessage();
            return 0;
        }
        // The one copy of the planes: each straight into its place.
        for (size_t c = 0; c < image->planes.size(); ++c)
            std::memcpy(values + c * planeBytes, image->planes[c], planeBytes);
        fillInfo(image->info, outInfo);
        *outValues = values;
        return 1;
    });
}

int32_t ix_extract_image_domain_runs(ReaderHandle* handle, const NativeNode* node, int32_t index, int32_t** outRows,
                                     int32_t** outColumnBegins, int32_t** outColumnEnds, int32_t* outCount) {
    return extractRuns(handle, node, outRows, outColumnBegins, outColumnEnds, outCount,
                       [&](std::wstring& error) { return AdapterCore::extractImageDomainRuns(node, index, error); });
}

int32_t ix_extract_model_points(ReaderHandle* handle, const NativeNode* node, float** outPoints, float** outNormals,
                                int32_t* outCount) {
    for (float** out : {outPoints, outNormals})
        if (out) *out = nullptr;
    if (!handle || !node || !outPoints || !outNormals || !outCount) return 0;
    return guarded<int32_t>(0, [&] {
        handle->lastError.clear();
        const std::optional<NativeModelPoints> model = AdapterCore::extractModelPoints(node, handle->lastError);
        if (!model) return 0;
        const size_t n = model->points.size();
        const bool handed = model->hasNormals
                                ? handOver<float>({{&model->points, n, outPoints}, {&model->normals, n, outNormals}})
                                : handOver<float>({{&model->points, n, outPoints}});
        if (!handed) return 0;
        *outCount = countOf(n / 3);
        return 1;
    });
}

int32_t ix_extract_model_faces(ReaderHandle* handle, const NativeNode* node, int32_t** outTriangles,
                               int32_t* outTriangleCount, int32_t** outPolygonIndices, int32_t** outPolygonStarts,
                               int32_t* outPolygonCount) {
    for (int32_t** out : {outTriangles, outPolygonIndices, outPolygonStarts})
        if (out) *out = nullptr;
    if (!handle || !node || !outTriangles || !outTriangleCount || !outPolygonIndices || !outPolygonStarts ||
        !outPolygonCount)
        return 0;
    return guarded<int32_t>(0, [&] {
        handle->lastError.clear();
        const std::optional<NativeModelFaces> faces = AdapterCore::extractModelFaces(node, handle->lastError);
        if (!faces) return 0;
        if (!handOver<int32_t>({{&faces->triangles, faces->triangles.size(), outTriangles},
                                {&faces->polygonIndices, faces->polygonIndices.size(), outPolygonIndices},
                                {&faces->polygonStarts, faces->polygonStarts.size(), outPolygonStarts}}))
            return 0;
        *outTriangleCount = countOf(faces->triangles.size() / 3);
        *outPolygonCount = countOf(faces->polygonStarts.size() - 1);
        return 1;
    });
}

int32_t ix_extract_region_runs(ReaderHandle* handle, const NativeNode* node, int32_t index, int32_t** outRows,
                               int32_t** outColumnBegins, int32_t** outColumnEnds, int32_t* outCount) {
    return extractRuns(handle, node, outRows, outColumnBegins, outColumnEnds, outCount,
                       [&](std::wstring& error) { return AdapterCore::extractRegionRuns(node, index, error); });
}


int32_t ix_extract_contour_points(ReaderHandle* handle, const NativeNode* node, int32_t index, double** outRows,
                                  double** outCols, int32_t* outCount) {
    return extractPoints(handle, node, index, outRows, outCols, outCount, AdapterCore::extractContourPoints);
}

int32_t ix_extract_polygon_points(ReaderHandle* handle, const NativeNode* node, int32_t index, double** outRows,
                                  double** outCols, int32_t* outCount) {
    return extractPoints(handle, node, index, outRows, outCols, outCount, AdapterCore::extractPolygonPoints);
}

int32_t ix_extract_parallel_lines(ReaderHandle* handle, const NativeNode* node, int32_t index, double** outRows1,
                                  double** outCols1, int32_t* outCount1, double** outRows2, double** outCols2,
                                  int32_t* outCount2) {
    for (double** out : {outRows1, outCols1, outRows2, outCols2})
        if (out) *out = nullptr;
    if (!handle || !node || !outRows1 || !outCols1 || !outCount1 || !outRows2 || !outCols2 || !outCount2) return 0;
    return guarded<int32_t>(0, [&] {
        handle->lastError.clear();
        const auto lines = AdapterCore::extractParallelLines(node, index, handle->lastError);
        if (!lines) return 0;
        const size_t n1 = lines->rows1.size(), n2 = lines->rows2.size();
        if (!handOver<double>({{&lines->rows1, n1, outRows1}, {&lines->cols1, n1, outCols1},
                               {&lines->rows2, n2, outRows2}, {&lines->cols2, n2, outCols2}}))
            return 0;
        *outCount1 = countOf(n1);
        *outCount2 = countOf(n2);
        return 1;
    });
}

}  // extern "C"
