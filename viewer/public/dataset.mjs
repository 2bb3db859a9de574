// The samples of a deep-learning dataset (a dictionary file with "class_names"
// and "samples"): one sample's image with its boxes and class names, stepped with
// keys and buttons, and how boxes and samples spread over classes and splits.
import { extentOf, compose, rule } from './drawing.mjs';
import { session } from './api.mjs';
import { element, imageCanvas, overlay, request, stepButtons, stepOf, stepped, table } from './panel.mjs';

const panel = overlay('samples', 'samples', () => draw());
const canvas = element('canvas', { id: 'sample-canvas' });
const place = element('span', { id: 'sample-place' });
const note = element('div', { id: 'sample-note' });
const buttons = stepButtons((step) => go(step));
const counts = element('div', { id: 'sample-counts' });

let docId = null;
let summary = null;
let current = 0;
let shown = null;   // { picture, bounds, boxes }
let ticket = 0;     // the latest request; answers to older ones are dropped

const colourOf = (box) => rule.palette[Math.max(box.classIndex, 0) % rule.palette.length];

function showSummary() {
    panel.title.textContent = `samples of ${summary.name || 'the dataset'}: ${summary.sampleCount}`;
    const imageDir = `images in ${summary.imageDir}` + (summary.imageDirBeside ? ` (beside the file: ${summary.imageDirGiven} is not there)` : '');
    counts.replaceChildren(
        table('sample-classes', 'classes', ['class', 'id', 'boxes', 'samples'], summary.classes.map((c) => [c.name, c.id, c.boxes, c.samples])),
        table('sample-splits', 'splits', ['split', 'samples'], summary.splits.map((s) => [s.split || '(none)', s.samples])),
        element('p', { className: 'image-dir', textContent: imageDir }));
    panel.body.replaceChildren(element('div', { className: 'sample-bar' }, ...buttons.slice(0, 2), place, ...buttons.slice(2)),
                               note, element('div', { className: 'sample-main' }, element('div', { className: 'sample-view' }, canvas), counts));
}

// The sample's image, opened as an image file on its own reader and closed once its pixels are here.
async function loadPicture(sample) {
    if (!sample.imageFound) return null;
    const opened = await request('/api/open', { file: sample.imageFile, as: 'object', page: session.page });
    try {
        return await imageCanvas(opened.id, '/[0]');
    } finally {
        request(`/api/close?doc=${opened.id}`, {}).catch(() => {});
    }
}

async function go(step) {
    if (!summary || summary.sampleCount === 0) return;
    const index = stepped(step, current, summary.sampleCount);
    const mine = ++ticket;
    try {
        const sample = await request(`/api/dataset/sample?doc=${docId}&index=${index}`);
        let picture = null, problem = '';
        try {
            picture = await loadPicture(sample);
        } catch (error) {
            problem = error.message;
        }
        if (mine !== ticket) return;
        current = index;
        const lines = sample.boxes.map((b) => ({ lines: [{ rows: [b.row1, b.row2], cols: [b.col1, b.col2] }] }));
        const bounds = picture ? { x0: 0, y0: 0, width: picture.width, height: picture.height } : extentOf(lines);
        shown = { picture: picture ?? (bounds && compose(null, bounds, [], () => true).base), bounds, boxes: sample.boxes };
        place.textContent = `sample ${index + 1} of ${sample.count}` + (sample.split ? ` · ${sample.split}` : '')
            + (sample.imageId !== null ? ` · image id ${sample.imageId}` : '') + ` · ${sample.boxes.length} boxes`;
        const missing = !sample.imageFile ? 'the sample names no image' : problem || (!picture && `image missing: ${sample.imageFile}`);
        note.textContent = missing ? `${missing}${bounds ? '; the boxes on an empty frame of their extent' : ''}` : sample.imageFile;
        note.className = missing ? 'missing' : '';
        draw();
        canvas.dataset.sample = index;
    } catch (error) {
        if (mine === ticket) note.textContent = error.message;
    }
}

// The picture fitted into the canvas, each box in its class's colour with its name.
function draw() {
    canvas.width = canvas.clientWidth;
    canvas.height = canvas.clientHeight;
    const ctx = canvas.getContext('2d');
    ctx.fillStyle = `rgb(${rule.outsideDomain.join(', ')})`;
    ctx.fillRect(0, 0, canvas.width, canvas.height);
    if (!shown?.bounds) return;
    const { x0, y0, width, height } = shown.bounds;
    const scale = Math.min(canvas.width / width, canvas.height / height);
    // The canvas position of an image coordinate's pixel centre is t + (c + 0.5) * scale.
    const tx = Math.round((canvas.width - width * scale) / 2 - x0 * scale);
    const ty = Math.round((canvas.height - height * scale) / 2 - y0 * scale);
    Object.assign(canvas.dataset, { scale, tx, ty });
    ctx.imageSmoothingEnabled = false;
    ctx.drawImage(shown.picture, tx + x0 * scale, ty + y0 * scale, width * scale, height * scale);
    ctx.lineWidth = 2;
    ctx.font = '12px system-ui, sans-serif';
    ctx.textBaseline = 'bottom';
    for (const box of shown.boxes) {
        const colour = `rgb(${colourOf(box).join(', ')})`;
        const [left, top] = [Math.round(tx + (box.col1 + 0.5) * scale), Math.round(ty + (box.row1 + 0.5) * scale)];
        const [right, bottom] = [Math.round(tx + (box.col2 + 0.5) * scale), Math.round(ty + (box.row2 + 0.5) * scale)];
        ctx.strokeStyle = colour;
        ctx.strokeRect(left, top, right - left, bottom - top);
        const label = ctx.measureText(box.className).width + 6;
        const above = top >= 16 ? top - 16 : top;
        ctx.fillStyle = colour;
        ctx.fillRect(left - 1, above, label, 16);
        ctx.fillStyle = 'black';
        ctx.fillText(box.className, left + 2, above + 15);
    }
}

document.addEventListener('ix:document', async ({ detail: doc }) => {
    const mine = ++ticket;
    docId = doc?.id ?? null;
    summary = null;
    shown = null;
    delete canvas.dataset.sample;   // the sample drawn belongs to the document before
    panel.remove();
    if (doc?.kind !== 'dict') return;
    try {
        const answer = await request(`/api/dataset?doc=${doc.id}`);
        if (mine !== ticket || !answer.dataset) return;
        summary = answer;
        current = 0;
        showSummary();
        panel.open();
        await go('first');
    } catch (error) {
        if (mine === ticket) note.textContent = error.message;
    }
});

document.addEventListener('keydown', (event) => {
    const step = panel.shown && stepOf(event);
    if (!step) return;
    event.preventDefault();
    go(step);
});
window.addEventListener('resize', () => panel.shown && draw());
