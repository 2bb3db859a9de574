// The viewer's server: node:http, the library in process, one static page.
//   node server.mjs [--port N]   (port 0 or none: a free port; the URL is printed)
// It holds the user's files, so it answers only its own page: a request must name
// this server as its Host, come from no other origin, and, for the API, carry the
// token of this launch (a cookie set when the printed URL is opened).
import http from 'node:http';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { ix, koffi, LoadKind, PixelFormat, jsonParam, takeBuffer, projectRoot } from './ixadapter.mjs';
import { datasetSample, datasetSummary, modelCard } from './learning.mjs';
import { ARRAY, CONTAINER, OBJECT, VALUE, nodeKindName } from './public/kinds.mjs';

const publicDir = path.join(projectRoot, 'viewer/public');

// The open files: one reader handle each, destroyed when the file is closed or replaced.
const documents = new Map();
let nextId = 1;

class HttpError extends Error {
    constructor(status, message) {
        super(message);
        this.status = status;
    }
}

function libraryError(reader, fallback) {
    return ix.ix_reader_last_error(reader) || fallback;
}

function resolveFile(file, folder = projectRoot) {
    if (typeof file !== 'string' || file === '' || file.includes('\0')) throw new HttpError(400, 'no file named');
    return path.resolve(folder, file);
}

// A file to write: relative to the open file's folder; an existing one is replaced only when asked to.
function writeTarget(doc, to, overwrite) {
    const target = resolveFile(to, doc.folder);
    if (overwrite !== true && fs.existsSync(target)) throw new HttpError(409, `${target} already exists`);
    return target;
}

function closeDocument(id) {
    const doc = documents.get(id);
    if (!doc) return false;
    documents.delete(id);
    ix.ix_reader_destroy(doc.reader);
    return true;
}

function openDocument({ file, as, options = [], replace }) {
    if (replace !== undefined) closeDocument(Number(replace));
    const fullPath = resolveFile(file);
    if (as && !LoadKind.includes(as))
        throw new HttpError(400, `unknown kind of load "${as}"`);
    if (!Array.isArray(options) || !options.every((o) => o !== null && typeof o === 'object'))
        throw new HttpError(400, 'the reading options are not a list of { key, value }');
    const params = !as || as === 'dict' ? options.map(jsonParam) : [];
    const reader = ix.ix_reader_create();
    const started = performance.now();
    // Without `as`, the library chooses the load by the file's content.
    let root = null;
    if (!as) root = ix.ix_reader_parse_any_file(reader, fullPath, params, params.length);
    else if (as === 'object') root = ix.ix_reader_parse_object_file(reader, fullPath);
    else if (as === 'dict') root = ix.ix_reader_parse_file_with_options(reader, fullPath, params, params.length);
    else if (as === 'dlmodel') root = ix.ix_reader_parse_dl_model_file(reader, fullPath);
    else root = ix.ix_reader_parse_object_model_3d_file(reader, fullPath);
    const kind = LoadKind[ix.ix_reader_last_load_kind(reader)];
    const loadMs = performance.now() - started;
    if (!root) {
        const message = libraryError(reader, 'the file could not be read');
        ix.ix_reader_destroy(reader);
        throw new HttpError(422, message);
    }
    const id = nextId++;
    const doc = { id, file, fullPath, folder: path.dirname(fullPath), kind, reader, root, nodes: new Map([['/', root]]) };
    documents.set(id, doc);
    return { id, file, kind, folder: doc.folder, loadMs, root: describe(doc, root, '/'), children: childPage(doc, '/') };
}

// A whole number in the query, `fallback` when it is absent.
function integerParam(query, name, fallback) {
    const text = query.get(name);
    if (text === null || text === '') return fallback;
    const value = Number(text);
    if (!Number.isInteger(value) || value < 0 || value > 0x7fffffff) throw new HttpError(400, `${name}=${text} is not an index`);
    return value;
}

function documentOf(query) {
    const doc = documents.get(Number(query.get('doc')));
    if (!doc) throw new HttpError(404, 'no such open file');
    return doc;
}

// A child's path: its parent's and the segment the library escapes.
function childPath(parent, child) {
    return (parent === '/' ? '/' : parent + '/') + ix.ix_node_path_segment(child);
}

function children(doc, parentPath, parent, from = 0, count = Infinity, total = ix.ix_node_child_count(parent)) {
    const list = [];
    const end = Math.min(total, from + count);
    for (let i = from; i < end; ++i) {
        const child = ix.ix_node_child_at(parent, i);
        const childPathText = childPath(parentPath, child);
        doc.nodes.set(childPathText, child);
        list.push({ node: child, path: childPathText });
    }
    return list;
}

