// The viewer's page: a file's tree, fetched node by node, and the selected
// node's image and geometry on a canvas.
import { colours, compose, extentOf, rule } from './drawing.mjs';

const $ = (id) => document.getElementById(id);

let doc = null;               // { id, file, kind }
let opening = 0;              // counts the opens and closes; a file opened by an older one is closed unseen
let selected = new Set();     // paths of the selected nodes
let picture = null;           // { x0, y0, width, height, base, lines } and, over an image, its pixels, format, rowBytes, pixelType
let shapes = [];              // [{ class, colour, lines | runs }]
const view = { scale: 1, tx: 0, ty: 0 };

// A POST always carries a JSON body: the server takes no other.
async function api(method, url, body = {}) {
    const post = method === 'POST';
    const response = await fetch(url, {
        method,
        headers: post ? { 'Content-Type': 'application/json' } : {},
        body: post ? JSON.stringify(body) : undefined,
    });
    const value = await response.json();
    if (!response.ok) throw Object.assign(new Error(value.error), { status: response.status });
    return value;
}

// A save or conversion; replacing an existing file is asked first.
async function write(url, body) {
    try {
        return await api('POST', url, body);
    } catch (error) {
        if (error.status !== 409 || !confirm(`${error.message}. Replace it?`)) throw error;
        return api('POST', url, { ...body, overwrite: true });
    }
}

function status(text, isError = false) {
    $('status').textContent = text;
    $('status').className = isError ? 'error' : '';
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
    return ['json_value_true', 'json_value_false', 'json_value_null', 'convert_json_arrays_to']
        .map((key) => ({ key, value: $(`opt-${key}`).value }))
        .filter((o) => o.value !== '');
}

// This page's name to the server, which closes the page's files when it is gone:
// the page says it is there every 20 s (the server waits 120 s by default).
const pageId = crypto.randomUUID();
let pendingOpen = null;       // the ticket of the open in flight, for Cancel
const cancelOpen = (keepalive = false) => pendingOpen && fetch(`/api/cancel?open=${pendingOpen}`,
    { method: 'POST', keepalive, headers: { 'Content-Type': 'application/json' }, body: '{}' }).catch(() => {});

async function open() {
    const ticket = ++opening;
    const file = $('path').value.trim();
    const as = $('as').value;
    const started = performance.now();
    status('');
    selected.clear();
    clearPicture();
    $('tree').replaceChildren();
    // A load that takes a while shows that it runs, and can be cancelled.
    cancelOpen(); // an open still in flight is not wanted any more
    const openTicket = pendingOpen = crypto.randomUUID();
    const progress = setTimeout(() => {
        status(`Opening ${file}…`);
        $('cancel').hidden = false;
    }, 200);
    try {
        const replace = doc?.id;
        doc = null;
        const opened = await api('POST', '/api/open', { file, as: as || undefined, options: jsonOptions(), replace, page: pageId, ticket: openTicket })
            .finally(() => {
                clearTimeout(progress);
                if (pendingOpen === openTicket) pendingOpen = null;
                $('cancel').hidden = true;
                if (ticket === opening) status('');
            });
        if (ticket !== opening) return api('POST', `/api/close?doc=${opened.id}`).catch(() => {});
        doc = { id: opened.id, file, kind: opened.kind };
        document.body.dataset.doc = doc.id;
        $('folder').textContent = `in ${opened.folder}/`;
        opened.root.label = opened.root.label || file;
        $('tree').append(nodeItem(opened.root));
        showChildren($('tree').firstChild, opened.children);
        // For the benchmark: the library's load, and the time until the tree was on the page.
        Object.assign(document.body.dataset, { loadMs: opened.loadMs, treeMs: performance.now() - started });
        if (opened.kind === 'object') await select('/', false);
    } catch (error) {
        if (ticket === opening) status(error.message, error.status !== 409); // 409: cancelled
    }
}

async function close() {
    ++opening;
    if (doc) await api('POST', `/api/close?doc=${doc.id}`).catch(() => {});
    doc = null;
    $('folder').textContent = '';
    selected.clear();
    clearPicture();
    $('tree').replaceChildren();
}

// ---- Tree --------------------------------------------------------------

function span(className, text) {
    const s = document.createElement('span');
    s.className = className;
    s.textContent = text;
    return s;
}

function nodeItem(info) {
    const li = document.createElement('li');
    li.dataset.path = info.path;
    li.dataset.kind = info.kind;
    const row = document.createElement('div');
    row.className = 'row';
    const toggle = span('toggle', info.childCount > 0 ? '▸' : '');
    row.append(toggle, span('label', info.label), span('type', info.type), span('summary', info.summary));
    if (info.kind === 'value') {
        const full = document.createElement('button');
        full.className = 'show-full';
        full.textContent = info.truncated ? 'all values' : 'full';
        full.onclick = (event) => { event.stopPropagation(); showFull(li); };
        row.append(' ', full);
    }
    row.onclick = (event) => {
        if (event.target === toggle) return expand(li);
        select(info.path, event.ctrlKey || event.metaKey);
    };
    row.ondblclick = () => expand(li);
    li.append(row);
    if (info.details.length) {
        const details = document.createElement('ul');
        details.className = 'details';
        for (const line of info.details) details.append(Object.assign(document.createElement('li'), { textContent: line }));
        li.append(details);
    }
    return li;
}

