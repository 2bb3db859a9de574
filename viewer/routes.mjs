// The API the page uses, one entry per route: 'METHOD /api/name': handler. A handler
// gets { req, res, query, documents, body() } and answers with send.json / send.binary
// or by returning a value (sent as JSON, status 200); an HttpError becomes the answer
// { error } with its status. Work on a file's tree that may take long (loads, value
// texts, extractions, saves) runs off the request thread, so other requests are
// answered meanwhile.
import fs from 'node:fs';
import path from 'node:path';
import { JsonParamKeys, LoadKind, projectRoot, version, IxError } from './ixadapter.mjs';
import { HttpError, nodeAt, fullTextPart, textPartLength } from './documents.mjs';
import { datasetSample, datasetSummary, modelCard } from './learning.mjs';
import { ARRAY, VALUE } from './public/kinds.mjs';

export const send = {
    json(res, status, value) {
        const body = JSON.stringify(value);
        res.writeHead(status, { 'Content-Type': 'application/json; charset=utf-8', 'Content-Length': Buffer.byteLength(body) });
        res.end(body);
    },
    // Bytes with their layout in headers.
    binary(res, bytes, headers) {
        const body = Buffer.from(bytes.buffer, bytes.byteOffset, bytes.byteLength);
        res.writeHead(200, { 'Content-Type': 'application/octet-stream', 'Content-Length': body.length, ...headers });
        res.end(body);
    },
};

