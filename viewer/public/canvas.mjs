// The selected node's picture on the canvas: its image (from its own values,
// see image.mjs) with the geometry over it by the drawing rule, the view (zoom
// about the cursor between 1/64 and 256 times, pan, Fit, 1:1, fitted again when
// the window changes size until the user moves it) and, from 24 screen pixels
// a pixel on, a grid with each pixel's values written in its cell. The
// geometry's objects are picked, outlined and listed by overlays.mjs.
import { compose, extentOf, rule } from './drawing.mjs';
import * as values from './image.mjs';
import * as overlays from './overlays.mjs';
import { reveal } from './tree.mjs';

const $ = (id) => document.getElementById(id);

export const zoomLimits = { min: 1 / 64, max: 256 };
const gridFrom = 24; // screen pixels a pixel

let picture = null; // { x0, y0, width, height, base, lines } and, over an image, its values or its bytes
let shapes = [];    // [{ class, path, index, colour, bounds, lines | runs }], see overlays.prepare
let scenePath = null; // the node whose scene is shown
let picking = null; // the path of an object clicked on the canvas, until the tree selects it
const view = { scale: 1, tx: 0, ty: 0, fitted: true };
let pointer = null; // the cursor's place on the canvas, for the readout
const layers = {};  // the canvases of the picture's layers, kept for the next picture of their size
let scenes = 0;     // counts the scenes asked for: one that a later one overtook is not shown

export function clearPicture() {
    ++scenes;
    picture = null;
    shapes = [];
    scenePath = overlays.emphasis.path = null;
    overlays.showLegend([], shown);
    values.configure(null);
    $('image-note').textContent = '';
    $('pixel').textContent = '\u00a0';
    draw();
}

async function json(url) {
    const response = await fetch(url);
    const value = await response.json();
    if (!response.ok) throw new Error(value.error);
    return value;
}

// The image's bytes as the library draws them (spread over 0..255), for images
// whose values it does not hand out.
async function loadBytes(docId, path, index) {
    const response = await fetch(`/api/image?doc=${docId}&path=${encodeURIComponent(path)}&index=${index}`);
    if (!response.ok) throw new Error((await response.json()).error);
    const header = (name) => response.headers.get(name);
    const [width, height, rowBytes, channels] = ['X-Width', 'X-Height', 'X-Row-Bytes', 'X-Channels'].map((h) => Number(header(h)));
    const pixels = new Uint8Array(await response.arrayBuffer());
    return { x0: 0, y0: 0, width, height, rowBytes, format: header('X-Format'), channels, pixels, pixelType: header('X-Pixel-Type') || '' };
}

const shown = (cls) => document.querySelector(`input[data-class="${cls}"]`).checked;

// The picture's layers anew, with the display settings and the classes switched on now.
function recompose() {
    if (!picture) return;
    const image = picture.planes ? { rgba: values.render(picture) } : picture.pixels && picture;
    const filled = (cls) => shown(cls) && !(cls === 'region' && overlays.style.regions === 'outline');
    const picked = overlays.emphasis.path;
    Object.assign(picture, compose(image, picture, shapes, filled, layers, (s) => picked !== null && s.path !== picked));
    overlays.showLegend(shapes, shown);
}

// An object clicked on the canvas: selected in the tree, drawn over the rest of
// the scene (a click beside every object selects the scene's node again).
function pick(shape) {
    if (!scenePath || (!shape && !overlays.emphasis.path)) return;
    picking = shape?.path ?? scenePath;
    // The tree's item loses the focus it took, so that the canvas's keys (z) go on working.
    reveal(picking).then(() => document.activeElement?.closest('#tree') && document.activeElement.blur(), () => { picking = null; });
}

// Draws the node at `path` of the open file `docId` by the drawing rule; of an
// image node its image `index`; `keepView` keeps the zoom and pan (stepping through frames).
export async function showScene(docId, path, { index = 0, keepView = false } = {}) {
    if (picking === path && (path === scenePath || shapes.some((s) => s.path === path))) {
        picking = null;
        overlays.emphasis.path = path === scenePath ? null : path;
        $('canvas').dataset.picked = overlays.emphasis.path ?? '';
        recompose();
        return draw();
    }
    picking = null;
    const started = performance.now(), ticket = ++scenes;
    let note = '';
    try {
        const scene = await json(`/api/scene?doc=${docId}&path=${encodeURIComponent(path)}`);
        let image = null;
        const imageIndex = scene.image === path ? index : 0;
        if (scene.image) {
            image = await values.loadValues(docId, scene.image, imageIndex);
            if (image.refused) {
                note = image.refused; // kept when the bytes are refused as well
                image = await loadBytes(docId, scene.image, imageIndex);
                if (image.pixelType !== 'byte') note += `; shown as the library spreads its ${image.pixelType} values over 0..255`;
            }
        }
        if (ticket !== scenes) return;
        // A region without runs draws nothing and takes no colour, as in ixdump.
        shapes = scene.shapes.filter((s) => !s.runs || s.runs.rows.length).map(overlays.prepare);
        scenePath = path;
        overlays.emphasis.path = null;
        $('canvas').dataset.picked = '';
        picture = image ?? (scene.extent ? extentOf(shapes) : null);
        values.configure(picture?.planes ? picture : null, keepView);
        $('image-note').textContent = note;
        recompose();
        $('pixel').textContent = '\u00a0';
        if (keepView) draw();
        else fit();
        Object.assign($('canvas').dataset, { shown: `${docId}:${path}`, sceneMs: performance.now() - started });
    } catch (error) {
        if (ticket !== scenes) return;
        clearPicture();
        $('image-note').textContent = note;
        throw error;
    }
}