async function expand(li) {
    const toggle = li.querySelector(':scope > .row > .toggle');
    if (!toggle.textContent) return;
    const open = li.querySelector(':scope > ul.tree');
    if (open) {
        open.remove();
        toggle.textContent = '▸';
        return;
    }
    try {
        showChildren(li, await api('GET', `/api/children?doc=${doc.id}&path=${encodeURIComponent(li.dataset.path)}`));
    } catch (error) {
        status(error.message, true);
    }
}

// Appends a page of children under `li`; a long list ends in a button for the next page.
function showChildren(li, { total, from, children }) {
    let ul = li.querySelector(':scope > ul.tree');
    if (!ul) {
        ul = Object.assign(document.createElement('ul'), { className: 'tree' });
        li.append(ul);
        li.querySelector(':scope > .row > .toggle').textContent = '▾';
    }
    ul.querySelector(':scope > li.more')?.remove();
    ul.append(...children.map(nodeItem));
    const shown = from + children.length;
    if (shown < total) {
        const more = Object.assign(document.createElement('li'), { className: 'more' });
        const button = Object.assign(document.createElement('button'), { textContent: `${total - shown} more` });
        button.onclick = async () => {
            try {
                showChildren(li, await api('GET', `/api/children?doc=${doc.id}&path=${encodeURIComponent(li.dataset.path)}&from=${shown}`));
            } catch (error) {
                status(error.message, true);
            }
        };
        more.append(button);
        ul.append(more);
    }
}

async function showFull(li) {
    const shown = li.querySelector(':scope > pre.full');
    if (shown) return shown.remove();
    try {
        const { text } = await api('GET', `/api/full?doc=${doc.id}&path=${encodeURIComponent(li.dataset.path)}`);
        const pre = Object.assign(document.createElement('pre'), { className: 'full', textContent: text });
        li.querySelector(':scope > .row').after(pre);
    } catch (error) {
        status(error.message, true);
    }
}

async function select(path, add) {
    if (!add) selected.clear();
    if (add && selected.has(path)) selected.delete(path);
    else selected.add(path);
    for (const row of document.querySelectorAll('.row.selected')) row.classList.remove('selected');
    for (const li of document.querySelectorAll('#tree li')) {
        if (selected.has(li.dataset.path)) li.querySelector(':scope > .row').classList.add('selected');
    }
    // Several objects (or a file's root) go to one object file.
    const several = selected.size > 1 || selected.has('/');
    $('save-to').placeholder = several ? 'objects.hobj (several objects: an object file)' : 'out.png, .tif, .dxf, .hobj';
    if (!add) await showScene(path);
}

// ---- Picture -----------------------------------------------------------

function clearPicture() {
    picture = null;
    shapes = [];
    $('pixel').textContent = '\u00a0';
    draw();
}

async function loadImage(path) {
    const response = await fetch(`/api/image?doc=${doc.id}&path=${encodeURIComponent(path)}`);
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

async function showScene(path) {
    const started = performance.now();
    try {
        const sceneData = await api('GET', `/api/scene?doc=${doc.id}&path=${encodeURIComponent(path)}`);
        const image = sceneData.image ? await loadImage(sceneData.image) : null;
        // A region without runs draws nothing and takes no colour, as in ixdump.
        shapes = sceneData.shapes.filter((s) => !s.runs || s.runs.rows.length)
            .map((s, k) => ({ ...s, colour: colours[k % colours.length] }));
        picture = image ?? (sceneData.extent ? extentOf(shapes) : null);
        recompose();
        $('pixel').textContent = scaledNote() || '\u00a0';
        fit();
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
    $('open').onsubmit = (event) => { event.preventDefault(); open(); };
    $('close').onclick = close;
    // The server's library tells a file's kind from its content; the options
    // go with every load it chooses and count only for dictionary files.
    const updateOptions = () => {
        $('json-options').hidden = !['', 'dict'].includes($('as').value);
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
    // Leaving the page closes its file, so the server releases the reader.
    $('cancel').onclick = () => cancelOpen();
    setInterval(() => fetch(`/api/heartbeat?page=${pageId}`, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: '{}' }).catch(() => {}), 20_000);
    window.addEventListener('pagehide', () => {
        cancelOpen(true);
        if (doc) fetch(`/api/close?doc=${doc.id}`, { method: 'POST', keepalive: true, headers: { 'Content-Type': 'application/json' }, body: '{}' });
    });
    updateOptions();
    list('samples');
    draw();
}

setup();