// A page of a node's children as the page shows them: a long list comes in parts.
const pageSize = 500;
function childPage(doc, parentPath, from = 0) {
    const parent = nodeAt(doc, parentPath);
    const total = ix.ix_node_child_count(parent);
    return { total, from, children: children(doc, parentPath, parent, from, pageSize, total).map((c) => describe(doc, c.node, c.path)) };
}

// The node at `nodePath` ("/", "/key/[3]"), as the library finds it.
function nodeAt(doc, nodePath) {
    let node = doc.nodes.get(nodePath);
    if (!node) {
        node = ix.ix_node_at_path(doc.root, nodePath);
        if (!node) throw new HttpError(404, `no node at ${nodePath}`);
        doc.nodes.set(nodePath, node);
    }
    return node;
}

function describe(doc, node, nodePath) {
    const kind = nodeKindName(ix.ix_node_kind(node));
    const info = {
        path: nodePath,
        label: ix.ix_node_label(node),
        kind,
        type: ix.ix_node_type_label(node),
        summary: ix.ix_node_value_summary(node),
        childCount: ix.ix_node_child_count(node),
        details: [],
    };
    for (let i = 0, n = ix.ix_node_detail_line_count(node); i < n; ++i) info.details.push(ix.ix_node_detail_line_at(node, i));
    if (kind === OBJECT) {
        info.objectClass = ix.ix_node_object_class(node);
        info.objectCount = ix.ix_node_object_count(node);
        info.isImage = ix.ix_node_is_image(node) === 1;
    }
    if (kind === VALUE) {
        info.totalCount = ix.ix_node_total_count(node);
        info.truncated = ix.ix_node_truncated(node) === 1;
    }
    return info;
}

// The names of the library's pixel types (IX_PIXEL_TYPE_*); other types than byte
// reach the page spread over 0..255 by their minimum and maximum.
const pixelTypeNames = ['', 'byte', 'int1', 'uint2', 'int2', 'int4', 'int8', 'real', 'complex', 'direction', 'cyclic',
    'vector_field'];
function pixelTypeOf(doc, node, index) {
    const info = {};
    return ix.ix_image_info(doc.reader, node, index, info) ? pixelTypeNames[info.pixelType] ?? '' : '';
}

// The pixels of image `index` of a node, raw, with their layout in headers.
function sendImage(res, doc, node, index) {
    const out = [[0], [0], [0], [0], [null]];
    if (!ix.ix_extract_image(doc.reader, node, index, ...out)) {
        const message = ix.ix_reader_last_error(doc.reader);
        const channels = ix.ix_node_image_channel_count(doc.reader, node, index);
        throw new HttpError(422, message || (channels > 0 ? `an image of ${channels} channels cannot be drawn`
                                                          : 'the node holds no image that can be drawn'));
    }
    const [[width], [height], [rowBytes], [format], [pixels]] = out;
    let body;
    try {
        body = Buffer.from(new Uint8Array(koffi.view(pixels, height * rowBytes))); // a copy
    } finally {
        ix.ix_free_buffer(pixels);
    }
    res.writeHead(200, {
        'Content-Type': 'application/octet-stream',
        'Content-Length': body.length,
        'X-Width': width,
        'X-Height': height,
        'X-Row-Bytes': rowBytes,
        'X-Format': PixelFormat[format],
        'X-Channels': ix.ix_node_image_channel_count(doc.reader, node, index),
        'X-Pixel-Type': pixelTypeOf(doc, node, index),
    });
    res.end(body);
}

// The values of image `index` of a node in its own pixel type, channel after
// channel (`ix_extract_image_values`), with their layout in headers; the
// library's message (422) for an image whose values it does not hand out.
function sendImageValues(res, doc, node, index) {
    const info = {}, values = [null];
    if (!ix.ix_extract_image_values(doc.reader, node, index, info, values))
        throw new HttpError(422, libraryError(doc.reader, 'the node holds no image'));
    const size = info.channels * info.height * info.width * info.bytesPerValue;
    let body;
    try {
        body = Buffer.from(new Uint8Array(koffi.view(values[0], size))); // a copy
    } finally {
        ix.ix_free_buffer(values[0]);
    }
    res.writeHead(200, {
        'Content-Type': 'application/octet-stream',
        'Content-Length': body.length,
        'X-Width': info.width,
        'X-Height': info.height,
        'X-Channels': info.channels,
        'X-Pixel-Type': pixelTypeNames[info.pixelType] ?? '',
        'X-Bytes-Per-Value': info.bytesPerValue,
        'X-Domain-Full': info.domainIsFull ? 1 : 0,
    });
    res.end(body);
}