function clampScale(scale) {
    return Math.min(zoomLimits.max, Math.max(zoomLimits.min, scale));
}

export function fit() {
    const canvas = $('canvas');
    if (picture) {
        view.scale = clampScale(Math.min(canvas.clientWidth / picture.width, canvas.clientHeight / picture.height));
        view.tx = (canvas.clientWidth - picture.width * view.scale) / 2 - picture.x0 * view.scale;
        view.ty = (canvas.clientHeight - picture.height * view.scale) / 2 - picture.y0 * view.scale;
    }
    view.fitted = true;
    draw();
}

// Zooms to the picked object (else to all the geometry), a margin around it.
function zoomToSelected() {
    const bounds = overlays.selectionBounds(shapes);
    if (!bounds) return fit();
    const canvas = $('canvas');
    const [height, width] = [bounds.bottom - bounds.top, bounds.right - bounds.left];
    const scale = clampScale(Math.min(32, canvas.clientWidth / (width * 1.2 + 8), canvas.clientHeight / (height * 1.2 + 8)));
    Object.assign(view, { scale, fitted: false,
        tx: canvas.clientWidth / 2 - (bounds.left + width / 2) * scale, ty: canvas.clientHeight / 2 - (bounds.top + height / 2) * scale });
    draw();
}

export function oneToOne() {
    Object.assign(view, { scale: 1, tx: picture ? -picture.x0 : 0, ty: picture ? -picture.y0 : 0, fitted: false });
    draw();
}

// Zooms by `factor` keeping the canvas point (x, y) over the same place of the picture.
function zoomAt(x, y, factor) {
    const scale = clampScale(view.scale * factor), f = scale / view.scale;
    Object.assign(view, { scale, tx: x - (x - view.tx) * f, ty: y - (y - view.ty) * f, fitted: false });
    draw();
}

function draw() {
    const canvas = $('canvas');
    canvas.width = canvas.clientWidth;
    canvas.height = canvas.clientHeight;
    Object.assign(canvas.dataset, { scale: view.scale, tx: view.tx, ty: view.ty });
    const ctx = canvas.getContext('2d');
    ctx.fillStyle = `rgb(${rule.outsideDomain.join(', ')})`;
    ctx.fillRect(0, 0, canvas.width, canvas.height);
    if (!picture) return;
    ctx.setTransform(view.scale, 0, 0, view.scale, view.tx, view.ty);
    ctx.imageSmoothingEnabled = false;
    ctx.drawImage(picture.base, picture.x0, picture.y0);
    // From 1:1 on, lines one pixel wide as ixdump draws them; smaller, a thin
    // line would fall between the sampled pixels, so they are stroked at their place.
    if (view.scale >= 1 && overlays.style.width === 1 && picture.lines) ctx.drawImage(picture.lines, picture.x0, picture.y0);
    overlays.stroke(ctx, shapes, shown, view.scale);
    ctx.setTransform(1, 0, 0, 1, 0, 0);
    if (view.scale >= gridFrom && (picture.planes || picture.pixels)) drawGrid(ctx, canvas);
}

// The bytes of a pixel of an image the library drew, as text, and whether it is light.
function byteCell(row, col) {
    const { pixels, rowBytes, format } = picture;
    const at = row * rowBytes + col * (format === 'gray' ? 1 : format === 'bgr' ? 3 : 4);
    const rgb = format === 'gray' ? [pixels[at]] : [pixels[at + 2], pixels[at + 1], pixels[at]];
    return { lines: rgb.map(String), light: rgb.reduce((a, b) => a + b, 0) / rgb.length > 127 };
}

