// The viewer's page: a file's tree, fetched node by node, and the selected
// node's image and geometry on a canvas.
import { colours, compose, extentOf, rule } from './drawing.mjs';
// The dataset, model card and frame views follow the events 'ix:document' and 'ix:selected'.
import './dataset.mjs';
import './modelcard.mjs';
import './sequence.mjs';
import { api, session, status, write } from './api.mjs';
import { jsonOptionKeys, OBJECT_LOAD, takesJsonOptions } from './kinds.mjs';
import { clearTree, initTree, locationState, reveal, select, selected, showRoot } from './tree.mjs';
import { hideModel, showModel } from './model3d.mjs';

const $ = (id) => document.getElementById(id);

let doc = null;               // { id, file, kind }, also the api's session.doc
let opening = 0;              // counts the opens and closes; a file opened by an older one is closed unseen
let picture = null;           // { x0, y0, width, height, base, lines } and, over an image, its pixels, format, rowBytes, pixelType
let shapes = [];              // [{ class, colour, lines | runs }]
const view = { scale: 1, tx: 0, ty: 0 };

// The views of datasets, model cards and frames follow 'ix:document'.
function setDoc(value) {
    doc = value;
    session.doc = value;
    document.dispatchEvent(new CustomEvent('ix:document', { detail: value }));
}

// ---- Files -------------------------------------------------------------

async function list(dir) {
    try {
        const { entries } = await api('GET', `/api/list?dir=${encodeURIComponent(dir)}`);
        $('listing').replaceChildren(...entries.map((e) => new Option(e.path + (e.dir ? '/' : ''))));
        $('files').replaceChildren(...entries.map((e) => {
            const a = document.createElement('a');
            a.href = '#';
            a.textContent = e.name + (e.dir ? '/' : '');
            a.onclick = (event) => {
                event.preventDefault();
                if (e.dir) return list(e.path);
                $('path').value = e.path;
                open();
            };
            return a;
        }));
    } catch (error) {
        status(error.message, true);
    }
}


function jsonOptions() {
    return jsonOptionKeys.map((key) => ({ key, value: $(`opt-${key}`).value }))
        .filter((o) => o.value !== '');
}

async function open() {
    const ticket = ++opening;
    const file = $('path').value.trim();
    const as = $('as').value;
    const started = performance.now();
    status('');
    clearPicture();
    clearTree();
    try {
        const replace = doc?.id;
        setDoc(null);
        const opened = await api('POST', '/api/open', { file, as: as || undefined, options: jsonOptions(), replace });
        if (ticket !== opening) return api('POST', `/api/close?doc=${opened.id}`).catch(() => {});
        setDoc({ id: opened.id, file, kind: opened.kind, as });
        document.body.dataset.doc = doc.id;
        $('folder').textContent = `in ${opened.folder}/`;
        opened.root.label = opened.root.label || file;
        showRoot(opened.root, opened.children);
        // For the benchmark: the library's load, and the time until the tree was on the page.
        Object.assign(document.body.dataset, { loadMs: opened.loadMs, treeMs: performance.now() - started });
        if ([OBJECT_LOAD, 'om3d'].includes(opened.kind)) await select('/', false);
    } catch (error) {
        if (ticket === opening) status(error.message, true);
    }
}

async function close() {
    ++opening;
    if (doc) await api('POST', `/api/close?doc=${doc.id}`).catch(() => {});
    setDoc(null);
    $('folder').textContent = '';
    clearPicture();
    clearTree();
}

// The file and node the address names (a link, a reload).
async function openFromLocation() {
    const { file, as, path } = locationState();
    if (!file) return;
    // Another node of the open file is only gone to.
    const again = !(doc && doc.file === file && (doc.as ?? '') === as);
    if (again) {
        $('path').value = file;
        $('as').value = as;
        await open();
    }
    if (doc && (path !== '/' || !again)) await reveal(path).catch((error) => status(error.message, true));
}

// Several objects (or a file's root) go to one object file.
function selectionChanged() {
    const several = selected.size > 1 || selected.has('/');
    $('save-to').placeholder = several ? 'objects.hobj (several objects: an object file)' : 'out.png, .tif, .dxf, .hobj';
}


