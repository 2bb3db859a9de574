// Stepping through the images a node holds (a sequence file's frames, an object
// file of many images, an object of several): keys and buttons show the previous
// or next one on the canvas at the same zoom and pan, and a strip of thumbnails
// shows those around it.
import { element, imageCanvas, panelShown, request, showError, stepButtons, stepOf, stepped } from './panel.mjs';

const thumbsAtOnce = 12;         // thumbnails drawn at a time, around the current frame
const thumbSide = 64;            // the longer side of a thumbnail, in canvas pixels
const keptThumbs = 256;          // thumbnails kept for stepping back

const place = element('span', { className: 'frame-place' });
const thumbs = element('div', { className: 'frame-thumbs' });
const buttons = stepButtons((step) => go(step));
const strip = element('div', { id: 'frames', hidden: true }, ...buttons.slice(0, 2), place, ...buttons.slice(2), thumbs);
document.getElementById('view').append(strip);

let docId = null;
let frames = [];                 // [{ path, index }]
let current = 0;
let ticket = 0;                  // the latest selection; older answers are dropped
const cache = new Map();         // "path#index" -> a small canvas

// A node's children, page after page while the pages hold images: a dictionary of
// a million numbers costs one request, a sequence of a million frames all of them.
async function childrenOf(path) {
    const list = [];
    for (let total = Infinity; list.length < total;) {
        const page = await request(`/api/children?doc=${docId}&path=${encodeURIComponent(path)}&from=${list.length}`);
        total = page.total;
        list.push(...page.children);
        if (!page.children.some((c) => c.isImage)) break;
    }
    return list;
}

const imagesAmong = (list) => list.filter((c) => c.isImage)
    .flatMap((c) => Array.from({ length: c.objectCount }, (_, index) => ({ path: c.path, index })));

// The frames a selected node steps through: the images of an object of several,
// else those among its children, else, for an image, those beside it.
async function framesOf(path) {
    const kind = document.querySelector(`#tree li[data-path="${CSS.escape(path)}"]`)?.dataset.kind;
    if (kind === 'value') return { frames: [], at: 0 };
    // Only an object's parent is looked through: it may be an image of several, or one beside others.
    const parent = path === '/' || kind !== 'object' ? null : path.slice(0, path.lastIndexOf('/')) || '/';
    const siblings = parent ? await childrenOf(parent) : [];
    const self = siblings.find((c) => c.path === path);
    if (self?.isImage && self.objectCount > 1) return { frames: imagesAmong([self]), at: 0 };
    const own = !self || self.childCount > 0 ? imagesAmong(await childrenOf(path)) : [];
    if (own.length > 1) return { frames: own, at: 0 };
    const beside = self?.isImage ? imagesAmong(siblings) : [];
    return beside.length > 1 ? { frames: beside, at: beside.findIndex((f) => f.path === path) } : { frames: [], at: 0 };
}

async function thumbnail(frame) {
    const key = `${frame.path}#${frame.index}`;
    if (cache.has(key)) return cache.get(key);
    const picture = await imageCanvas(docId, frame.path, frame.index);
    const scale = Math.min(1, thumbSide / Math.max(picture.width, picture.height));
    const small = element('canvas', { width: Math.max(1, Math.round(picture.width * scale)), height: Math.max(1, Math.round(picture.height * scale)) });
    const ctx = small.getContext('2d');
    ctx.imageSmoothingQuality = 'high';
    ctx.drawImage(picture, 0, 0, small.width, small.height);
    if (cache.size >= keptThumbs) cache.delete(cache.keys().next().value);
    cache.set(key, small);
    return small;
}

// The strip: where we are, and the thumbnails of a window around it, drawn one after another.
async function showStrip(mine) {
    strip.hidden = frames.length < 2;
    if (strip.hidden) return;
    place.textContent = `${current + 1} / ${frames.length}`;
    const from = Math.max(0, Math.min(current - Math.floor(thumbsAtOnce / 2), frames.length - thumbsAtOnce));
    const slots = frames.slice(from, from + thumbsAtOnce).map((frame, k) => {
        const slot = element('button', { className: 'frame-thumb', title: `${frame.path} [${frame.index}]`,
                                         onclick: () => go(from + k) });
        if (from + k === current) slot.classList.add('current');
        return slot;
    });
    thumbs.replaceChildren(...slots);
    for (const [k, slot] of slots.entries()) {
        try {
            const drawn = await thumbnail(frames[from + k]);
            if (mine !== ticket || !slot.isConnected) return;
            const copy = element('canvas', { width: drawn.width, height: drawn.height });
            copy.getContext('2d').drawImage(drawn, 0, 0);
            slot.append(copy);
        } catch (error) {
            slot.textContent = '✕';
            slot.title = error.message;
        }
    }
}

// Shows frame `to` (a position, or a step) on the canvas, keeping the view.
async function go(to) {
    if (frames.length < 2) return;
    current = typeof to === 'number' ? to : stepped(to, current, frames.length);
    const mine = ++ticket;
    const { path, index } = frames[current];
    const event = new CustomEvent('ix:show-frame', { detail: { path, index, keepView: true } });
    document.dispatchEvent(event);
    const drawing = showStrip(mine);
    await event.detail.shown;
    if (mine === ticket) strip.dataset.current = current;
    await drawing;
}

document.addEventListener('ix:document', ({ detail: doc }) => {
    ++ticket;
    docId = doc?.id ?? null;
    frames = [];
    cache.clear();
    strip.hidden = true;
    delete strip.dataset.current;
});

document.addEventListener('ix:selected', async ({ detail: { path, add } }) => {
    if (add || docId === null) return;
    const mine = ++ticket;
    try {
        const found = await framesOf(path);
        if (mine !== ticket) return;
        frames = found.frames;
        current = found.at;
        strip.dataset.current = current;
        await showStrip(mine);
    } catch (error) {
        if (mine === ticket) showError(error.message);
    }
});

document.addEventListener('keydown', (event) => {
    const step = !strip.hidden && !panelShown() && stepOf(event);
    if (!step) return;
    event.preventDefault();
    go(step);
});