// The domain of image `index` of a node as runs: { rows, begins, ends }.
function imageDomain(doc, node, index) {
    const out = [[null], [null], [null], [0]];
    if (!ix.ix_extract_image_domain_runs(doc.reader, node, index, ...out))
        throw new HttpError(422, libraryError(doc.reader, 'the node holds no image'));
    const count = out[3][0];
    const [rows, begins, ends] = out.slice(0, 3).map(([p]) => Array.from(takeBuffer(p, 'int32_t', count, ix.ix_free_int_buffer)));
    return { rows, begins, ends };
}

function lineOf(rows, cols) {
    return { rows: Array.from(rows), cols: Array.from(cols) };
}

// The geometry of object `index` of a node; null for objects that are not geometry.
function shapeOf(doc, node, index) {
    const objectClass = ix.ix_node_object_class(node);
    const reader = doc.reader;
    const failed = () => { throw new HttpError(422, libraryError(reader, 'the geometry could not be extracted')); };
    if (objectClass === 'region') {
        const out = [[null], [null], [null], [0]];
        if (!ix.ix_extract_region_runs(reader, node, index, ...out)) failed();
        const count = out[3][0];
        const rows = takeBuffer(out[0][0], 'int32_t', count, ix.ix_free_int_buffer);
        const begins = takeBuffer(out[1][0], 'int32_t', count, ix.ix_free_int_buffer);
        const ends = takeBuffer(out[2][0], 'int32_t', count, ix.ix_free_int_buffer);
        return { class: 'region', runs: { rows: Array.from(rows), begins: Array.from(begins), ends: Array.from(ends) } };
    }
    if (objectClass === 'xld_cont' || objectClass === 'xld_poly') {
        const out = [[null], [null], [0]];
        const extract = objectClass === 'xld_cont' ? ix.ix_extract_contour_points : ix.ix_extract_polygon_points;
        if (!extract(reader, node, index, ...out)) failed();
        const count = out[2][0];
        const rows = takeBuffer(out[0][0], 'double', count, ix.ix_free_double_buffer);
        const cols = takeBuffer(out[1][0], 'double', count, ix.ix_free_double_buffer);
        return { class: objectClass, lines: [lineOf(rows, cols)] };
    }
    if (objectClass === 'xld_parallel') {
        const out = [[null], [null], [0], [null], [null], [0]];
        if (!ix.ix_extract_parallel_lines(reader, node, index, ...out)) failed();
        const rows1 = takeBuffer(out[0][0], 'double', out[2][0], ix.ix_free_double_buffer);
        const cols1 = takeBuffer(out[1][0], 'double', out[2][0], ix.ix_free_double_buffer);
        const rows2 = takeBuffer(out[3][0], 'double', out[5][0], ix.ix_free_double_buffer);
        const cols2 = takeBuffer(out[4][0], 'double', out[5][0], ix.ix_free_double_buffer);
        return { class: 'xld_parallel', lines: [lineOf(rows1, cols1), lineOf(rows2, cols2)] };
    }
    return null;
}

// The drawing rule, shared with ixdump --render: which nodes draw whose objects over what.
const drawingRule = JSON.parse(fs.readFileSync(path.join(publicDir, 'drawing.json'), 'utf8'));
const geometryClasses = new Set(['region', 'xld_cont', 'xld_poly', 'xld_parallel']);

function drawingCase(node) {
    const kind = nodeKindName(ix.ix_node_kind(node));
    const covered = kind === CONTAINER || kind === ARRAY ? 'container'
        : kind !== OBJECT ? null
        : ix.ix_node_is_image(node) === 1 ? 'image'
        : geometryClasses.has(ix.ix_node_object_class(node)) ? 'geometry' : null;
    return drawingRule.cases.find((c) => c.node === covered) ?? null;
}