// ---- Picture -----------------------------------------------------------

// A 3D object model shows in its own view, in place of the canvas.
function showNode(path) {
    const type = document.querySelector(`#tree li[data-path="${CSS.escape(path)}"] > .row .type`)?.textContent;
    if (type !== 'object_model_3d') return showScene(path);
    return showModel(doc.id, path).catch((error) => { clearPicture(); status(error.message, true); });
}

function clearPicture() {
    hideModel();
    picture = null;
    shapes = [];
    $('pixel').textContent = '\u00a0';
    draw();
}

async function loadImage(path, index = 0) {
    const response = await fetch(`/api/image?doc=${doc.id}&path=${encodeURIComponent(path)}&index=${index}`);
    if (!response.ok) throw new Error((await response.json()).error);
    const header = (name) => response.headers.get(name);
    const width = Number(header('X-Width')), height = Number(header('X-Height'));
    const rowBytes = Number(header('X-Row-Bytes')), format = header('X-Format');
    const pixels = new Uint8Array(await response.arrayBuffer());
    const pixelType = header('X-Pixel-Type') || '';
    const channels = Number(header('X-Channels'));
    return { x0: 0, y0: 0, width, height, rowBytes, format, channels, pixels, pixelType, path };
}

// The picture's layers anew, with the classes switched on now.
function recompose() {
    if (picture) Object.assign(picture, compose(picture.pixels && picture, picture, shapes, shown));
}

// Image `index` of an image node is drawn; `keepView` keeps the zoom and pan (stepping through frames).
async function showScene(path, { index = 0, keepView = false } = {}) {
    const started = performance.now();
    hideModel();
    try {
        const sceneData = await api('GET', `/api/scene?doc=${doc.id}&path=${encodeURIComponent(path)}`);
        const image = sceneData.image ? await loadImage(sceneData.image, sceneData.image === path ? index : 0) : null;
        // A region without runs draws nothing and takes no colour, as in ixdump.
        shapes = sceneData.shapes.filter((s) => !s.runs || s.runs.rows.length)
            .map((s, k) => ({ ...s, colour: colours[k % colours.length] }));
        picture = image ?? (sceneData.extent ? extentOf(shapes) : null);
        recompose();
        $('pixel').textContent = scaledNote() || '\u00a0';
        if (keepView) draw();
        else fit();
        Object.assign($('canvas').dataset, { shown: `${doc.id}:${path}`, sceneMs: performance.now() - started });
    } catch (error) {
        clearPicture();
        status(error.message, true);
    }
}

function bounds() {
    return picture && { x0: picture.x0, y0: picture.y0, width: picture.width, height: picture.height };
}

function fit() {
    const b = bounds();
    const canvas = $('canvas');
    if (b) {
        view.scale = Math.min(canvas.clientWidth / b.width, canvas.clientHeight / b.height);
        view.tx = (canvas.clientWidth - b.width * view.scale) / 2 - b.x0 * view.scale;
        view.ty = (canvas.clientHeight - b.height * view.scale) / 2 - b.y0 * view.scale;
    }
    draw();
}

function oneToOne() {
    const b = bounds();
    view.scale = 1;
    view.tx = b ? -b.x0 : 0;
    view.ty = b ? -b.y0 : 0;
    draw();
}

function shown(cls) {
    return document.querySelector(`input[data-class="${cls}"]`).checked;
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
    // From 1:1 on, the lines as ixdump draws them; smaller, a thin line would
    // fall between the sampled pixels, so they are stroked at their place.
    if (view.scale >= 1 && picture.lines) ctx.drawImage(picture.lines, picture.x0, picture.y0);
    if (view.scale >= 1) return ctx.setTransform(1, 0, 0, 1, 0, 0);
    ctx.lineWidth = 1.5 / view.scale;
    for (const s of shapes) {
        if (!s.lines || !shown(s.class)) continue;
        ctx.strokeStyle = s.colour;
        for (const line of s.lines) {
            ctx.beginPath();
            line.rows.forEach((r, i) => ctx.lineTo(line.cols[i] + 0.5, r + 0.5));
            ctx.stroke();
        }
    }
    ctx.setTransform(1, 0, 0, 1, 0, 0);
}