// A whole number in the query, `fallback` when it is absent.
function integerParam(query, name, fallback) {
    const text = query.get(name);
    if (text === null || text === '') return fallback;
    const value = Number(text);
    if (!Number.isInteger(value) || value < 0 || value > 0x7fffffff) throw new HttpError(400, `${name}=${text} is not an index`);
    return value;
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

// The library's refusal of an extraction or a save as the answer 422.
async function library(work) {
    try {
        return await work();
    } catch (error) {
        throw error instanceof IxError ? new HttpError(422, error.message) : error;
    }
}

// The document and node a request names (doc=ID&path=PATH).
async function target({ query, documents }) {
    const doc = documents.get(query.get('doc'));
    return { doc, node: await nodeAt(doc, query.get('path') || '/') };
}

function describe(node) {
    const info = {
        path: node.path, label: node.label, kind: node.kind, type: node.typeLabel, summary: node.valueSummary,
        childCount: node.childCount, details: node.detailLines,
    };
    if (info.kind === 'object') Object.assign(info, { objectClass: node.objectClass, objectCount: node.objectCount, isImage: node.isImage });
    if (info.kind === 'value') Object.assign(info, { totalCount: node.totalCount, truncated: node.truncated });
    return info;
}

// A page of a node's children as the page shows them: a long list comes in parts.
const pageSize = 500;
function childPage(node, from = 0) {
    return { total: node.childCount, from, children: node.children(from, pageSize).map(describe) };
}

// The geometry of object `index` of a node; null for objects that are not geometry.
async function shapeOf(node, index) {
    const line = ({ rows, cols }) => ({ rows: Array.from(rows), cols: Array.from(cols) });
    switch (node.objectClass) {
    case 'region': {
        const { rows, begins, ends } = await node.regionRuns(index);
        return { class: 'region', runs: { rows: Array.from(rows), begins: Array.from(begins), ends: Array.from(ends) } };
    }
    case 'xld_cont': return { class: 'xld_cont', lines: [line(await node.contourPoints(index))] };
    case 'xld_poly': return { class: 'xld_poly', lines: [line(await node.polygonPoints(index))] };
    case 'xld_parallel': return { class: 'xld_parallel', lines: (await node.parallelLines(index)).map(line) };
    default: return null;
    }
}

// The drawing rule, shared with ixdump --render: which nodes draw whose objects over what.
const drawingRule = JSON.parse(fs.readFileSync(path.join(projectRoot, 'viewer/public/drawing.json'), 'utf8'));
const geometryClasses = new Set(['region', 'xld_cont', 'xld_poly', 'xld_parallel']);

function drawingCase(node) {
    const kind = node.kind;
    const covered = kind === 'container' || kind === 'array' ? 'container'
        : kind !== 'object' ? null
        : node.isImage ? 'image'
        : geometryClasses.has(node.objectClass) ? 'geometry' : null;
    return drawingRule.cases.find((c) => c.node === covered) ?? null;
}

// What to draw for a node by the drawing rule: the image to draw over (a path),
// the shapes, and whether the shapes go on a backdrop of their extent instead.
async function scene(doc, nodePath) {
    const node = await nodeAt(doc, nodePath);
    const rule = drawingCase(node);
    const objectsOf = (parent) => parent.children(0, drawingRule.maxChildren).filter((c) => c.kind === 'object');
    const firstImage = (list) => list.find((o) => o.isImage)?.path ?? null;
    const objects = !rule ? [] : rule.draws === 'self' ? [node] : objectsOf(node);
    const shapes = [];
    for (const object of objects) {
        if (object.isImage) continue;
        for (let i = 0; i < object.objectCount; ++i) {
            const shape = await library(() => shapeOf(object, i));
            if (shape) shapes.push({ ...shape, path: object.path, index: i });
        }
    }
    let image = null, extent = false;
    for (const over of rule?.over ?? []) {
        if (over === 'self' && node.isImage) image = nodePath;
        if (over === 'children') image = firstImage(objects);
        if (over === 'siblings' && nodePath !== '/')
            image = firstImage(objectsOf(await nodeAt(doc, nodePath.slice(0, nodePath.lastIndexOf('/')) || '/')));
        extent = over === 'extent';
        if (image || extent) break;
    }
    return { image, extent, shapes: image || extent ? shapes : [] };
}

// One request saves at most this many nodes, each once: a short body must not write gigabytes.
const maxSavedNodes = 1000;

async function save(doc, { paths, to, overwrite }) {
    if (!Array.isArray(paths) || paths.length === 0) throw new HttpError(400, 'no node to save');
    if (!paths.every((p) => typeof p === 'string')) throw new HttpError(400, 'a node path is not a string');
    const tooMany = () => new HttpError(400, `at most ${maxSavedNodes} nodes are saved at once`);
    if (paths.length > maxSavedNodes) throw tooMany();
    const single = paths.length === 1 && paths[0] !== '/';
    if (!single && path.extname(String(to)).toLowerCase() !== '.hobj')
        throw new HttpError(400, 'several objects are saved as one object file: name it .hobj');
    // A file's root stands for its objects.
    const picked = [];
    for (const p of paths) {
        if (p === '/') picked.push(...doc.root.children(0, maxSavedNodes + 1));
        else picked.push(await nodeAt(doc, p));
        if (picked.length > maxSavedNodes) throw tooMany();
    }
    if (new Set(picked.map((n) => n.path)).size !== picked.length) throw new HttpError(400, 'a node is named more than once');
    const target = writeTarget(doc, to, overwrite);
    const objects = single ? picked : picked.filter((n) => n.kind === 'object');
    if (objects.length === 0) throw new HttpError(422, 'no iconic objects to save');
    await library(() => (single ? doc.reader.saveObjectAs(objects[0], target) : doc.reader.saveObjectsAs(objects, target)));
    return { saved: target };
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

async function open({ documents, body }) {
    const request = await body();
    if (request.as && !LoadKind.includes(request.as)) throw new HttpError(400, `unknown kind of load "${request.as}"`);
    const unknown = Array.isArray(request.options) && request.options.find((o) => !JsonParamKeys.includes(o?.key));
    if (unknown) throw new HttpError(400, `unknown reading option "${unknown.key}"`);
    if (request.replace !== undefined) documents.close(request.replace);
    const doc = await documents.open({ ...request, file: resolveFile(request.file), name: request.file });
    return { id: doc.id, file: doc.name, kind: doc.kind, folder: doc.folder, loadMs: doc.loadMs, closed: doc.closed,
             root: describe(doc.root), children: childPage(doc.root) };
}

// The steps from the root down to the node at `path`, each with its position in its
// parent (the page loads the part of a long list that holds it): { path, steps:
// [{ path, index }] }. The whole path is looked up first, so a miss costs one
// look-up; then an entry's position is its index, a key's is searched among its
// parent's children.
async function locate(request) {
    const doc = request.documents.get(request.query.get('doc'));
    const nodePath = request.query.get('path') || '/';
    await nodeAt(doc, nodePath);
    const steps = [];
    let parent = doc.root;
    for (const segment of nodePath.split('/').filter((s) => s !== '')) {
        const node = await nodeAt(doc, `${parent.path === '/' ? '' : parent.path}/${segment}`);
        const entry = /^\[(\d+)\]$/.exec(segment);
        steps.push({ path: node.path, index: entry ? Number(entry[1]) : await parent.indexOf(node) });
        parent = node;
    }
    return { path: parent.path, steps };
}

// A node's values as a table: a tuple's values, an array's entries or a matrix's
// rows, `count` (at most 1000) from `from`: { shape, header, total, available,
// from, rows, stats }; stats { count, min, max, mean } over every value of a
// tuple of numbers or a matrix.
function statsOf(numbers) {
    if (!numbers.length || numbers.some(Number.isNaN)) return null;
    let min = Infinity, max = -Infinity, sum = 0;
    for (const v of numbers) {
        if (v < min) min = v;
        if (v > max) max = v;
        sum += v;
    }
    return { count: numbers.length, min, max, mean: sum / numbers.length };
}

async function tableOf(node) {
    if (node.kind === VALUE) {
        const total = node.totalCount;
        let texts;
        // Strings are always quoted in the full text: without a quote it is numbers and ", ".
        const { text: full } = await library(() => node.fullText());
        if (!full.includes("'")) {
            texts = total === 0 ? [] : (full.startsWith('[') ? full.slice(1, -1) : full).split(', ');
        } else {
            // A tuple with strings: the values the node holds, by their types.
            texts = node.values.map((v) => (typeof v === 'string' ? `'${v}'` : String(v)));
        }
        const stats = statsOf(texts.map((text) => (text.startsWith("'") ? NaN : Number(text))));
        return { shape: 'tuple', header: ['value'], total, available: texts.length, stats,
                 rowsAt: (f, c) => texts.slice(f, f + c).map((text) => [text]) };
    }
    if (node.kind === ARRAY) {
        // An array's entries are nodes of their own: only the page asked for is built.
        const total = node.childCount;
        return { shape: 'array', header: ['type', 'value'], total, available: total, stats: null,
                 rowsAt: (f, c) => node.children(f, c).map((e) => [e.typeLabel, e.valueSummary]) };
    }
    if (node.objectClass === 'matrix') {
        const rows = node.detailLines.map((line) => line.replace(/^\[\s*|\s*\]$/g, '').split(/\s+/).filter(Boolean));
        return { shape: 'matrix', header: (rows[0] ?? []).map((_, k) => String(k)), total: rows.length,
                 available: rows.length, stats: statsOf(rows.flat().map(Number)), rowsAt: (f, c) => rows.slice(f, f + c) };
    }
    throw new HttpError(422, `a ${node.typeLabel} node has no table`);
}

// The whole node is read once: the last table asked for is kept with its file,
// so paging through a tuple of a million values reads its text once.
async function table({ query, documents }) {
    const doc = documents.get(query.get('doc'));
    const node = await nodeAt(doc, query.get('path') || '/');
    const from = integerParam(query, 'from', 0);
    const count = Math.min(integerParam(query, 'count', 100), 1000);
    if (doc.table?.node !== node) doc.table = { node, built: tableOf(node) };
    const kept = doc.table;
    let built;
    try {
        built = await kept.built;
    } catch (error) {
        if (doc.table === kept) doc.table = null;
        throw error;
    }
    const { shape, header, total, available, stats, rowsAt } = built;
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
async function sendModel(request) {
    const { node } = await target(request);
    const max = Math.max(1, integerParam(request.query, 'max', 1_000_000));
    const [{ points: all, normals: allNormals, count: total }, { triangles: allTriangles, polygons: allPolygons }] =
        await library(() => Promise.all([node.modelPoints(), node.modelFaces()]));
    const stride = Math.max(1, Math.ceil(total / max));
    const sent = Math.ceil(total / stride);
    const lo = [Infinity, Infinity, Infinity], hi = [-Infinity, -Infinity, -Infinity];
    for (let i = 0; i < total; ++i) {
        for (let a = 0; a < 3; ++a) {
            const v = all[i * 3 + a];
            if (v < lo[a]) lo[a] = v;
            if (v > hi[a]) hi[a] = v;
        }
    }
    const bounds = lo.every(Number.isFinite) ? [...lo, ...hi] : [0, 0, 0, 0, 0, 0]; // a model of no (finite) points
    const thin = (from) => {
        if (stride === 1) return from;
        const to = new Float32Array(sent * 3);
        for (let k = 0, i = 0; k < sent * 3; k += 3, i += stride * 3) to.set(from.subarray(i, i + 3), k);
        return to;
    };
    const points = thin(all), normals = allNormals && thin(allNormals);
    // A corner's index among the points sent; -1 for a point left out (or none of the model's).
    const corner = (i) => (i >= 0 && i < total && i % stride === 0 ? i / stride : -1);
    const triangleCount = allTriangles.length / 3;
    const step = Math.max(1, Math.ceil(triangleCount / max));
    let triangles = new Uint32Array(Math.ceil(triangleCount / step) * 3);
    let kept = 0;
    for (let t = 0; t < triangleCount; t += step) {
        const a = corner(allTriangles[t * 3]), b = corner(allTriangles[t * 3 + 1]), c = corner(allTriangles[t * 3 + 2]);
        if (a < 0 || b < 0 || c < 0) continue;
        triangles[kept * 3] = a;
        triangles[kept * 3 + 1] = b;
        triangles[kept++ * 3 + 2] = c;
    }
    triangles = triangles.subarray(0, kept * 3);
    const polygonStep = Math.max(1, Math.ceil(allPolygons.length / max));
    const polygonStarts = [0], polygonIndices = [];
    for (let p = 0; p < allPolygons.length; p += polygonStep) {
        const corners = Array.from(allPolygons[p], corner);
        if (corners.length < 2 || corners.some((c) => c < 0)) continue;
        for (const c of corners) polygonIndices.push(c);
        polygonStarts.push(polygonIndices.length);
    }
    const parts = [points, normals, triangles, Uint32Array.from(polygonStarts), Uint32Array.from(polygonIndices)];
    send.binary(request.res, Buffer.concat(parts.filter(Boolean).map((a) => Buffer.from(a.buffer, a.byteOffset, a.byteLength))), {
        'X-Point-Count': total,
        'X-Points-Sent': sent,
        'X-Point-Stride': stride,
        'X-Normals': normals ? 1 : 0,
        'X-Triangle-Count': triangleCount,
        'X-Triangles-Sent': triangles.length / 3,
        'X-Polygon-Count': allPolygons.length,
        'X-Polygons-Sent': polygonStarts.length - 1,
        'X-Bounds': bounds.join(','),
    });
}

// The name of an image's own pixel type ('byte', 'uint2', ...), '' when there is none.
function pixelTypeOf(node, index) {
    try {
        return node.imageInfo(index).pixelType;
    } catch {
        return '';
    }
}

export const routes = {
    'GET /api/version': () => ({ version: version() }),
    'GET /api/list': ({ query }) => listing(query.get('dir')),
    // Body { file, as?, options?, replace?, page?, ticket? }: `page` ties the file to the
    // page that opened it, `ticket` names the open for /api/cancel.
    'POST /api/open': open,
    'POST /api/cancel': ({ query, documents }) => ({ cancelled: documents.cancel(query.get('open')) }),
    'POST /api/close': ({ query, documents }) => ({ closed: documents.close(query.get('doc')) }),
    // The page is alive: its files stay open. Answers the ids of the files it holds.
    'POST /api/heartbeat': ({ query, documents }) => ({ documents: documents.heard(query.get('page') ?? '') }),
    'GET /api/children': async (request) => {
        const { node } = await target(request);
        return childPage(node, integerParam(request.query, 'from', 0));
    },
    // A node's untruncated value text, in parts: from=K&count=N characters (at most
    // textPartLength); { text, from, length } with the whole text's length.
    'GET /api/full': async ({ query, documents }) => {
        const doc = documents.get(query.get('doc'));
        const from = integerParam(query, 'from', 0);
        return library(() => fullTextPart(doc, query.get('path') || '/', from, integerParam(query, 'count', textPartLength)));
    },
    // The pixels of image `index` of a node, ready to draw, with their layout in headers.
    'GET /api/image': async (request) => {
        const { node } = await target(request);
        const index = integerParam(request.query, 'index', 0);
        const image = await library(() => node.extractImage(index));
        send.binary(request.res, image.pixels, {
            'X-Width': image.width, 'X-Height': image.height, 'X-Row-Bytes': image.rowBytes, 'X-Format': image.format,
            'X-Channels': node.imageChannelCount(index), 'X-Pixel-Type': pixelTypeOf(node, index),
        });
    },
    // Every value of image `index` in its own type, channel by channel, machine byte order.
    'GET /api/values': async (request) => {
        const { node } = await target(request);
        const { info, values } = await library(() => node.imageValues(integerParam(request.query, 'index', 0)));
        send.binary(request.res, values, {
            'X-Width': info.width, 'X-Height': info.height, 'X-Channels': info.channels, 'X-Pixel-Type': info.pixelType,
            'X-Bytes-Per-Value': info.bytesPerValue, 'X-Domain-Full': info.domainIsFull ? 1 : 0,
        });
    },
    'GET /api/domain': async (request) => {
        const { node } = await target(request);
        const { rows, begins, ends } = await library(() => node.imageDomainRuns(integerParam(request.query, 'index', 0)));
        return { rows: Array.from(rows), begins: Array.from(begins), ends: Array.from(ends) };
    },
    'GET /api/model': sendModel,
    'GET /api/scene': async ({ query, documents }) => scene(documents.get(query.get('doc')), query.get('path') || '/'),
    // The deep-learning views: a dataset's summary and samples, a model's card.
    'GET /api/dataset': ({ query, documents }) => datasetSummary(documents.get(query.get('doc'))),
    'GET /api/dataset/sample': ({ query, documents }) => datasetSample(documents.get(query.get('doc')), integerParam(query, 'index', 0)),
    'GET /api/modelcard': ({ query, documents }) => modelCard(documents.get(query.get('doc'))),
    'GET /api/locate': locate,
    'GET /api/table': table,
    'POST /api/save': async ({ query, documents, body }) => save(documents.get(query.get('doc')), await body()),
    // Converts the open dictionary file; the open tree stays.
    'POST /api/convert': async ({ query, documents, body }) => {
        const doc = documents.get(query.get('doc'));
        const { to, ignoreNonSerializable, overwrite } = await body();
        const output = writeTarget(doc, to, overwrite);
        await library(() => doc.reader.convertDictFile(doc.file, output, ignoreNonSerializable === true));
        return { converted: output };
    },
};