// What to draw for a node by the drawing rule: the image to draw over (a path),
// the shapes, and whether the shapes go on a backdrop of their extent instead.
function scene(doc, nodePath) {
    const node = nodeAt(doc, nodePath);
    const rule = drawingCase(node);
    const objectsOf = (p, n) => children(doc, p, n, 0, drawingRule.maxChildren).filter((c) => nodeKindName(ix.ix_node_kind(c.node)) === OBJECT);
    const firstImage = (list) => list.find((o) => ix.ix_node_is_image(o.node) === 1)?.path ?? null;
    const objects = !rule ? [] : rule.draws === 'self' ? [{ node, path: nodePath }] : objectsOf(nodePath, node);
    const shapes = [];
    for (const object of objects) {
        if (ix.ix_node_is_image(object.node) === 1) continue;
        for (let i = 0; i < ix.ix_node_object_count(object.node); ++i) {
            const shape = shapeOf(doc, object.node, i);
            if (shape) shapes.push({ ...shape, path: object.path, index: i });
        }
    }
    let image = null, extent = false;
    for (const over of rule?.over ?? []) {
        if (over === 'self' && ix.ix_node_is_image(node) === 1) image = nodePath;
        if (over === 'children') image = firstImage(objects);
        if (over === 'siblings' && nodePath !== '/') {
            const parentPath = nodePath.slice(0, nodePath.lastIndexOf('/')) || '/';
            image = firstImage(objectsOf(parentPath, nodeAt(doc, parentPath)));
        }
        extent = over === 'extent';
        if (image || extent) break;
    }
    return { image, extent, shapes: image || extent ? shapes : [] };
}

// The page's navigation, answered by one function:
//   GET /api/locate?doc&path  -> { path, steps: [{ path, index }] }: each node from the root's
//     child down to the node at `path`, with its position in its parent (the page loads the
//     part of a long list that holds it);
//   GET /api/table?doc&path&from&count -> a tuple's values, an array's entries or a matrix's
//     rows, `count` (at most 1000) from `from`: { shape, header, total, available, from, rows,
//     stats }; stats { count, min, max, mean } over every value of a tuple of numbers or a matrix.
function navigation(route, doc, query) {
    const nodePath = query.get('path') || '/';
    const node = nodeAt(doc, nodePath);
    if (route === 'GET /api/locate') {
        const steps = [];
        let parentPath = '/';
        for (const segment of nodePath.split('/').filter((s) => s !== '')) {
            const parent = nodeAt(doc, parentPath);
            const n = ix.ix_node_child_count(parent);
            const isAt = (i) => ix.ix_node_path_segment(ix.ix_node_child_at(parent, i)) === segment;
            // "[i]" is the entry at i; a key is looked for among the entries.
            const position = Number(/^\[(\d+)\]$/.exec(segment)?.[1] ?? -1);
            let index = position >= 0 && position < n && isAt(position) ? position : -1;
            for (let i = 0; i < n && index < 0; ++i) if (isAt(i)) index = i;
            if (index < 0) throw new HttpError(404, `no node at ${nodePath}`);
            parentPath = childPath(parentPath, ix.ix_node_child_at(parent, index));
            steps.push({ path: parentPath, index });
        }
        return { path: steps.at(-1)?.path ?? '/', steps };
    }
    const from = integerParam(query, 'from', 0);
    const count = Math.min(integerParam(query, 'count', 100), 1000);
    const kind = nodeKindName(ix.ix_node_kind(node));
    const statsOf = (numbers) => {
        if (!numbers.length || numbers.some(Number.isNaN)) return null;
        let min = Infinity, max = -Infinity, sum = 0;
        for (const v of numbers) {
            if (v < min) min = v;
            if (v > max) max = v;
            sum += v;
        }
        return { count: numbers.length, min, max, mean: sum / numbers.length };
    };
    // The whole node read once: the last table asked for is kept, so paging
    // through a tuple of a million values parses its text once.
    const tableOf = () => {
        if (kind === VALUE) {
            const total = ix.ix_node_total_count(node);
            let texts;
            // Strings are always quoted in the full text: without a quote it is numbers and ", ".
            const full = ix.ix_node_full_value_text(doc.reader, node);
            if (!full.includes("'")) {
                texts = total === 0 ? [] : (full.startsWith('[') ? full.slice(1, -1) : full).split(', ');
            } else {
                // A tuple with strings: the values the node holds, by their types.
                texts = [];
                for (let i = 0, n = ix.ix_node_value_count(node); i < n; ++i) {
                    const type = ix.ix_node_value_type_at(node, i);
                    texts.push(type === 0 ? `'${ix.ix_node_value_string_at(node, i)}'`
                        : type === 1 ? String(ix.ix_node_value_int_at(node, i)) : String(ix.ix_node_value_real_at(node, i)));
                }
            }
            const stats = statsOf(texts.map((text) => (text.startsWith("'") ? NaN : Number(text))));
            return { shape: 'tuple', header: ['value'], total, available: texts.length, stats,
                     rowsAt: (f, c) => texts.slice(f, f + c).map((text) => [text]) };
        }
        if (kind === ARRAY) {
            // An array's entries are nodes of their own: only the page asked for is built.
            const total = ix.ix_node_child_count(node);
            return { shape: 'array', header: ['type', 'value'], total, available: total, stats: null,
                     rowsAt: (f, c) => children(doc, nodePath, node, f, c)
                         .map((e) => [ix.ix_node_type_label(e.node), ix.ix_node_value_summary(e.node)]) };
        }
        if (ix.ix_node_object_class(node) === 'matrix') {
            const rows = [];
            for (let i = 0, n = ix.ix_node_detail_line_count(node); i < n; ++i)
                rows.push(ix.ix_node_detail_line_at(node, i).replace(/^\[\s*|\s*\]$/g, '').split(/\s+/).filter(Boolean));
            return { shape: 'matrix', header: (rows[0] ?? []).map((_, k) => String(k)), total: rows.length,
                     available: rows.length, stats: statsOf(rows.flat().map(Number)), rowsAt: (f, c) => rows.slice(f, f + c) };
        }
        throw new HttpError(422, `a ${ix.ix_node_type_label(node)} node has no table`);
    };
    if (doc.table?.node !== node) doc.table = { node, ...tableOf() };
    const { shape, header, total, available, stats, rowsAt } = doc.table;
    return { shape, header, total, available, from, rows: rowsAt(from, count), stats };
}