function scaledNote() {
    const type = picture?.pixelType;
    return type && type !== 'byte' ? `${type} image: the library scaled its min..max to 0..255` : '';
}

function pixelText(x, y) {
    if (!picture?.pixels) return '\u00a0';
    const outside = scaledNote() || '\u00a0';
    const col = Math.floor((x - view.tx) / view.scale), row = Math.floor((y - view.ty) / view.scale);
    if (row < 0 || col < 0 || row >= picture.height || col >= picture.width) return outside;
    const at = row * picture.rowBytes;
    const p = picture.pixels;
    let value;
    if (picture.format === 'gray') value = `${p[at + col]}`;
    else {
        const i = at + col * (picture.format === 'bgr' ? 3 : 4);
        if (picture.format === 'bgra' && picture.channels !== 4 && p[i + 3] === 0) value = 'outside the domain';
        else if (picture.channels === 1) value = `${p[i]}`;
        else value = `${p[i + 2]}, ${p[i + 1]}, ${p[i]}` + (picture.channels === 4 ? `, ${p[i + 3]}` : '');
    }
    const note = scaledNote();
    return `row ${row}, column ${col}: ${value}${note ? ` (${note})` : ''}`;
}

// ---- Events ------------------------------------------------------------

function setup() {
    initTree({ show: showNode, selectionChanged });
    $('open').onsubmit = (event) => { event.preventDefault(); open(); };
    $('close').onclick = close;
    // The server's library tells a file's kind from its content; the options
    // go with every load it chooses and count only for dictionary files.
    const updateOptions = () => {
        $('json-options').hidden = !takesJsonOptions($('as').value);
    };
    $('path').oninput = () => {
        updateOptions();
        if ($('path').value.endsWith('/')) list($('path').value);
    };
    $('as').onchange = updateOptions;
    $('fit').onclick = fit;
    $('one').onclick = oneToOne;
    for (const box of document.querySelectorAll('input[data-class]')) box.onchange = () => { recompose(); draw(); };
    $('save').onsubmit = async (event) => {
        event.preventDefault();
        if (!doc) return status('open a file first', true);
        if (!selected.size) return status('select a node to save', true);
        try {
            const { saved } = await write(`/api/save?doc=${doc.id}`, { paths: [...selected], to: $('save-to').value.trim() });
            status(`saved to ${saved}`);
        } catch (error) {
            status(error.message, true);
        }
    };
    $('convert').onsubmit = async (event) => {
        event.preventDefault();
        if (!doc) return status('open a dictionary file first', true);
        try {
            const { converted } = await write(`/api/convert?doc=${doc.id}`, {
                to: $('convert-to').value.trim(), ignoreNonSerializable: $('ignore').checked,
            });
            status(`converted to ${converted}`);
        } catch (error) {
            status(error.message, true);
        }
    };
    const canvas = $('canvas');
    canvas.onwheel = (event) => {
        event.preventDefault();
        const factor = Math.exp(-event.deltaY * 0.002);
        view.tx = event.offsetX - (event.offsetX - view.tx) * factor;
        view.ty = event.offsetY - (event.offsetY - view.ty) * factor;
        view.scale *= factor;
        draw();
    };
    let drag = null;
    canvas.onmousedown = (event) => { drag = { x: event.clientX, y: event.clientY }; };
    window.onmouseup = () => { drag = null; };
    canvas.onmousemove = (event) => {
        if (drag) {
            view.tx += event.clientX - drag.x;
            view.ty += event.clientY - drag.y;
            drag = { x: event.clientX, y: event.clientY };
            draw();
        }
        $('pixel').textContent = pixelText(event.offsetX, event.offsetY);
    };
    window.onresize = draw;
    document.addEventListener('ix:show-frame', (event) => { event.detail.shown = showScene(event.detail.path, event.detail); });
    // Leaving the page closes its file, so the server releases the reader.
    window.addEventListener('pagehide', () => {
        if (doc) fetch(`/api/close?doc=${doc.id}`, { method: 'POST', keepalive: true, headers: { 'Content-Type': 'application/json' }, body: '{}' });
    });
    updateOptions();
    list('samples');
    draw();
    window.addEventListener('hashchange', openFromLocation);
    openFromLocation();
}

setup();