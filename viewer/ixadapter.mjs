// The library for Node.js, loaded in this process with koffi: a Reader holds one
// reader handle and the tree of its load, a Node is one node of that tree, as the
// Python binding (python/ixadapter) has them.
//
//   const reader = new Reader();
//   const root = await reader.open('samples/scene.hobj');   // IxError with the library's message
//   for (const child of root.children(0, 10)) console.log(child.path, child.label, child.typeLabel);
//   const image = await reader.nodeAt('/[0]');
//   const { info, values } = await image.imageValues(0);
//   reader.destroy();
//
// Loads, full value texts, extractions, saves and conversions run on koffi's worker
// threads (they return promises), so a server stays responsive during a long load.
// The library lets any number of threads read one tree while no load or destroy runs
// on its handle, each passing a handle of its own: every call off the main thread
// gets a fresh handle, and the reader's handle is destroyed only once the calls on
// its tree have returned. Strings cross as char32_t (UTF-32) both ways.
import koffi from 'koffi';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { jsonOptionKeys, loadKinds, nodeKindName } from './public/kinds.mjs';

export const projectRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');

function libraryPath() {
    if (process.env.IXADAPTER_LIBRARY) return process.env.IXADAPTER_LIBRARY;
    const built = path.join(projectRoot, 'build/release/libixadapter.so');
    return fs.existsSync(built) ? built : 'libixadapter.so';
}

// Worker calls get the stack a call on the main thread has (the default is 128 kiB).
koffi.config({ ...koffi.config(), async_stack_size: 2 << 20 });
const lib = koffi.load(libraryPath());
const wcslenFunction = koffi.load('libc.so.6').func('size_t wcslen(const void *text)');
const wcslen = { async: (text) => new Promise((resolve, reject) => wcslenFunction.async(text, (e, n) => (e ? reject(e) : resolve(n)))) };

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
    'int32_t ix_node_child_count(void *node)',
    'void *ix_node_child_at(void *node, int32_t index)',
    'const char32_t *ix_node_path_segment(void *node)',
    'void *ix_node_at_path(void *root, const char32_t *path)',
    'int32_t ix_node_total_count(void *node)',
    'int32_t ix_node_truncated(void *node)',
    'int32_t ix_node_value_count(void *node)',
    'int32_t ix_node_value_type_at(void *node, int32_t index)',
    'const char32_t *ix_node_value_string_at(void *node, int32_t index)',
    'int64_t ix_node_value_int_at(void *node, int32_t index)',
    'double ix_node_value_real_at(void *node, int32_t index)',
    // The text stays a pointer: it can be longer than a JavaScript string may be.
    'void *ix_node_full_value_text(void *handle, void *node)',
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
    'void ix_free_float_buffer(void *buffer)',
    'int32_t ix_extract_region_runs(void *handle, void *node, int32_t index, _Out_ void **rows, _Out_ void **begins, _Out_ void **ends, _Out_ int32_t *count)',
    'int32_t ix_extract_contour_points(void *handle, void *node, int32_t index, _Out_ void **rows, _Out_ void **cols, _Out_ int32_t *count)',
    'int32_t ix_extract_polygon_points(void *handle, void *node, int32_t index, _Out_ void **rows, _Out_ void **cols, _Out_ int32_t *count)',
    'int32_t ix_extract_parallel_lines(void *handle, void *node, int32_t index, _Out_ void **rows1, _Out_ void **cols1, _Out_ int32_t *count1, _Out_ void **rows2, _Out_ void **cols2, _Out_ int32_t *count2)',
    'int32_t ix_extract_model_points(void *handle, void *node, _Out_ void **points, _Out_ void **normals, _Out_ int32_t *count)',
    'int32_t ix_extract_model_faces(void *handle, void *node, _Out_ void **triangles, _Out_ int32_t *triangleCount, _Out_ void **polygonIndices, _Out_ void **polygonStarts, _Out_ int32_t *polygonCount)',
    'int32_t ix_save_object_as(void *handle, void *node, const char32_t *path)',
    'int32_t ix_save_objects_as(void *handle, void **nodes, int32_t count, const char32_t *path)',
];