// A 3D object model's points and faces for drawing, as one binary body in the
// machine's byte order: float32 x, y, z of each point sent, then (X-Normals: 1)
// float32 x, y, z of their normals, then uint32 point indices, three per triangle,
// then the polygons as uint32 starts (polygons sent + 1) and indices. Beyond `max`
// points only every k-th point is sent (X-Point-Stride: k), and only the faces
// whose corners are all among them; beyond `max` triangles or polygons, every
// k-th of those. The counts, sent and in the model, and the model's bounding box
// (all its points) are headers.
function sendModel(res, doc, query) {
    const node = nodeAt(doc, query.get('path') || '/');
    const max = Math.max(1, integerParam(query, 'max', 1_000_000));
    const reader = doc.reader;
    const failed = () => { throw new HttpError(422, libraryError(reader, 'the node holds no 3D object model')); };
    const view = (pointer, type, count) => (pointer && count > 0 ? new type(koffi.view(pointer, count * 4)) : new type(0));
    const pts = [[null], [null], [0]];
    if (!ix.ix_extract_model_points(reader, node, ...pts)) failed();
    const [[pointsPtr], [normalsPtr], [total]] = pts;
    const faces = [[null], [0], [null], [null], [0]];
    let points, normals = null, bounds = [0, 0, 0, 0, 0, 0];
    const stride = Math.max(1, Math.ceil(total / max));
    const sent = Math.ceil(total / stride);
    try {
        const all = view(pointsPtr, Float32Array, total * 3);
        const lo = [Infinity, Infinity, Infinity], hi = [-Infinity, -Infinity, -Infinity];
        for (let i = 0; i < total; ++i) {
            for (let a = 0; a < 3; ++a) {
                const v = all[i * 3 + a];
                if (v < lo[a]) lo[a] = v;
                if (v > hi[a]) hi[a] = v;
            }
        }
        if (lo.every(Number.isFinite)) bounds = [...lo, ...hi]; // none for a model of no (finite) points
        const thin = (from, to) => {
            for (let k = 0, i = 0; k < sent * 3; k += 3, i += stride * 3) {
                to[k] = from[i];
                to[k + 1] = from[i + 1];
                to[k + 2] = from[i + 2];
            }
            return to;
        };
        points = thin(all, new Float32Array(sent * 3));
        if (normalsPtr) normals = thin(view(normalsPtr, Float32Array, total * 3), new Float32Array(sent * 3));
    } finally {
        if (pointsPtr) ix.ix_free_float_buffer(pointsPtr);
        if (normalsPtr) ix.ix_free_float_buffer(normalsPtr);
    }
    if (!ix.ix_extract_model_faces(reader, node, ...faces)) failed();
    const [[trianglesPtr], [triangleCount], [indicesPtr], [startsPtr], [polygonCount]] = faces;
    // A corner's index among the points sent; -1 for a point left out (or none of the model's).
    const corner = (i) => (i >= 0 && i < total && i % stride === 0 ? i / stride : -1);
    let triangles, polygonStarts = [0], polygonIndices;
    try {
        const all = view(trianglesPtr, Int32Array, triangleCount * 3);
        const step = Math.max(1, Math.ceil(triangleCount / max));
        triangles = new Uint32Array(Math.ceil(triangleCount / step) * 3);
        let kept = 0;
        for (let t = 0; t < triangleCount; t += step) {
            const a = corner(all[t * 3]), b = corner(all[t * 3 + 1]), c = corner(all[t * 3 + 2]);
            if (a < 0 || b < 0 || c < 0) continue;
            triangles[kept++ * 3] = a;
            triangles[kept * 3 - 2] = b;
            triangles[kept * 3 - 1] = c;
        }
        triangles = triangles.subarray(0, kept * 3);
        const starts = view(startsPtr, Int32Array, polygonCount + 1);
        const indices = view(indicesPtr, Int32Array, polygonCount > 0 ? starts[polygonCount] : 0);
        const step2 = Math.max(1, Math.ceil(polygonCount / max));
        polygonIndices = new Uint32Array(indices.length);
        let length = 0;
        for (let p = 0; p < polygonCount; p += step2) {
            const corners = Array.from(indices.subarray(starts[p], starts[p + 1]), corner);
            if (corners.length < 2 || corners.some((c) => c < 0)) continue;
            polygonIndices.set(corners, length);
            polygonStarts.push(length += corners.length);
        }
        polygonIndices = polygonIndices.subarray(0, length);
    } finally {
        for (const pointer of [trianglesPtr, indicesPtr, startsPtr]) if (pointer) ix.ix_free_int_buffer(pointer);
    }
    const parts = [points, normals, triangles, new Uint32Array(polygonStarts), polygonIndices];
    const body = Buffer.concat(parts.filter(Boolean).map((a) => Buffer.from(a.buffer, a.byteOffset, a.byteLength)));
    res.writeHead(200, {
        'Content-Type': 'application/octet-stream',
        'Content-Length': body.length,
        'X-Point-Count': total,
        'X-Points-Sent': sent,
        'X-Point-Stride': stride,
        'X-Normals': normals ? 1 : 0,
        'X-Triangle-Count': triangleCount,
        'X-Triangles-Sent': triangles.length / 3,
        'X-Polygon-Count': polygonCount,
        'X-Polygons-Sent': polygonStarts.length - 1,
        'X-Bounds': bounds.join(','),
    });
    res.end(body);
}

