// The viewer's page: a file's tree, fetched node by node, and the selected
// node's image and geometry on a canvas.
import { clearPicture as clearCanvas, setupCanvas, showScene as drawScene } from './canvas.mjs';
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

// The server closes a page's files when it is gone: the page says it is there
// every 20 s (the server waits 120 s by default).
let pendingOpen = null;       // the ticket of the open in flight, for Cancel
const cancelOpen = (keepalive = false) => pendingOpen && fetch(`/api/cancel?open=${pendingOpen}`,
    { method: 'POST', keepalive, headers: { 'Content-Type': 'application/json' }, body: '{}' }).catch(() => {});

async function open() {
    const ticket = ++opening;
    const file = $('path').value.trim();
    const as = $('as').value;
    const started = performance.now();
    status('');
    clearPicture();
    clearTree();
    // A load that takes a while shows that it runs, and can be cancelled.
    cancelOpen(); // an open still in flight is not wanted any more
    const openTicket = pendingOpen = crypto.randomUUID();
    const progress = setTimeout(() => {
        status(`Opening ${file}…`);
        $('cancel').hidden = false;
    }, 200);
    try {
        const replace = doc?.id;
        setDoc(null);
        const opened = await api('POST', '/api/open', { file, as: as || undefined, options: jsonOptions(), replace, page: session.page, ticket: openTicket })
            .finally(() => {
                clearTimeout(progress);
                if (pendingOpen === openTicket) pendingOpen = null;
                $('cancel').hidden = true;
                if (ticket === opening) status('');
            });
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
        if (ticket === opening) status(error.message, error.status !== 409); // 409: cancelled
    }
}

async function close() {
    ++opening;
    cancelOpen();
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
    clearCanvas();
    return showModel(doc.id, path).catch((error) => { clearPicture(); status(error.message, true); });
}

function clearPicture() {
    hideModel();
    clearCanvas();
}

// Image `index` of an image node is drawn; `keepView` keeps the zoom and pan (stepping through frames).
async function showScene(path, options) {
    hideModel();
    try {
        await drawScene(doc.id, path, options);
    } catch (error) {
        status(error.message, true);
    }
}

// ---- Events ------------------------------------------------------------

// The handle between the tree and the view: dragged, or moved by the arrow keys.
function setupSplitter() {
    const splitter = $('splitter');
    const widthTo = (px) => {
        const width = Math.round(Math.min(Math.max(px, 160), window.innerWidth - 240));
        document.body.style.setProperty('--side-width', `${width}px`);
        splitter.setAttribute('aria-valuenow', width);
        window.dispatchEvent(new Event('resize')); // the canvas and the views fit themselves again
    };
    splitter.onpointerdown = (event) => {
        event.preventDefault(); // no text selected on the way
        splitter.setPointerCapture(event.pointerId);
        splitter.onpointermove = (move) => widthTo(move.clientX);
    };
    splitter.onpointerup = () => { splitter.onpointermove = null; };
    splitter.onkeydown = (event) => {
        const step = { ArrowLeft: -20, ArrowRight: 20 }[event.key];
        if (step) widthTo($('side').getBoundingClientRect().width + step);
    };
}

function setup() {
    setupSplitter();
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
    setupCanvas();
    document.addEventListener('ix:show-frame', (event) => { event.detail.shown = showScene(event.detail.path, event.detail); });
    // Leaving the page closes its file, so the server releases the reader.
    $('cancel').onclick = () => cancelOpen();
    setInterval(() => fetch(`/api/heartbeat?page=${session.page}`, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: '{}' }).catch(() => {}), 20_000);
    window.addEventListener('pagehide', () => {
        cancelOpen(true);
        if (doc) fetch(`/api/close?doc=${doc.id}`, { method: 'POST', keepalive: true, headers: { 'Content-Type': 'application/json' }, body: '{}' });
    });
    updateOptions();
    list('samples');
    window.addEventListener('hashchange', openFromLocation);
    openFromLocation();
}

setup();