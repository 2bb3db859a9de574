// The server's side of the deep-learning views: a dataset's summary and its
// samples, and a model's card, read from the tree the library built for the open
// file (never by parsing the file again). Each function takes an open document
// ({ root (a Node), kind, folder }) and gives what the page shows as JSON.
import fs from 'node:fs';
import path from 'node:path';
import { HttpError } from './documents.mjs';
import { VALUE } from './public/kinds.mjs';

// The child of `node` under `key` (a plain key: letters, digits, '_'), or null.
const childOf = (node, key) => (node ? node.at(`/${key}`) : null);

// Every value below a node, in order: a value node's own values, a dictionary's
// or tuple's (arrays read as dictionaries included) those of its children.
function valuesOf(node) {
    if (!node) return [];
    if (node.kind === VALUE) return node.values.map((v) => (typeof v === 'bigint' ? Number(v) : v));
    return node.children().flatMap(valuesOf);
}

const firstValue = (node, key) => valuesOf(childOf(node, key))[0];

// ---- Datasets ------------------------------------------------------------

// A dictionary file is a dataset when it holds the classes and a list of samples.
function datasetOf(doc) {
    if (doc.kind !== 'dict') return null;
    const samples = childOf(doc.root, 'samples');
    const classNames = childOf(doc.root, 'class_names');
    if (!samples || !classNames || samples.kind === VALUE) return null;
    const names = valuesOf(classNames).map(String);
    // Labels are class ids; without "class_ids" a class's id is its position.
    const given = valuesOf(childOf(doc.root, 'class_ids'));
    const ids = given.length === names.length ? given : names.map((_, i) => i);
    return { samples, names, ids, count: samples.childCount };
}

// The image folder: "image_dir" taken from the file's folder; one that is absent,
// or absolute and missing (a dataset moved from another machine), is the file's folder.
function imageDirOf(doc) {
    const given = firstValue(doc.root, 'image_dir');
    if (typeof given !== 'string' || given === '') return { dir: doc.folder, given: null, beside: false };
    const resolved = path.resolve(doc.folder, given);
    const beside = path.isAbsolute(given) && !fs.existsSync(resolved);
    return { dir: beside ? doc.folder : resolved, given, beside };
}

// The summary: classes, samples, and how the boxes and samples spread over classes and splits.
export function datasetSummary(doc) {
    const dataset = datasetOf(doc);
    if (!dataset) return { dataset: false };
    const { dir, given, beside } = imageDirOf(doc);
    const classes = dataset.names.map((name, i) => ({ id: dataset.ids[i], name, boxes: 0, samples: 0 }));
    const byId = new Map(classes.map((c) => [c.id, c]));
    const splits = new Map();
    for (let i = 0; i < dataset.count; ++i) {
        const sample = dataset.samples.child(i);
        const split = String(firstValue(sample, 'split') ?? '');
        splits.set(split, (splits.get(split) ?? 0) + 1);
        const labels = valuesOf(childOf(sample, 'bbox_label_id'));
        for (const id of labels) if (byId.has(id)) byId.get(id).boxes += 1;
        for (const id of new Set(labels)) if (byId.has(id)) byId.get(id).samples += 1;
    }
    return {
        dataset: true,
        name: String(firstValue(doc.root, 'dataset_name') ?? ''),
        imageDir: dir,
        imageDirGiven: given,
        imageDirBeside: beside,
        sampleCount: dataset.count,
        classes,
        splits: [...splits].map(([split, samples]) => ({ split, samples })),
    };
}

// Sample `index`: its image file (resolved, and whether it is there) and its boxes.
export function datasetSample(doc, index) {
    const dataset = datasetOf(doc);
    if (!dataset) throw new HttpError(422, 'the open file is not a dataset (no "class_names" and "samples")');
    if (index >= dataset.count) throw new HttpError(404, `the dataset has ${dataset.count} samples`);
    const sample = dataset.samples.child(index);
    const file = firstValue(sample, 'image_file_name');
    const image = typeof file === 'string' && file !== '' ? path.resolve(imageDirOf(doc).dir, file) : null;
    const [labels, row1, col1, row2, col2] = ['bbox_label_id', 'bbox_row1', 'bbox_col1', 'bbox_row2', 'bbox_col2']
        .map((key) => valuesOf(childOf(sample, key)));
    const boxes = [];
    for (let i = 0; i < Math.min(labels.length, row1.length, col1.length, row2.length, col2.length); ++i) {
        const at = dataset.ids.indexOf(labels[i]);
        boxes.push({ row1: row1[i], col1: col1[i], row2: row2[i], col2: col2[i], labelId: labels[i],
                     classIndex: at, className: at < 0 ? `class ${labels[i]}` : dataset.names[at] });
    }
    return {
        index,
        count: dataset.count,
        imageFile: image,
        imageFound: image !== null && fs.existsSync(image) && fs.statSync(image).isFile(),
        imageId: firstValue(sample, 'image_id') ?? null,
        split: String(firstValue(sample, 'split') ?? ''),
        boxes,
    };
}

// ---- Model cards ---------------------------------------------------------

// The tensors of "inputs" or "outputs": one dictionary, or a tuple of them.
function tensorsOf(node) {
    if (!node) return [];
    const list = childOf(node, 'name') ? [node] : node.children();
    return list.filter((t) => childOf(t, 'name')).map((t) => ({
        name: String(firstValue(t, 'name')),
        type: String(firstValue(t, 'elem_type') ?? ''),
        shape: valuesOf(childOf(t, 'shape')),
    }));
}

const imageKeys = ['image_width', 'image_height', 'image_num_channels', 'batch_size'];
const shownApart = new Set(['inputs', 'outputs', 'meta_data', ...imageKeys]);

// A deep-learning model's card: its plain keys, its inputs and outputs, and the
// images it takes when it takes images.
export function modelCard(doc) {
    if (doc.kind !== 'dlmodel') throw new HttpError(422, 'the open file is not a deep-learning model');
    const keys = doc.root.children().filter((child) => !shownApart.has(child.label) && child.kind === VALUE)
        .map((child) => ({ key: child.label, value: valuesOf(child).join(', ') }));
    const [width, height, channels, batch] = imageKeys.map((key) => firstValue(doc.root, key));
    const meta = childOf(doc.root, 'meta_data');
    return {
        keys,
        inputs: tensorsOf(childOf(doc.root, 'inputs')),
        outputs: tensorsOf(childOf(doc.root, 'outputs')),
        image: width === undefined ? null : { width, height, channels, batch },
        meta: (meta?.children() ?? []).map((entry) => ({ key: entry.label, value: valuesOf(entry).join(', ') })),
    };
}