// One request saves at most this many nodes, each once: a short body must not write gigabytes.
const maxSavedNodes = 1000;

function save(doc, { paths, to, overwrite }) {
    if (!Array.isArray(paths) || paths.length === 0) throw new HttpError(400, 'no node to save');
    if (!paths.every((p) => typeof p === 'string')) throw new HttpError(400, 'a node path is not a string');
    if (paths.length > maxSavedNodes) throw new HttpError(400, `at most ${maxSavedNodes} nodes are saved at once`);
    const single = paths.length === 1 && paths[0] !== '/';
    if (!single && path.extname(String(to)).toLowerCase() !== '.hobj')
        throw new HttpError(400, 'several objects are saved as one object file: name it .hobj');
    // A file's root stands for its objects.
    const picked = paths.flatMap((p) => (p === '/' ? children(doc, '/', nodeAt(doc, '/')) : [{ path: p, node: nodeAt(doc, p) }]));
    if (new Set(picked.map((p) => p.path)).size !== picked.length) throw new HttpError(400, 'a node is named more than once');
    const target = writeTarget(doc, to, overwrite);
    let saved;
    if (single) {
        saved = ix.ix_save_object_as(doc.reader, picked[0].node, target);
    } else {
        const nodes = picked.map((p) => p.node).filter((n) => nodeKindName(ix.ix_node_kind(n)) === OBJECT);
        if (nodes.length === 0) throw new HttpError(422, 'no iconic objects to save');
        saved = ix.ix_save_objects_as(doc.reader, nodes, nodes.length, target);
    }
    if (!saved) throw new HttpError(422, libraryError(doc.reader, 'the selection holds no iconic objects'));
    return { saved: target };
}

function convert(doc, { to, ignoreNonSerializable, overwrite }) {
    const target = writeTarget(doc, to, overwrite);
    const reader = ix.ix_reader_create();
    try {
        if (!ix.ix_reader_convert_dict_file(reader, doc.fullPath, target, ignoreNonSerializable ? 1 : 0))
            throw new HttpError(422, libraryError(reader, 'the file could not be converted'));
        return { converted: target };
    } finally {
        ix.ix_reader_destroy(reader);
    }
}

