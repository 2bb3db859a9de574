// The library, loaded in this process with koffi. Strings cross as char32_t
// (UTF-32) both ways; nodes and readers are opaque pointers.
import koffi from 'koffi';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const projectRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');

function libraryPath() {
    if (process.env.IXADAPTER_LIBRARY) return process.env.IXADAPTER_LIBRARY;
    const built = path.join(projectRoot, 'build/release/libixadapter.so');
    return fs.existsSync(built) ? built : 'libixadapter.so';
}

const lib = koffi.load(libraryPath());

koffi.struct('IxJsonParam', {
    key: 'uint32_t',
    type: 'int32_t',
    text: 'const char32_t *',
    intValue: 'int64_t',
    realValue: 'double',
});

koffi.struct('IxImageInfo', {
    pixelType: 'int32_t',
    width: 'int32_t',
    height: 'int32_t',
    channels: 'int32_t',
    bytesPerValue: 'int32_t',
    domainIsFull: 'int32_t',
});

const declarations = [
    'void *ix_reader_create()',
    'void ix_reader_destroy(void *handle)',
    'const char32_t *ix_reader_last_error(void *handle)',
    'const char32_t *ix_adapter_halcon_version()',
    'void *ix_reader_parse_object_file(void *handle, const char32_t *path)',
    'void *ix_reader_parse_file(void *handle, const char32_t *path)',
    'void *ix_reader_parse_file_with_options(void *handle, const char32_t *path, const IxJsonParam *params, int32_t count)',
    'void *ix_reader_parse_dl_model_file(void *handle, const char32_t *path)',
    'void *ix_reader_parse_object_model_3d_file(void *handle, const char32_t *path)',
    'void *ix_reader_parse_any_file(void *handle, const char32_t *path, const IxJsonParam *params, int32_t count)',
    'int32_t ix_reader_last_load_kind(void *handle)',
    'int32_t ix_reader_convert_dict_file(void *handle, const char32_t *input, const char32_t *output, int32_t ignore)',
    'const char32_t *ix_node_label(void *node)',
    'int32_t ix_node_kind(void *node)',
    'const char32_t *ix_node_type_label(void *node)',
    'const char32_t *ix_node_value_summary(void *node)',
    'int32_t ix_node_path_segment_kind(void *node)',
    'int32_t ix_node_path_index(void *node)',
    'int32_t ix_node_child_count(void *node)',
    'void *ix_node_child_at(void *node, int32_t index)',
    'const char32_t *ix_node_path_segment(void *node)',
    'void *ix_node_at_path(void *root, const char32_t *path)',
    'int32_t ix_node_total_count(void *node)',
    'int32_t ix_node_value_count(void *node)',
    'int32_t ix_node_value_type_at(void *node, int32_t index)',
    'const char32_t *ix_node_value_string_at(void *node, int32_t index)',
    'int64_t ix_node_value_int_at(void *node, int32_t index)',
    'double ix_node_value_real_at(void *node, int32_t index)',
    'int32_t ix_node_truncated(void *node)',
    'const char32_t *ix_node_full_value_text(void *handle, void *node)',
    'const char32_t *ix_node_object_class(void *node)',
    'int32_t ix_node_is_image(void *node)',
    'int32_t ix_node_object_count(void *node)',
    'int32_t ix_node_detail_line_count(void *node)',
    'const char32_t *ix_node_detail_line_at(void *node, int32_t index)',
    'int32_t ix_extract_image(void *handle, void *node, int32_t index, _Out_ int32_t *width, _Out_ int32_t *height, _Out_ int32_t *rowBytes, _Out_ int32_t *format, _Out_ void **pixels)',
    'int32_t ix_node_image_channel_count(void *handle, void *node, int32_t index)',
    'int32_t ix_image_info(void *handle, void *node, int32_t index, _Out_ IxImageInfo *info)',
    'int32_t ix_extract_image_values(void *handle, void *node, int32_t index, _Out_ IxImageInfo *info, _Out_ void **values)',
    'int32_t ix_extract_image_domain_runs(void *handle, void *node, int32_t index, _Out_ void **rows, _Out_ void **begins, _Out_ void **ends, _Out_ int32_t *count)',
    'void ix_free_buffer(void *buffer)',
    'void ix_free_int_buffer(void *buffer)',
    'void ix_free_double_buffer(void *buffer)',
    'int32_t ix_extract_region_runs(void *handle, void *node, int32_t index, _Out_ void **rows, _Out_ void **begins, _Out_ void **ends, _Out_ int32_t *count)',
    'int32_t ix_extract_contour_points(void *handle, void *node, int32_t index, _Out_ void **rows, _Out_ void **cols, _Out_ int32_t *count)',
    'int32_t ix_extract_polygon_points(void *handle, void *node, int32_t index, _Out_ void **rows, _Out_ void **cols, _Out_ int32_t *count)',
    'int32_t ix_extract_parallel_lines(void *handle, void *node, int32_t index, _Out_ void **rows1, _Out_ void **cols1, _Out_ int32_t *count1, _Out_ void **rows2, _Out_ void **cols2, _Out_ int32_t *count2)',
    'int32_t ix_save_object_as(void *handle, void *node, const char32_t *path)',
    'int32_t ix_save_objects_as(void *handle, void **nodes, int32_t count, const char32_t *path)',
    'void ix_free_float_buffer(void *buffer)',
    'int32_t ix_extract_model_points(void *handle, void *node, _Out_ void **points, _Out_ void **normals, _Out_ int32_t *count)',
    'int32_t ix_extract_model_faces(void *handle, void *node, _Out_ void **triangles, _Out_ int32_t *triangleCount, _Out_ void **polygonIndices, _Out_ void **polygonStarts, _Out_ int32_t *polygonCount)',
];