// The pixel grid over the visible cells, each with its values written in it.
function drawGrid(ctx, canvas) {
    const { scale, tx, ty } = view;
    const c0 = Math.max(0, Math.floor(-tx / scale)), c1 = Math.min(picture.width - 1, Math.floor((canvas.width - tx) / scale));
    const r0 = Math.max(0, Math.floor(-ty / scale)), r1 = Math.min(picture.height - 1, Math.floor((canvas.height - ty) / scale));
    if (c0 > c1 || r0 > r1) return;
    ctx.strokeStyle = 'rgba(128, 128, 128, 0.7)';
    ctx.lineWidth = 1;
    ctx.beginPath();
    for (let c = c0; c <= c1 + 1; ++c) { const x = Math.round(tx + c * scale) + 0.5; ctx.moveTo(x, ty + r0 * scale); ctx.lineTo(x, ty + (r1 + 1) * scale); }
    for (let r = r0; r <= r1 + 1; ++r) { const y = Math.round(ty + r * scale) + 0.5; ctx.moveTo(tx + c0 * scale, y); ctx.lineTo(tx + (c1 + 1) * scale, y); }
    ctx.stroke();
    ctx.textAlign = 'center';
    ctx.textBaseline = 'middle';
    const cells = [];
    for (let r = r0; r <= r1; ++r)
        for (let c = c0; c <= c1; ++c) cells.push({ r, c, ...(picture.planes ? values.cell(picture, r, c) : byteCell(r, c)) });
    // One size for all the cells, the longest text fitting its cell.
    const widest = Math.max(...cells.map((cell) => Math.max(...cell.lines.map((l) => l.length))));
    const size = Math.min(14, (scale - 4) / cells[0].lines.length, (scale - 4) / (0.6 * widest));
    if (size < 6) return;
    ctx.font = `${size}px monospace`;
    for (const { r, c, lines, light } of cells) {
        ctx.fillStyle = light ? '#000' : '#fff';
        lines.forEach((line, k) => ctx.fillText(line, tx + (c + 0.5) * scale, ty + (r + 0.5) * scale + (k - (lines.length - 1) / 2) * size));
    }
}

// The text under the cursor: row, column, the stored values and the shown ones.
function pixelText(x, y) {
    if (!picture?.planes && !picture?.pixels) return '\u00a0';
    const col = Math.floor((x - view.tx) / view.scale) - picture.x0, row = Math.floor((y - view.ty) / view.scale) - picture.y0;
    if (row < 0 || col < 0 || row >= picture.height || col >= picture.width) return '\u00a0';
    if (picture.planes) return values.readout(picture, row, col);
    const { pixels, rowBytes, format, channels } = picture;
    const at = row * rowBytes + col * (format === 'gray' ? 1 : format === 'bgr' ? 3 : 4);
    if (format === 'bgra' && channels !== 4 && pixels[at + 3] === 0) return `row ${row}, column ${col}: outside the domain`;
    const { lines } = byteCell(row, col);
    return `row ${row}, column ${col}: ${lines.slice(0, channels === 1 ? 1 : 3).join(', ')} (as the library draws it)`;
}

function updateReadout() {
    if (pointer) $('pixel').textContent = pixelText(pointer.x, pointer.y);
}

// Wires the view's buttons, keys, wheel, dragging and the display controls.
export function setupCanvas() {
    $('fit').onclick = fit;
    $('one').onclick = oneToOne;
    for (const box of document.querySelectorAll('input[data-class]')) box.onchange = () => { recompose(); draw(); };
    values.setupControls(() => { recompose(); draw(); updateReadout(); });
    document.addEventListener('keydown', (event) => {
        if (event.ctrlKey || event.metaKey || event.altKey || /^(INPUT|SELECT|TEXTAREA)$/.test(event.target.tagName)) return;
        if (event.target.closest?.('#tree, [role=tree]')) return; // the tree's own keys
        if (event.key === 'f') fit();
        else if (event.key === '1') oneToOne();
        else if (event.key === 'z') zoomToSelected();
    });
    const canvas = $('canvas');
    canvas.onwheel = (event) => {
        event.preventDefault();
        zoomAt(event.offsetX, event.offsetY, Math.exp(-event.deltaY * 0.002));
        updateReadout();
    };
    overlays.setupOverlays({ changed: () => { recompose(); draw(); }, zoom: zoomToSelected });
    // The shape under canvas point (x, y): lines within 4 screen pixels.
    const shapeUnder = (x, y) => overlays.shapeAt(shapes, shown, (y - view.ty) / view.scale, (x - view.tx) / view.scale,
                                                  Math.max(4 / view.scale, 0.75));
    let drag = null, pressed = null;
    canvas.onmousedown = (event) => { drag = pressed = { x: event.clientX, y: event.clientY }; };
    // A click that did not pan picks the object under it.
    canvas.onclick = (event) => {
        if (pressed && Math.hypot(event.clientX - pressed.x, event.clientY - pressed.y) < 4) pick(shapeUnder(event.offsetX, event.offsetY));
    };
    window.addEventListener('mouseup', () => { drag = null; });
    canvas.onmousemove = (event) => {
        if (drag) {
            view.tx += event.clientX - drag.x;
            view.ty += event.clientY - drag.y;
            view.fitted = false;
            drag = { x: event.clientX, y: event.clientY };
            draw();
        }
        pointer = { x: event.offsetX, y: event.offsetY };
        updateReadout();
        overlays.showTip(drag ? null : shapeUnder(pointer.x, pointer.y), pointer.x, pointer.y);
    };
    canvas.onmouseleave = () => { pointer = null; overlays.showTip(null); };
    window.addEventListener('resize', () => (view.fitted ? fit() : draw()));
    draw();
}