function listing(dir) {
    const full = resolveFile(dir || 'samples');
    let entries;
    try {
        entries = fs.readdirSync(full, { withFileTypes: true });
    } catch (error) {
        throw new HttpError(404, `${dir}: ${error.code === 'ENOENT' ? 'no such folder' : error.message}`);
    }
    const relative = path.relative(projectRoot, full) || '.';
    return {
        dir: relative,
        entries: entries.filter((e) => !e.name.startsWith('.'))
            .map((e) => ({ name: e.name, path: path.join(relative, e.name), dir: e.isDirectory() }))
            .sort((a, b) => (b.dir - a.dir) || a.name.localeCompare(b.name)),
    };
}

// A request body is a few paths and options; a longer one is refused before it fills the memory.
const maxBodyBytes = 1 << 20;
async function readJson(req) {
    const chunks = [];
    let size = 0;
    for await (const chunk of req) {
        size += chunk.length;
        if (size > maxBodyBytes) throw new HttpError(413, 'the request is too long');
        chunks.push(chunk);
    }
    let value;
    try {
        value = JSON.parse(Buffer.concat(chunks).toString('utf8') || '{}');
    } catch {
        throw new HttpError(400, 'the request is not JSON');
    }
    if (value === null || typeof value !== 'object' || Array.isArray(value)) throw new HttpError(400, 'the request is not a JSON object');
    return value;
}

function sendJson(res, status, value) {
    const body = JSON.stringify(value);
    res.writeHead(status, { 'Content-Type': 'application/json; charset=utf-8', 'Content-Length': Buffer.byteLength(body) });
    res.end(body);
}

const contentTypes = { '.html': 'text/html; charset=utf-8', '.json': 'application/json', '.mjs': 'text/javascript', '.js': 'text/javascript', '.css': 'text/css' };