export const ix = {};
for (const declaration of declarations) {
    const name = declaration.match(/(ix_\w+)\(/)[1];
    const fn = lib.func(declaration);
    // koffi gives null for an empty string; the library's empty strings stay strings.
    ix[name] = declaration.startsWith('const char32_t') ? (...args) => fn(...args) ?? '' : fn;
}

export const PixelFormat = ['gray', 'bgr', 'bgra'];
// Node kinds, loads and reading options by the names the page uses, at the library's numbers.
import { nodeKinds, loadKinds, jsonOptionKeys } from './public/kinds.mjs';
export { nodeKinds as NodeKind, loadKinds as LoadKind, jsonOptionKeys as JsonParamKeys };

// A reading option { key, value } as the library's record: the value is an
// integer when it reads wholly as one of 64 bits (kept exact as a BigInt), else a
// real, else a string.
const int64 = (text) => /^[+-]?\d+$/.test(text) && BigInt.asIntN(64, BigInt(text)) === BigInt(text);
export function jsonParam({ key, value }) {
    const text = String(value ?? '');
    const record = { key: jsonOptionKeys.indexOf(key), type: 0, text, intValue: 0, realValue: 0 };
    if (record.key < 0) throw Object.assign(new Error(`unknown reading option "${key}"`), { status: 400 });
    if (int64(text)) Object.assign(record, { type: 1, intValue: BigInt(text) });
    else if (text.trim() !== '' && Number.isFinite(Number(text))) Object.assign(record, { type: 2, realValue: Number(text) });
    return record;
}

// Copies `count` elements of a library buffer into JS memory, then releases it.
export function takeBuffer(pointer, type, count, free) {
    try {
        if (!pointer || count <= 0) return type === 'double' ? new Float64Array(0) : new Int32Array(0);
        const bytes = count * koffi.sizeof(type);
        const copy = new Uint8Array(koffi.view(pointer, bytes)).slice();
        return type === 'double' ? new Float64Array(copy.buffer) : new Int32Array(copy.buffer);
    } finally {
        if (pointer) free(pointer);
    }
}

export { koffi };