const ix = {};
for (const declaration of declarations) {
    const name = declaration.match(/(ix_\w+)\(/)[1];
    const fn = lib.func(declaration);
    // koffi gives null for an empty string; the library's empty strings stay strings.
    const call = declaration.startsWith('const char32_t') ? (...args) => fn(...args) ?? '' : (...args) => fn(...args);
    // The call on a worker thread, as a promise.
    call.async = (...args) => new Promise((resolve, reject) => fn.async(...args, (error, result) => (error ? reject(error) : resolve(result))));
    ix[name] = call;
}

// Node kinds, loads and reading options have their names in kinds.mjs, which the page shares.
export { jsonOptionKeys as JsonParamKeys, loadKinds as LoadKind };
export const PixelFormat = ['gray', 'bgr', 'bgra'];
export const PixelType = ['', 'byte', 'int1', 'uint2', 'int2', 'int4', 'int8', 'real', 'complex', 'direction', 'cyclic', 'vector_field'];

/** A load or an extraction failed; the message is the library's. */
export class IxError extends Error {}
/** The node's reader was destroyed or loaded again. */
export class StaleNodeError extends IxError {}

export const version = () => ix.ix_adapter_halcon_version();

// A reading option { key, value } as the library's record: the value is an
// integer when it reads wholly as one of 64 bits (kept exact as a BigInt), else a
// real, else a string.
const int64 = (text) => /^[+-]?\d+$/.test(text) && BigInt.asIntN(64, BigInt(text)) === BigInt(text);
function jsonParam({ key, value }) {
    const text = String(value ?? '');
    const record = { key: jsonOptionKeys.indexOf(key), type: 0, text, intValue: 0, realValue: 0 };
    if (record.key < 0) throw new IxError(`unknown reading option "${key}"`);
    if (int64(text)) Object.assign(record, { type: 1, intValue: BigInt(text) });
    else if (text.trim() !== '' && Number.isFinite(Number(text))) Object.assign(record, { type: 2, realValue: Number(text) });
    return record;
}

// `count` values of `type` at a library buffer, copied into JavaScript memory.
const arrayTypes = { int32_t: Int32Array, float: Float32Array, double: Float64Array, uint8_t: Uint8Array };
// Each kind of buffer goes back through its own function.
const free = { int32_t: ix.ix_free_int_buffer, float: ix.ix_free_float_buffer, double: ix.ix_free_double_buffer, uint8_t: ix.ix_free_buffer };
function copyOf(pointer, type, count) {
    const Type = arrayTypes[type];
    if (!pointer || count <= 0) return new Type(0);
    return new Type(koffi.view(pointer, count * Type.BYTES_PER_ELEMENT).slice(0));
}

// A C text of `length` characters from character `from` on (UTF-32, as the library writes).
const textAt = (pointer, from, count) => (count > 0 ? koffi.decode(pointer, 4 * from, 'char32_t', count) ?? '' : '');

export class Reader {
    #handle = ix.ix_reader_create();
    #root = null;
    #generation = 0;   // a node of another generation is stale
    #calls = 0;        // calls on worker threads that use the tree
    #destroying = false;

    constructor() {
        if (!this.#handle) throw new IxError('the library found no memory for a reader');
    }

    /** The message of the last failed load, save or conversion. */
    get lastError() {
        return this.#handle ? ix.ix_reader_last_error(this.#handle) : '';
    }

    /** Which load the last open ran ('object', 'dict', 'dlmodel', 'om3d'), or null. */
    get lastLoadKind() {
        return this.#handle ? loadKinds[ix.ix_reader_last_load_kind(this.#handle)] : null;
    }

    get root() {
        return this.#root;
    }

    get destroyed() {
        return this.#destroying;
    }

    /** Whether calls on worker threads are using the tree. */
    get busy() {
        return this.#calls > 0;
    }

    /**
     * Loads `file` with the load its content calls for, or the one `as` names
     * ('object', 'dict', 'dlmodel', 'om3d'); `options` ([{ key, value }]) go to a
     * dictionary file's reading. Resolves to the root; rejects with IxError.
     */
    async open(file, { as, options = [] } = {}) {
        if (typeof file !== 'string' || file.includes('\0')) throw new IxError('a file name is a text without NUL');
        if (as && !loadKinds.includes(as)) throw new IxError(`unknown kind of load "${as}"`);
        const params = !as || as === 'dict' ? options.map(jsonParam) : [];
        const handle = this.#live();
        if (this.#calls > 0) throw new IxError('the reader is busy with its tree');
        ++this.#generation;
        this.#root = null;
        const load = !as ? ix.ix_reader_parse_any_file.async(handle, file, params, params.length)
            : as === 'object' ? ix.ix_reader_parse_object_file.async(handle, file)
            : as === 'dict' ? ix.ix_reader_parse_file_with_options.async(handle, file, params, params.length)
            : as === 'dlmodel' ? ix.ix_reader_parse_dl_model_file.async(handle, file)
            : ix.ix_reader_parse_object_model_3d_file.async(handle, file);
        const root = await this.#during(load);
        if (this.#destroying) throw new IxError('the reader was destroyed during the load');
        if (!root) throw new IxError(this.lastError || 'the file could not be read');
        this.#root = new Node(this, root, '/');
        return this.#root;
    }

    /** The node at `nodePath` ("/", "/key/[3]", as Node.path gives it), or null. */
    async nodeAt(nodePath) {
        if (!this.#root || typeof nodePath !== 'string' || nodePath.includes('\0')) return null;
        const found = await this.#during(ix.ix_node_at_path.async(this.#root.pointer, nodePath));
        return found ? new Node(this, found, nodePath.startsWith('/') ? nodePath : '/') : null;
    }

    // Saves and conversions run on a handle of their own each, so that several run at once.

    /** Writes the objects of `node` to `file`, the writer chosen by its suffix. */
    async saveObjectAs(node, file) {
        const pointer = this.#own(node);
        await withHandle(async (handle) => {
            if (!(await this.#during(ix.ix_save_object_as.async(handle, pointer, file))))
                throw new IxError(ix.ix_reader_last_error(handle) || 'the node holds no iconic objects');
        });
    }

    /** Writes the objects of `nodes`, in order, to one object file. */
    async saveObjectsAs(nodes, file) {
        const pointers = nodes.map((node) => this.#own(node));
        if (pointers.length === 0) throw new IxError('no nodes to save');
        await withHandle(async (handle) => {
            if (!(await this.#during(ix.ix_save_objects_as.async(handle, pointers, pointers.length, file))))
                throw new IxError(ix.ix_reader_last_error(handle) || 'the first node holds no iconic objects');
        });
    }

    /** Converts the dictionary file `input` into `output` (JSON when it ends in .json). The tree stays. */
    async convertDictFile(input, output, ignoreNonSerializable = false) {
        await withHandle(async (handle) => {
            if (!(await ix.ix_reader_convert_dict_file.async(handle, input, output, ignoreNonSerializable ? 1 : 0)))
                throw new IxError(ix.ix_reader_last_error(handle) || 'the file could not be converted');
        });
    }

    /** Gives the handle and its tree back; at once, or when the calls in flight have returned. */
    destroy() {
        this.#destroying = true;
        ++this.#generation;
        this.#root = null;
        this.#release();
    }

    // A call on a worker thread that uses the tree: the handle outlives it.
    async _during(promise) {
        return this.#during(promise);
    }

    async #during(promise) {
        ++this.#calls;
        try {
            return await promise;
        } finally {
            --this.#calls;
            this.#release();
        }
    }

    #release() {
        if (this.#destroying && this.#calls === 0 && this.#handle) {
            ix.ix_reader_destroy(this.#handle);
            this.#handle = null;
        }
    }

    #live() {
        if (!this.#handle || this.#destroying) throw new StaleNodeError('the reader was destroyed');
        return this.#handle;
    }

    #own(node) {
        if (!(node instanceof Node) || node.reader !== this) throw new IxError('the node does not belong to this reader');
        return node.pointer;
    }

    _isCurrent(generation) {
        return generation === this.#generation && !this.#destroying;
    }

    get _generation() {
        return this.#generation;
    }
}

// Runs `work(handle)` on a handle of its own, destroyed afterwards: texts and
// messages of calls on worker threads never meet.
async function withHandle(work) {
    const handle = ix.ix_reader_create();
    if (!handle) throw new IxError('the library found no memory for a reader');
    try {
        return await work(handle);
    } finally {
        ix.ix_reader_destroy(handle);
    }
}

export class Node {
    #reader;
    #pointer;
    #generation;

    constructor(reader, pointer, nodePath = null) {
        this.#reader = reader;
        this.#pointer = pointer;
        this.#generation = reader._generation;
        /** The path from the root ("/", "/key/[3]"), when the node was reached from it. */
        this.path = nodePath;
    }

    get reader() {
        return this.#reader;
    }

    /** The library's pointer; StaleNodeError once the reader is destroyed or loaded again. */
    get pointer() {
        if (!this.#reader._isCurrent(this.#generation)) throw new StaleNodeError("the node's reader was destroyed or loaded again");
        return this.#pointer;
    }

    get label() { return ix.ix_node_label(this.pointer); }
    get kind() { return nodeKindName(ix.ix_node_kind(this.pointer)); }
    get typeLabel() { return ix.ix_node_type_label(this.pointer); }
    get valueSummary() { return ix.ix_node_value_summary(this.pointer); }
    get pathSegment() { return ix.ix_node_path_segment(this.pointer); }
    get childCount() { return ix.ix_node_child_count(this.pointer); }
    get totalCount() { return ix.ix_node_total_count(this.pointer); }
    get truncated() { return ix.ix_node_truncated(this.pointer) === 1; }
    get objectClass() { return ix.ix_node_object_class(this.pointer); }
    get isImage() { return ix.ix_node_is_image(this.pointer) === 1; }
    get objectCount() { return ix.ix_node_object_count(this.pointer); }

    /**
     * The values a value node holds (at most its first 1000, see totalCount):
     * strings, integers (a Number, or a BigInt beyond 2^53) and reals.
     */
    get values() {
        const pointer = this.pointer;
        return Array.from({ length: ix.ix_node_value_count(pointer) }, (_, i) => {
            const type = ix.ix_node_value_type_at(pointer, i);
            return type === 1 ? ix.ix_node_value_int_at(pointer, i) : type === 2 ? ix.ix_node_value_real_at(pointer, i)
                : ix.ix_node_value_string_at(pointer, i);
        });
    }

    get detailLines() {
        const pointer = this.pointer;
        return Array.from({ length: ix.ix_node_detail_line_count(pointer) }, (_, i) => ix.ix_node_detail_line_at(pointer, i));
    }

    /** The child at `index`, or null. */
    child(index) {
        const found = ix.ix_node_child_at(this.pointer, index);
        if (!found) return null;
        const segment = ix.ix_node_path_segment(found);
        return new Node(this.#reader, found, this.path === null ? null : (this.path === '/' ? '/' : this.path + '/') + segment);
    }

    /**
     * The node at `relative` below this one ("/key", "/key/[0]"), or null. On the
     * calling thread: for a few steps through small dictionaries; a path from the
     * root, which may search long lists, goes through Reader.nodeAt.
     */
    at(relative) {
        if (typeof relative !== 'string' || relative.includes('\0')) return null;
        const found = ix.ix_node_at_path(this.pointer, relative);
        return found ? new Node(this.#reader, found, this.path === null ? null : (this.path === '/' ? '' : this.path) + relative) : null;
    }

    /**
     * The position of `node` among this node's children, or -1: a search (an
     * entry's position is in its path). The library builds children 256 at a
     * time when first asked for; each block is built on a worker thread, then
     * looked through here.
     */
    async indexOf(node) {
        const pointer = this.pointer, wanted = koffi.address(node.pointer), count = ix.ix_node_child_count(pointer);
        for (let start = 0; start < count; start += 256) {
            await this.#reader._during(ix.ix_node_child_at.async(pointer, start));
            for (let i = start, end = Math.min(count, start + 256); i < end; ++i)
                if (koffi.address(ix.ix_node_child_at(pointer, i)) === wanted) return i;
        }
        return -1;
    }

    /** The children from `from` on, at most `count`. */
    children(from = 0, count = Infinity) {
        const end = Math.min(this.childCount, from + count);
        const list = [];
        for (let i = from; i < end; ++i) list.push(this.child(i));
        return list.filter(Boolean);
    }

    /**
     * The untruncated value text of a value node, held on a handle of its own
     * until release(): { length, part(from, count), release() }. The text may be
     * longer than a JavaScript string can be; part() decodes only what it is asked for.
     */
    async holdFullText() {
        const handle = ix.ix_reader_create();
        if (!handle) throw new IxError('the library found no memory for a reader');
        let text, length;
        try {
            text = await this.#reader._during(ix.ix_node_full_value_text.async(handle, this.pointer));
            length = text ? Number(await wcslen.async(text)) : 0;
        } catch (error) {
            ix.ix_reader_destroy(handle);
            throw error;
        }
        let held = true;
        return {
            length,
            part: (from = 0, count = length) => {
                if (!held) throw new IxError('the text was released');
                const start = Math.min(Math.max(0, from), length);
                return textAt(text, start, Math.min(count, length - start));
            },
            release: () => {
                if (held) ix.ix_reader_destroy(handle);
                held = false;
            },
        };
    }

    /** `count` characters of the full value text from `from` on: { text, length } with the whole text's length. */
    async fullText(from = 0, count = Infinity) {
        const held = await this.holdFullText();
        try {
            return { text: held.part(from, count), length: held.length };
        } finally {
            held.release();
        }
    }

    /** Calls `extract(handle, pointer, ...outputs)` on a worker thread; IxError with the library's message on 0. */
    async #extract(fn, args, outputs, failure) {
        return withHandle(async (handle) => {
            const ok = await this.#reader._during(fn.async(handle, this.pointer, ...args, ...outputs));
            if (!ok) throw new IxError(ix.ix_reader_last_error(handle) || failure);
            return outputs.map((o) => (Array.isArray(o) ? o[0] : o)); // a record is filled in place
        });
    }

    // Arrays of the library copied out and released, whatever happens in between.
    static #taken(type, pointers, copy) {
        try {
            return copy();
        } finally {
            for (const p of pointers) if (p) free[type](p);
        }
    }

    /** Image `index` as it is: { pixelType, width, height, channels, bytesPerValue, domainIsFull }. */
    imageInfo(index = 0) {
        return withHandleSync((handle) => {
            const info = {};
            if (!ix.ix_image_info(handle, this.pointer, index, info))
                throw new IxError(ix.ix_reader_last_error(handle) || `no image at index ${index}`);
            return { ...info, pixelType: PixelType[info.pixelType] ?? '', domainIsFull: info.domainIsFull === 1 };
        });
    }

    /** The channel count of image `index`, or -1. */
    imageChannelCount(index = 0) {
        return withHandleSync((handle) => ix.ix_node_image_channel_count(handle, this.pointer, index));
    }

    /** Image `index` as bytes to draw: { width, height, rowBytes, format ('gray', 'bgr', 'bgra'), pixels }. */
    async extractImage(index = 0) {
        const channels = this.imageChannelCount(index);
        const [width, height, rowBytes, format, pixels] = await this.#extract(ix.ix_extract_image, [index],
            [[0], [0], [0], [0], [null]], channels > 0 ? `an image of ${channels} channels cannot be drawn` : 'the node holds no image that can be drawn');
        return Node.#taken('uint8_t', [pixels], () => ({ width, height, rowBytes, format: PixelFormat[format], pixels: copyOf(pixels, 'uint8_t', height * rowBytes) }));
    }

    /** Every value of image `index` in its own type, channel by channel: { info, values (bytes) }. */
    async imageValues(index = 0) {
        const [info, values] = await this.#extract(ix.ix_extract_image_values, [index], [{}, [null]], 'the node holds no image');
        const described = { ...info, pixelType: PixelType[info.pixelType] ?? '', domainIsFull: info.domainIsFull === 1 };
        const size = info.channels * info.height * info.width * info.bytesPerValue;
        return Node.#taken('uint8_t', [values], () => ({ info: described, values: copyOf(values, 'uint8_t', size) }));
    }

    async #runs(fn, index, failure) {
        const [rows, begins, ends, count] = await this.#extract(fn, [index], [[null], [null], [null], [0]], failure);
        return Node.#taken('int32_t', [rows, begins, ends], () => ({
            rows: copyOf(rows, 'int32_t', count), begins: copyOf(begins, 'int32_t', count), ends: copyOf(ends, 'int32_t', count),
        }));
    }

    /** The runs of region `index`: { rows, begins, ends } (Int32Array, last column inclusive). */
    regionRuns(index = 0) { return this.#runs(ix.ix_extract_region_runs, index, 'the geometry could not be extracted'); }
    /** The domain of image `index` as runs, as regionRuns. */
    imageDomainRuns(index = 0) { return this.#runs(ix.ix_extract_image_domain_runs, index, 'the node holds no image'); }

    async #points(fn, index) {
        const [rows, cols, count] = await this.#extract(fn, [index], [[null], [null], [0]], `no points at index ${index}`);
        return Node.#taken('double', [rows, cols], () => ({ rows: copyOf(rows, 'double', count), cols: copyOf(cols, 'double', count) }));
    }

    /** The points of contour `index`: { rows, cols } (Float64Array). */
    contourPoints(index = 0) { return this.#points(ix.ix_extract_contour_points, index); }
    /** The points of polygon `index`: { rows, cols }. */
    polygonPoints(index = 0) { return this.#points(ix.ix_extract_polygon_points, index); }

    /** The two lines of parallel `index`: [{ rows, cols }, { rows, cols }]. */
    async parallelLines(index = 0) {
        const [rows1, cols1, count1, rows2, cols2, count2] = await this.#extract(ix.ix_extract_parallel_lines, [index],
            [[null], [null], [0], [null], [null], [0]], `no parallel at index ${index}`);
        return Node.#taken('double', [rows1, cols1, rows2, cols2], () => [
            { rows: copyOf(rows1, 'double', count1), cols: copyOf(cols1, 'double', count1) },
            { rows: copyOf(rows2, 'double', count2), cols: copyOf(cols2, 'double', count2) },
        ]);
    }

    /** The 3D object model's points in metres: { points (x, y, z each), normals or null, count }. */
    async modelPoints() {
        const [points, normals, count] = await this.#extract(ix.ix_extract_model_points, [], [[null], [null], [0]], 'the node holds no 3D object model');
        return Node.#taken('float', [points, normals], () => ({
            points: copyOf(points, 'float', 3 * count), normals: normals ? copyOf(normals, 'float', 3 * count) : null, count,
        }));
    }

    /** The 3D object model's faces: { triangles (3 indices each), polygons (one Int32Array each) }. */
    async modelFaces() {
        const [triangles, triangleCount, indices, starts, polygonCount] = await this.#extract(ix.ix_extract_model_faces, [],
            [[null], [0], [null], [null], [0]], 'the node holds no 3D object model');
        return Node.#taken('int32_t', [triangles, indices, starts], () => {
            const bounds = copyOf(starts, 'int32_t', polygonCount + 1);
            const every = copyOf(indices, 'int32_t', bounds.length ? bounds[bounds.length - 1] : 0);
            const polygons = Array.from({ length: polygonCount }, (_, k) => every.subarray(bounds[k], bounds[k + 1]));
            return { triangles: copyOf(triangles, 'int32_t', 3 * triangleCount), polygons };
        });
    }
}

// As withHandle, for the quick calls made on the main thread.
function withHandleSync(work) {
    const handle = ix.ix_reader_create();
    if (!handle) throw new IxError('the library found no memory for a reader');
    try {
        return work(handle);
    } finally {
        ix.ix_reader_destroy(handle);
    }
}

export { koffi };