function sendStatic(res, pathname) {
    const file = path.join(publicDir, pathname === '/' ? 'index.html' : pathname);
    if (!file.startsWith(publicDir + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile())
        throw new HttpError(404, 'not found');
    const body = fs.readFileSync(file);
    res.writeHead(200, { 'Content-Type': contentTypes[path.extname(file)] ?? 'application/octet-stream' });
    res.end(body);
}

// The headers of a local app, on every answer: only its own scripts, styles and
// frames, nothing cached, nothing told to other sites.
const safetyHeaders = {
    'Content-Security-Policy': "default-src 'self'; img-src 'self' data: blob:; frame-ancestors 'none'; base-uri 'none'; form-action 'self'",
    'X-Content-Type-Options': 'nosniff',
    'Referrer-Policy': 'no-referrer',
    'Cross-Origin-Resource-Policy': 'same-origin',
    'Cache-Control': 'no-store',
};

const digest = (text) => crypto.createHash('sha256').update(String(text)).digest();
// Equal digests, compared in constant time: neither the token nor its length leaks through timing.
const isToken = (text, launch) => typeof text === 'string' && crypto.timingSafeEqual(digest(text), launch.tokenDigest);

function cookieOf(req, name) {
    for (const part of (req.headers.cookie ?? '').split(';')) {
        const cut = part.indexOf('=');
        if (part.slice(0, cut).trim() === name) return part.slice(cut + 1).trim();
    }
    return undefined;
}

// Refuses what does not come from this server's own page: another Host (a DNS name
// rebound to 127.0.0.1), another Origin, and, for the API, a request another site
// started, one without this launch's token, or a POST body that is not JSON (which
// no form and no request without a preflight can send).
function checkRequest(req, url, launch) {
    const host = req.headers.host;
    if (!launch.hosts.includes(host)) throw new HttpError(403, `this server answers only as ${launch.hosts.join(', ')}`);
    const origin = req.headers.origin;
    const site = req.headers['sec-fetch-site'];
    const api = url.pathname.startsWith('/api/');
    const foreign = (origin !== undefined && origin !== `http://${host}`)
        || (api && site !== undefined && !['same-origin', 'none'].includes(site));
    if (foreign) throw new HttpError(403, 'a page of another origin may not use the viewer');
    if (!api) return;
    if (!isToken(cookieOf(req, launch.cookie), launch))
        throw new HttpError(403, "the request lacks this launch's token: open the URL the viewer printed");
    const type = (req.headers['content-type'] ?? '').split(';')[0].trim().toLowerCase();
    if (req.method === 'POST' && type !== 'application/json') throw new HttpError(415, 'a request body must be application/json');
}

// The printed URL: its token becomes a cookie of the page, and the address loses it.
function welcome(res, url, launch) {
    if (!isToken(url.searchParams.get('token'), launch)) throw new HttpError(403, "the token is not this launch's: open the URL the viewer printed");
    res.writeHead(303, { 'Set-Cookie': `${launch.cookie}=${launch.token}; HttpOnly; SameSite=Strict; Path=/`, Location: url.pathname });
    res.end();
}

async function handle(req, res, launch) {
    const url = new URL(req.url, 'http://localhost');
    for (const [name, value] of Object.entries(safetyHeaders)) res.setHeader(name, value);
    checkRequest(req, url, launch);
    const q = url.searchParams;
    const route = `${req.method} ${url.pathname}`;
    switch (route) {
    case 'GET /api/version': return sendJson(res, 200, { version: ix.ix_adapter_halcon_version() });
    case 'GET /api/list': return sendJson(res, 200, listing(q.get('dir')));
    case 'POST /api/open': return sendJson(res, 200, openDocument(await readJson(req)));
    case 'POST /api/close': return sendJson(res, 200, { closed: closeDocument(Number(q.get('doc'))) });
    case 'GET /api/children': {
        const doc = documentOf(q);
        return sendJson(res, 200, childPage(doc, q.get('path') || '/', integerParam(q, 'from', 0)));
    }
    case 'GET /api/full': {
        const doc = documentOf(q);
        return sendJson(res, 200, { text: ix.ix_node_full_value_text(doc.reader, nodeAt(doc, q.get('path') || '/')) });
    }
    case 'GET /api/image': {
        const doc = documentOf(q);
        return sendImage(res, doc, nodeAt(doc, q.get('path') || '/'), integerParam(q, 'index', 0));
    }
    case 'GET /api/values': {
        const doc = documentOf(q);
        return sendImageValues(res, doc, nodeAt(doc, q.get('path') || '/'), integerParam(q, 'index', 0));
    }
    case 'GET /api/domain': {
        const doc = documentOf(q);
        return sendJson(res, 200, imageDomain(doc, nodeAt(doc, q.get('path') || '/'), integerParam(q, 'index', 0)));
    }
    case 'GET /api/scene': {
        const doc = documentOf(q);
        return sendJson(res, 200, scene(doc, q.get('path') || '/'));
    }
    // The deep-learning views: a dataset's summary and samples, a model's card.
    case 'GET /api/dataset': return sendJson(res, 200, datasetSummary(documentOf(q)));
    case 'GET /api/dataset/sample': return sendJson(res, 200, datasetSample(documentOf(q), integerParam(q, 'index', 0)));
    case 'GET /api/modelcard': return sendJson(res, 200, modelCard(documentOf(q)));
    case 'GET /api/locate':
    case 'GET /api/table': return sendJson(res, 200, navigation(route, documentOf(q), q));
    case 'GET /api/model': return sendModel(res, documentOf(q), q);
    case 'POST /api/save': {
        const doc = documentOf(q);
        return sendJson(res, 200, save(doc, await readJson(req)));
    }
    case 'POST /api/convert': {
        const doc = documentOf(q);
        return sendJson(res, 200, convert(doc, await readJson(req)));
    }
    default:
        if (req.method !== 'GET') throw new HttpError(405, 'method not allowed');
        if (q.has('token')) return welcome(res, url, launch);
        return sendStatic(res, url.pathname);
    }
}

// Starts the server on 127.0.0.1; `server.url` is the address to open, with this launch's token.
export async function startServer(port = 0) {
    const token = crypto.randomBytes(32).toString('base64url');
    const launch = { token, tokenDigest: digest(token) };
    const server = http.createServer((req, res) => {
        handle(req, res, launch).catch((error) => {
            if (res.headersSent) return res.destroy();
            if (error.status === 413) res.setHeader('Connection', 'close'); // the rest of the body is not read
            sendJson(res, error.status ?? 500, { error: error.message });
        });
    });
    server.on('close', () => { for (const id of [...documents.keys()]) closeDocument(id); });
    await new Promise((resolve) => server.listen(port, '127.0.0.1', resolve));
    const bound = server.address().port;
    launch.hosts = ['127.0.0.1', 'localhost', '[::1]'].map((name) => `${name}:${bound}`);
    launch.cookie = `ixviewer-${bound}`; // cookies do not tell ports apart; two viewers keep their own
    server.url = `http://127.0.0.1:${bound}/?token=${token}`;
    return server;
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
    const portArg = process.argv.indexOf('--port');
    const server = await startServer(portArg > 0 ? Number(process.argv[portArg + 1]) : 0);
    console.log(`ixadapter viewer: ${server.url}`);
}
