// The viewer in a real browser: the server in this process, Debian's chromium
// driven by playwright-core. With IX_VIEWER_SCREENSHOT=1 it also writes
// docs/viewer.png, the screenshot of the README; otherwise the screenshot goes to
// a temporary folder and the source tree is left alone.
//   node tests/hosts/viewer/viewer.test.mjs
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../..');
const ixdump = process.env.IXDUMP ?? path.join(root, 'build/release/tools/ixdump/ixdump');
const require = createRequire(path.join(root, 'viewer/package.json'));
const { chromium } = require('playwright-core');
process.env.IX_VIEWER_TEXT_PART ??= '10000'; // long texts come in parts of this many characters
const { startServer } = await import(path.join(root, 'viewer/server.mjs'));

let server, browser, page, base, tmp, cookie;
const pageErrors = []; // uncaught exceptions and refused content in the page, over all the tests

before(async () => {
    tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'ix-viewer-'));
    server = await startServer(0);
    base = `http://127.0.0.1:${server.address().port}`;
    browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox'] });
    page = await (await browser.newContext({ viewport: { width: 1100, height: 640 } })).newPage();
    page.on('pageerror', (error) => pageErrors.push(error.message));
    page.on('console', (message) => { if (/Content Security Policy/.test(message.text())) pageErrors.push(message.text()); });
    await page.goto(server.url); // the printed URL: the token becomes the page's cookie
    assert.equal(page.url(), `${base}/`);
    cookie = (await page.context().cookies()).map((c) => `${c.name}=${c.value}`).join('; ');
});

after(async () => {
    await browser?.close();
    await new Promise((resolve) => (server ? server.close(resolve) : resolve()));
    if (tmp) fs.rmSync(tmp, { recursive: true, force: true });
    assert.deepEqual(pageErrors, []);
});

async function open(file) {
    await page.fill('#path', file);
    await page.click('#open button[type=submit]');
    await page.waitForFunction(() => document.querySelector('#tree > li > ul.tree') || document.querySelector('#status.error'));
}

const row = (nodePath) => page.locator(`#tree li[data-path="${nodePath}"] > .row`);
const docId = () => page.evaluate(() => document.body.dataset.doc);
// Waits until the canvas (or the 3D view) shows the node at `nodePath` of the open file.
const shown = (nodePath, view = 'canvas') => page.waitForFunction(([p, v]) =>
    document.getElementById(v).dataset.shown === `${document.body.dataset.doc}:${p}`, [nodePath, view]);
// Selects the node at `nodePath` and waits until the canvas shows it.
async function show(nodePath) {
    await row(nodePath).click();
    await shown(nodePath);
}
// Types into a field and presses Enter there.
async function enter(selector, text) {
    await page.fill(selector, text);
    await page.press(selector, 'Enter');
}
// Clicks a form's button and returns the status line it leaves.
async function statusAfter(button) {
    await page.click(button);
    await page.waitForSelector('#status:not(:empty)');
    return page.textContent('#status');
}

// Where the centre of image pixel (r, c) shows at the current view: its page coordinates
// { x, y } and the canvas pixel there (RGBA).
const atPixel = (r, c) => page.evaluate(([r, c]) => {
    const canvas = document.getElementById('canvas');
    const { scale, tx, ty } = canvas.dataset;
    const [x, y] = [Number(tx) + (c + 0.5) * Number(scale), Number(ty) + (r + 0.5) * Number(scale)];
    const box = canvas.getBoundingClientRect();
    const rgba = Array.from(canvas.getContext('2d').getImageData(Math.floor(x), Math.floor(y), 1, 1).data);
    return { x: box.left + x, y: box.top + y, rgba };
}, [r, c]);
const canvasPixel = async (r, c) => (await atPixel(r, c)).rgba;

const rowText = async (nodePath, part) => row(nodePath).locator(`.${part}`).textContent();

// A request as the page makes it, with the page's cookie; a body makes it a JSON POST.
const call = (url, body) => fetch(base + url, body === undefined ? { headers: { cookie } }
    : { method: 'POST', body, headers: { cookie, 'Content-Type': 'application/json' } });

async function api(url, body) {
    const response = await call(url, body);
    return response.headers.get('content-type').startsWith('application/json') ? response.json() : response;
}

// The bytes `/api/image` or `/api/values` hands out for a node, and a header of the answer by name (a number if it is one).
async function pixelsOf(what, nodePath, doc) {
    const response = await api(`/api/${what}?doc=${doc ?? await docId()}&path=${encodeURIComponent(nodePath)}`);
    const header = (h) => { const v = response.headers.get(h); return Number.isNaN(Number(v)) ? v : Number(v); };
    return { header, bytes: new Uint8Array(await response.arrayBuffer()) };
}

test('an object file: its tree, its image and a region over it, saved and loaded again', async () => {
    await open('samples/scene.hobj');
    assert.equal(await rowText('/', 'summary'), '5 objects');
    assert.deepEqual(await row('/[1]').locator('.label, .type, .summary').allTextContents(),
                     ['Object 2', 'region', 'area: 110; center: 9.5, 15.0']);

    // The image's pixels as the server hands them out; its drawing is the drawing cases' test.
    const { header, bytes: pixels } = await pixelsOf('image', '/[0]');
    const rowBytes = header('X-Row-Bytes');
    assert.deepEqual([header('X-Width'), header('X-Format')], [64, 'bgra']); // one channel with a reduced domain
    const gray = (r, c) => pixels[r * rowBytes + c * 4];
    const inDomain = (r, c) => pixels[r * rowBytes + c * 4 + 3] === 255;
    // A pixel of the region inside the image's domain.
    const { runs } = (await api(`/api/scene?doc=${await docId()}&path=${encodeURIComponent('/[1]')}`)).shapes[0];
    const runIndex = runs.rows.findIndex((row, i) => inDomain(row, runs.ends[i]));
    const [r, c] = [runs.rows[runIndex], runs.ends[runIndex]];

    // The region selected and switched off: the image's pixel again.
    await show('/[1]');
    await page.uncheck('input[data-class=region]');
    assert.deepEqual(await canvasPixel(r, c), [gray(r, c), gray(r, c), gray(r, c), 255]);
    await page.check('input[data-class=region]');

    // Saved as an object file and opened again.
    const saved = path.join(tmp, 'region.hobj');
    await page.fill('#save-to', saved);
    assert.equal(await statusAfter('#save button'), `saved to ${saved}`);
    await open(saved);
    assert.equal(await rowText('/[0]', 'summary'), 'area: 110; center: 9.5, 15.0');

    // Saved again by a name relative to the open file's folder: replacing the file is asked first.
    assert.equal(await page.textContent('#folder'), `in ${tmp}/`);
    await show('/[0]');
    await page.fill('#save-to', 'region.hobj');
    const asked = page.waitForEvent('dialog').then(async (dialog) => { await dialog.accept(); return dialog.message(); });
    assert.equal(await statusAfter('#save button'), `saved to ${saved}`);
    assert.equal(await asked, `${saved} already exists. Replace it?`);
});

test('each drawing case: the canvas at 1:1 shows the pixels of ixdump --render', async () => {
    const geometry = path.join(tmp, 'geometry.hobj'); // a region and a contour, no image
    const { id } = await api('/api/open', JSON.stringify({ file: 'samples/scene.hobj' }));
    await api(`/api/save?doc=${id}`, JSON.stringify({ paths: ['/[1]', '/[3]'], to: geometry }));
    await api(`/api/close?doc=${id}`, '');
    // [file, node]: a file's objects over its image, an image, a region, contour and
    // polygon over the image beside them, geometry alone on a backdrop of its extent,
    // a dictionary key of two regions (colours by the key's hash), a colour image.
    const cases = [['samples/scene.hobj', '/'], ['samples/scene.hobj', '/[0]'], ['samples/scene.hobj', '/[1]'],
                   ['samples/scene.hobj', '/[3]'], ['samples/scene.hobj', '/[4]'], [geometry, '/'], [geometry, '/[1]'],
                   ['samples/inspection.hdict', '/defects'], ['samples/gradient.png', '/[0]']];
    const out = path.join(tmp, 'render.png');
    for (const [file, nodePath] of cases) {
        execFileSync(ixdump, ['--render', nodePath, '--out', out, file], { cwd: root });
        const rendered = await api('/api/open', JSON.stringify({ file: out }));
        const { header, bytes: bgr } = await pixelsOf('image', '/[0]', rendered.id);
        await api(`/api/close?doc=${rendered.id}`, '');
        const [width, height, rowBytes] = ['X-Width', 'X-Height', 'X-Row-Bytes'].map(header);
        await open(file);
        await (nodePath === '/' ? shown('/') : show(nodePath));
        await page.click('#one');
        // One row and column more than the picture: beyond it, the page's backdrop.
        const drawn = await page.evaluate(([w, h]) => Array.from(
            document.getElementById('canvas').getContext('2d').getImageData(0, 0, w, h).data), [width + 1, height + 1]);
        const differing = [];
        for (let r = 0; r <= height; ++r) {
            for (let c = 0; c <= width; ++c) {
                const at = r * rowBytes + c * 3;
                const want = r < height && c < width ? [bgr[at + 2], bgr[at + 1], bgr[at], 255] : [40, 40, 40, 255];
                const got = drawn.slice((r * (width + 1) + c) * 4, (r * (width + 1) + c) * 4 + 4);
                if (want.some((v, k) => v !== got[k])) differing.push(`(${r}, ${c}) ${got} not ${want}`);
            }
        }
        assert.deepEqual(differing.slice(0, 5), [], `${file} ${nodePath}: ${differing.length} pixels differ`);
    }
});

test('a second open before the first has answered leaves one file open', async () => {
    await open('samples/gradient.png');
    const before = Number(await docId());
    await page.fill('#path', 'samples/scene.hobj');
    await page.evaluate(() => { const form = document.getElementById('open'); form.requestSubmit(); form.requestSubmit(); });
    // The first open is cancelled, or its file closed when it answers: only the second's stays.
    await page.waitForFunction((id) => Number(document.body.dataset.doc) > id && document.querySelector('#tree > li'), before);
    const second = Number(await docId());
    for (const id of [second - 1, second + 1].filter((i) => i > before)) {
        let status;
        for (let tries = 0; tries < 50 && status !== 404; ++tries) {
            status = (await call(`/api/children?doc=${id}&path=/`)).status;
            if (status !== 404) await new Promise((resolve) => setTimeout(resolve, 20));
        }
        assert.equal(status, 404, `file ${id}`); // the first file's reader was released
    }
    assert.equal(await page.locator('#tree > li').count(), 1);
});

test('a whole-number reading option reaches the library exact', async () => {
    const file = path.join(tmp, 'flag.json');
    fs.writeFileSync(file, '{"flag": true}');
    const valueOf = async (value) => {
        const opened = await api('/api/open', JSON.stringify({ file, options: [{ key: 'json_value_true', value }] }));
        await api(`/api/close?doc=${opened.id}`, '');
        return opened.children.children[0].summary;
    };
    assert.equal(await valueOf('9007199254740993'), '9007199254740993'); // beyond a double's integers
    assert.match(await valueOf('99999999999999999999'), /^1(\.0*)?e\+?20$/i); // beyond 64 bits: a real
});

test("a file that cannot be read or drawn: the library's message, and the page goes on", async () => {
    const broken = path.join(tmp, 'broken.hobj');
    fs.writeFileSync(broken, 'HDOB this is not an object file');
    await open(broken);
    assert.match(await page.textContent('#status.error'), /^Not an object file of the embedded backend/);
    assert.equal(await page.locator('#tree li').count(), 0);
    const grayAlpha = path.join(tmp, 'gray-alpha.tif');
    grayTiff(grayAlpha, 8, new Uint8Array(8 * 6 * 2).fill(200), 2);
    await open(grayAlpha);
    assert.equal(await page.textContent('#status.error'), 'an image of 2 channels cannot be drawn');
    assert.match(await page.textContent('#image-note'), /^The values of images of 2 channels are not handed out/);
    await open('samples/gradient.png');
    await show('/[0]');
});

test('keys that are empty or hold "/" or "%" get paths of their own', async () => {
    const file = path.join(tmp, 'keys.json');
    fs.writeFileSync(file, JSON.stringify({ '': { inner: 1 }, 'a/b': 2, '%2F': 3, 'ü😀': { '': 4 } }));
    const { id, children } = await api('/api/open', JSON.stringify({ file }));
    for (const child of children.children) {
        const page = await api(`/api/children?doc=${id}&path=${encodeURIComponent(child.path)}`);
        assert.equal(page.total, child.childCount, child.path);
    }
    assert.deepEqual(await api(`/api/close?doc=${id}`, ''), { closed: true });
});

test('a page of another origin in the same browser can neither write a file nor read an answer', async () => {
    const attacker = http.createServer((req, res) => res.end('<!doctype html><title>another origin</title>'));
    await new Promise((resolve) => attacker.listen(0, '127.0.0.1', resolve));
    const answered = new Map(); // request URL -> the status the viewer's server answered
    const record = (req, res) => answered.set(req.url, new Promise((resolve) => res.on('finish', () => resolve(res.statusCode))));
    server.on('request', record);
    let evil;
    try {
        evil = await page.context().newPage(); // the same profile: the viewer's cookie is there
        await evil.goto(`http://127.0.0.1:${attacker.address().port}/`);
        await open('samples/inspection.hdict');
        const id = await docId();
        const written = path.join(tmp, 'foreign.hobj'); // what the POST would write
        // [mode, URL, a POST's body (sent as text/plain, which needs no preflight)]
        const attacks = [
            ['no-cors', `/api/save?doc=${id}`, { paths: ['/'], to: written }],
            ['no-cors', `/api/full?doc=${id}&path=/`],
            ['cors', '/api/list?dir=/'],
        ];
        for (const [mode, url, body] of attacks) {
            const seen = await evil.evaluate(async ([url, mode, body]) => {
                const post = body ? { method: 'POST', headers: { 'Content-Type': 'text/plain' }, body } : {};
                try {
                    const response = await fetch(url, { mode, credentials: 'include', ...post });
                    return { type: response.type, text: await response.text() };
                } catch {
                    return 'failed';
                }
            }, [base + url, mode, body && JSON.stringify(body)]);
            const status = await answered.get(url);
            console.log(`${status} a foreign page's ${mode} ${body ? 'POST' : 'GET'} ${url}`);
            assert.equal(status, 403, url);
            // Nothing to read: a failed fetch, or (no-cors, where the browser lets it through) an opaque answer.
            assert.ok(seen === 'failed' || (mode === 'no-cors' && seen.type === 'opaque' && seen.text === ''), `${url}: ${JSON.stringify(seen)}`);
        }
        assert.ok(!fs.existsSync(written));
    } finally {
        server.off('request', record);
        await evil?.close();
        attacker.close();
    }
});

// ---- Datasets, frames and model cards ---------------------------------------

test("a dataset's boxes over its samples, frames stepped through at one view, a model card", async () => {
    const palette = JSON.parse(fs.readFileSync(path.join(root, 'viewer/public/drawing.json'), 'utf8')).palette;
    // Once the sample is shown, each box's left edge, half-way down, in its class's colour.
    const checkBoxes = async (index) => {
        await page.waitForFunction((i) => document.getElementById('sample-canvas')?.dataset.sample === `${i}`, index);
        const { boxes } = await api(`/api/dataset/sample?doc=${await docId()}&index=${index}`);
        assert.ok(boxes.length > 0);
        for (const box of boxes) {
            const seen = await page.evaluate((b) => {
                const canvas = document.getElementById('sample-canvas');
                const [scale, tx, ty] = ['scale', 'tx', 'ty'].map((k) => Number(canvas.dataset[k]));
                const [x, y] = [Math.round(tx + (b.col1 + 0.5) * scale), Math.round(ty + ((b.row1 + b.row2) / 2 + 0.5) * scale)];
                return Array.from(canvas.getContext('2d').getImageData(x, y, 1, 1).data);
            }, box);
            assert.deepEqual(seen, [...palette[box.classIndex], 255], `${box.className} of sample ${index}`);
        }
    };
    await open('samples/dataset/parts.json');
    await checkBoxes(0);
    assert.equal(await page.textContent('#sample-note'), path.join(root, 'samples/dataset/images/part_01.png'));
    assert.deepEqual(await page.locator('#sample-classes td').allTextContents(),
                     ['nut', '1', '2', '2', 'washer', '2', '2', '2', 'scratch', '3', '1', '1']);
    await page.keyboard.press('.');
    await checkBoxes(1);
    assert.match(await page.textContent('#sample-place'), /^sample 2 of 4 · train · image id 2 · 2 boxes$/);
    // Moved without its images: said so, and the boxes drawn on a frame of their extent.
    fs.copyFileSync(path.join(root, 'samples/dataset/parts.json'), path.join(tmp, 'parts.json'));
    await open(path.join(tmp, 'parts.json'));
    await checkBoxes(0);
    assert.match(await page.textContent('#sample-note'), /^image missing: .*images\/part_01\.png; the boxes on an empty frame/);

    // Frames: the next one at the same zoom and pan, the first and last by Home and End.
    await open('samples/frames.seq');
    await page.waitForSelector('#frames:not([hidden]) .frame-thumb canvas');
    assert.equal(await page.locator('.frame-thumb').count(), 2);
    await page.click('#one');
    const view = () => page.evaluate(() => { const { scale, tx, ty } = document.getElementById('canvas').dataset; return [scale, tx, ty]; });
    const before = await view();
    const frameShown = async (key, frame) => {
        await page.keyboard.press(key);
        await page.waitForFunction((f) => document.getElementById('frames').dataset.current === `${f}`
            && document.getElementById('canvas').dataset.shown.endsWith(`:/[${f}]`), frame);
    };
    await frameShown('.', 1);
    assert.deepEqual(await view(), before);
    const frame = await pixelsOf('image', '/[1]');
    const gray = frame.bytes[10 * frame.header('X-Row-Bytes') + 20];
    assert.deepEqual(await canvasPixel(10, 20), [gray, gray, gray, 255]);
    await frameShown('Home', 0);
    await frameShown('End', 1);

    // A deep-learning model: its card.
    await open('samples/classifier.onnx');
    await page.waitForSelector('#model-inputs');
    assert.deepEqual(await page.locator('#model-inputs td').allTextContents(), ['image', 'float', '? × 3 × 32 × 32']);
    assert.equal(await page.textContent('#model-images'), 'takes images of 32 × 32 pixels, 3 channels, any number at a time');
});

// ---- Navigating the tree -------------------------------------------------

const focusedPath = () => page.evaluate(() => document.activeElement.dataset.path);
const tableStats = async () => (await page.waitForSelector('#table:not([hidden]) .stats')).textContent();
const selectedPaths = () => page.locator('#tree li[aria-selected=true]').evaluateAll((items) => items.map((li) => li.dataset.path));

test('a dictionary file converted; its tree by keyboard, a path copied, gone to, and opened again by the address', async () => {
    await open('samples/inspection.hdict');
    const converted = path.join(tmp, 'inspection.hdict');
    await page.fill('#convert-to', converted);
    assert.equal(await statusAfter('#convert button'), `converted to ${converted}`);
    await open(converted);
    assert.equal(await rowText('/', 'summary'), '7 keys');
    await row('/').click();
    // [key, the path focused after it]
    const walk = [['ArrowDown', '/part_id'], ['End', '/stations'], ['ArrowRight', '/stations'], ['ArrowRight', '/stations/1'],
                  ['ArrowDown', '/stations/2'], ['ArrowLeft', '/stations'], ['ArrowLeft', '/stations'], ['ArrowDown', '/stations'],
                  ['Home', '/'], ['c', '/camera'], ['ArrowLeft', '/']];
    for (const [key, want] of walk) {
        await page.keyboard.press(key);
        await page.waitForFunction(() => !document.querySelector('#tree li[aria-busy=true], #tree li[aria-expanded=true]:not(:has(> ul))'));
        assert.equal(await focusedPath(), want, key);
    }
    assert.equal(await page.locator('#tree li[tabindex="0"]').count(), 1);
    await page.keyboard.press('c');
    await page.keyboard.press('Enter');
    assert.equal(await tableStats(), 'min 0 · max 1200 · mean 329 (9 values)');
    assert.deepEqual(await selectedPaths(), ['/camera']);

    await page.context().grantPermissions(['clipboard-read', 'clipboard-write']);
    await page.click('#copy-path');
    assert.equal(await page.evaluate(() => navigator.clipboard.readText()), '/camera');

    await enter('#goto-path', '/stations/3/[0]');
    await page.waitForFunction(() => document.getElementById('node-path').textContent === '/stations/3/[0]');
    assert.equal(await focusedPath(), '/stations/3/[0]');
    await page.reload();
    await page.waitForSelector('#tree li[data-path="/stations/3/[0]"][aria-selected=true]');
    assert.ok(!page.url().includes('token'), page.url());
});

test('a long array: jump to an index, go to a path, filter, a tuple as a table', async () => {
    const file = path.join(tmp, 'long.json');
    fs.writeFileSync(file, JSON.stringify({ big: Array.from({ length: 5000 }, (_, i) => i), objs: Array.from({ length: 1200 }, (_, a) => ({ a })) }));
    await page.fill('#path', file);
    await page.dispatchEvent('#path', 'input'); // shows the reading options of JSON
    await page.selectOption('#opt-convert_json_arrays_to', 'tuple');
    await open(file);
    await page.selectOption('#opt-convert_json_arrays_to', '');
    await row('/objs').locator('.toggle').click();
    await enter('#tree li.more .jump', '1100');
    await page.waitForSelector('#tree li[data-path="/objs/[1100]"][aria-selected=true]');
    assert.equal(await focusedPath(), '/objs/[1100]');
    assert.deepEqual(await page.locator('#tree li.more > button').allTextContents(), ['500 more (500–999)']);
    // The entries left out, by their button: no gap is left.
    await page.click('#tree li.more button:text("500 more")');
    await page.waitForFunction(() => document.querySelectorAll('#tree li[data-path^="/objs/"]').length === 1200);
    assert.equal(await rowText('/objs/[999]', 'summary'), '1 key');
    assert.equal(await page.locator('#tree li.more').count(), 0);

    // A path that names no node: the server's message, cleared by the next answer.
    for (const [to, shown] of [['/nope', 'no node at /nope'], ['/objs/[700]/a', '']]) {
        await enter('#goto-path', to);
        await page.waitForFunction(([to, shown]) => document.getElementById('status').textContent === shown
            && (shown || document.getElementById('node-path').textContent === to), [to, shown]);
    }
    await page.fill('#filter', '[1100]');
    const visible = () => page.locator('#tree li[data-path]').evaluateAll((items) => items.filter((li) => li.checkVisibility()).map((li) => li.dataset.path));
    assert.deepEqual(await visible(), ['/', '/objs', '/objs/[1100]']);
    await page.fill('#filter', '');

    await row('/big').click();
    assert.equal(await tableStats(), 'min 0 · max 4999 · mean 2499.5 (5000 values)');
    await enter('#table-index', '4990');
    await page.waitForFunction(() => document.querySelector('#table tbody th')?.textContent === '4990');
    assert.deepEqual(await page.locator('#table tbody td').allTextContents(), ['4990', '4991', '4992', '4993', '4994', '4995', '4996', '4997', '4998', '4999']);
    // Its whole text, 28,890 characters, in three parts: the rest by "more".
    await row('/big').locator('.show-full').click();
    const more = page.locator('#tree li[data-path="/big"] > .full > .more-text');
    for (let i = 0; i < 2; ++i) await more.click();
    await more.waitFor({ state: 'hidden' });
    assert.equal(await page.textContent('#tree li[data-path="/big"] > .full pre'), `[${Array.from({ length: 5000 }, (_, i) => i).join(', ')}]`);
});

// ---- 3D object models ----------------------------------------------------

// The 3D view read back: lit pixels, those of one colour, and how many differ from the first view's.
const model3d = (rgb, first = false) => page.evaluate(async ([rgb, first]) => {
    const { width, height, pixels } = (await import('/model3d.mjs')).modelPixels();
    let lit = 0, coloured = 0, changed = 0;
    const shades = new Set();
    for (let i = 0; i < width * height * 4; i += 4) {
        const [r, g, b] = pixels.subarray(i, i + 3);
        if (r !== 40 || g !== 40 || b !== 40) ++lit, shades.add(`${r},${g},${b}`);
        if (r === rgb[0] && g === rgb[1] && b === rgb[2]) ++coloured;
        if (window.firstModel?.[i] !== r || window.firstModel?.[i + 1] !== g) ++changed;
    }
    if (first) window.firstModel = pixels;
    return { lit, coloured, changed, shades: shades.size };
}, [rgb, first]);

test('3D object models: points, polygons and faces drawn, turned by a drag, and thinned by the server', async () => {
    const mesh = path.join(tmp, 'tetrahedron.ply'); // four triangles
    fs.writeFileSync(mesh, 'ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\nproperty float z\n' +
        'element face 4\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n3 0 2 1\n3 0 1 3\n3 0 3 2\n3 1 2 3\n');
    // [file, node, the view's note, a colour that must show: the highest point's (viridis' end), the outlines' or none]
    const cases = [['samples/bracket.ply', '/', '6 points, 2 polygons, coloured by height (z)', [253, 231, 37]],
                   ['samples/bracket.ply', '/', '', [255, 170, 0]],
                   ['samples/inspection.hdict', '/surface', '8 points, coloured by height (z)', [253, 231, 37]],
                   [mesh, '/', '4 points, 4 triangles, coloured by height (z), shaded by face', null]];
    for (const [file, nodePath, note, rgb] of cases) {
        await open(file);
        if (nodePath !== '/') await row(nodePath).click();
        await shown(nodePath, 'model3d');
        if (note) assert.equal(await page.textContent('#model3d-bar span'), note);
        const first = await model3d(rgb ?? [], true);
        assert.ok(rgb ? first.coloured > 0 : first.lit > 20000 && first.shades >= 3, `${file} ${JSON.stringify(first)}`);
        const box = await page.locator('#model3d').boundingBox();
        await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
        await page.mouse.down();
        await page.mouse.move(box.x + box.width / 2 + 120, box.y + box.height / 2 + 30, { steps: 4 });
        await page.mouse.up();
        assert.ok((await model3d([])).changed > 500, `${file}: the drag turned nothing`);
        await page.keyboard.press('r');
        assert.equal((await model3d([])).changed, 0, `${file}: r did not return to the first view`);
    }
    // Beyond `max` points, every k-th, and only the faces whose corners are all sent.
    const { id } = await api('/api/open', JSON.stringify({ file: 'samples/bracket.ply' }));
    const thinned = await api(`/api/model?doc=${id}&path=/&max=3`);
    assert.deepEqual(['X-Point-Count', 'X-Points-Sent', 'X-Point-Stride', 'X-Polygons-Sent', 'X-Bounds'].map((h) => thinned.headers.get(h)),
                     ['6', '3', '2', '0', '0,0,0,40,30,25']);
    assert.deepEqual(Array.from(new Float32Array(await thinned.arrayBuffer(), 0, 9)), [0, 0, 0, 40, 30, 0, 0, 0, 25]);
    assert.equal((await call(`/api/model?doc=${id}&path=/num_points`)).status, 422);
    await api(`/api/close?doc=${id}`, '');
});

// ---- Image inspection: stored values, display range, channels, zoom ----

// A one-strip uncompressed TIFF of the typed array's values (little-endian machine):
// gray, or with a second channel as alpha.
function grayTiff(file, width, values, channels = 1) {
    const data = Buffer.from(values.buffer);
    const format = values instanceof Float32Array ? 3 : 1; // float or unsigned
    const rows = values.length / width / channels;
    const tags = [[256, width], [257, rows], [258, values.BYTES_PER_ELEMENT * 8], [259, 1], [262, 1], [273, 0],
                  [277, channels], [278, rows], [279, data.length], ...(channels === 2 ? [[338, 2]] : []), [339, format]];
    const ifd = Buffer.alloc(2 + tags.length * 12 + 4);
    ifd.writeUInt16LE(tags.length);
    tags.forEach(([tag, value], k) => {
        ifd.writeUInt16LE(tag, 2 + k * 12);
        ifd.writeUInt16LE(4, 4 + k * 12); // LONG
        ifd.writeUInt32LE(1, 6 + k * 12);
        ifd.writeUInt32LE(tag === 273 ? 8 + ifd.length : value, 10 + k * 12); // the strip follows the directory
    });
    fs.writeFileSync(file, Buffer.concat([Buffer.from([0x49, 0x49, 42, 0, 8, 0, 0, 0]), ifd, data]));
}

// Opens a file and waits until its root is drawn.
async function openDrawn(file) {
    await open(file);
    await shown('/');
}

async function readout(r, c) {
    const point = await atPixel(r, c);
    await page.mouse.move(point.x, point.y);
    return page.textContent('#pixel');
}

test('the readout gives stored values exactly: uint2, real with NaN and infinities', async () => {
    await openDrawn('samples/depth16.tif');
    const stored = new Uint16Array((await pixelsOf('values', '/[0]')).bytes.buffer);
    assert.match(await readout(10, 20), new RegExp(`^row 10, column 20: ${stored[10 * 64 + 20]} \\(shown \\d+\\)$`));
    await page.mouse.wheel(0, -500); // the README's screenshot: a 16-bit image, its grid, range and readout
    await page.waitForFunction(() => Number(document.getElementById('canvas').dataset.scale) > 24);
    await page.fill('#save-to', '');
    await page.fill('#convert-to', '');
    await page.selectOption('#colour-map', 'viridis');
    await readout(10, 20);
    const shot = process.env.IX_VIEWER_SCREENSHOT === '1' ? path.join(root, 'docs/viewer.png') : path.join(tmp, 'viewer.png');
    await page.screenshot({ path: shot });
    await page.selectOption('#colour-map', 'gray');

    const real = path.join(tmp, 'real.tif');
    grayTiff(real, 3, Float32Array.of(NaN, Infinity, -Infinity, 0.1, -2.5e-7, 1e30, 3, 4, 5, 6, 7, 8));
    await openDrawn(real);
    const texts = [];
    for (const [r, c] of [[0, 0], [0, 1], [0, 2], [1, 0], [1, 1], [1, 2]]) texts.push(await readout(r, c));
    assert.deepEqual(texts.map((t) => t.replace(/ \(shown \d+\)$/, '')), ['row 0, column 0: NaN (shown none)',
        'row 0, column 1: inf', 'row 0, column 2: -inf', 'row 1, column 0: 0.1', 'row 1, column 1: -2.5e-7', 'row 1, column 2: 1e+30']);
    assert.ok(texts[1].endsWith('(shown 255)') && texts[2].endsWith('(shown 0)'), `${texts}`);
});

test('the percentile range passes over an outlier; min..max and typed ranges', async () => {
    const file = path.join(tmp, 'outlier.tif'); // 16x16 uint2: 1000..1254 and one 65535; ranks 1 and 254 of 256
    grayTiff(file, 16, Uint16Array.from({ length: 256 }, (_, i) => (i === 255 ? 65535 : 1000 + i)));
    await openDrawn(file);
    assert.deepEqual([await page.inputValue('#range-min'), await page.inputValue('#range-max')], ['1001', '1254']);
    assert.equal(await readout(8, 0), 'row 8, column 0: 1128 (shown 128)');
    assert.deepEqual(await canvasPixel(8, 0), [128, 128, 128, 255]);
    await page.selectOption('#range-mode', 'minmax');
    assert.deepEqual(await canvasPixel(8, 0), [1, 1, 1, 255]);
    await page.fill('#range-min', '1128');
    await enter('#range-max', '1127'); // a reversed range inverts
    assert.equal(await readout(8, 1), 'row 8, column 1: 1129 (shown 0)');
    assert.equal(await page.inputValue('#range-mode'), 'manual');
});

test('a colour image through the channel picker; pixels fetched once per node', async () => {
    const fetched = [];
    const count = (request) => { if (request.url().includes('/api/values')) fetched.push(request.url()); };
    page.on('request', count);
    await openDrawn('samples/gradient.png');
    const { bytes } = await pixelsOf('values', '/[0]');
    const value = (k, r, c) => bytes[k * 64 * 48 + r * 64 + c];
    // [the choices made, the channels then shown as red, green and blue]
    for (const [choices, shown] of [[[['#channel', '1']], [1, 1, 1]], [[['#channel', 'rgb'], ['#rgb-0', '2'], ['#rgb-2', '0']], [2, 1, 0]]]) {
        for (const [select, option] of choices) await page.selectOption(select, option);
        assert.deepEqual(await canvasPixel(20, 50), [...shown.map((k) => value(k, 20, 50)), 255]);
    }
    assert.equal(await readout(20, 50), `row 20, column 50: ${[0, 1, 2].map((k) => value(k, 20, 50)).join(', ')} (shown ${
        [2, 1, 0].map((k) => value(k, 20, 50)).join(', ')})`);
    await show('/[0]');
    await show('/');
    page.off('request', count);
    assert.equal(fetched.length, 1, `${fetched}`);
});

test('zoom stays within 1/64..256 about the cursor; f and 1; refit on resizing until moved', async () => {
    await openDrawn('samples/depth16.tif');
    const scale = () => page.evaluate(() => Number(document.getElementById('canvas').dataset.scale));
    const before = await readout(30, 40);
    for (let i = 0; i < 12; ++i) await page.mouse.wheel(0, -400);
    await page.waitForFunction(() => document.getElementById('canvas').dataset.scale === '256');
    assert.equal(await page.textContent('#pixel'), before); // the pixel under the cursor stayed there
    for (let i = 0; i < 16; ++i) await page.mouse.wheel(0, 400);
    await page.waitForFunction(() => document.getElementById('canvas').dataset.scale === String(1 / 64));
    await page.keyboard.press('1');
    assert.equal(await scale(), 1);
    await page.keyboard.press('f');
    const fitted = await scale();
    await page.setViewportSize({ width: 900, height: 500 });
    await page.waitForFunction((s) => Number(document.getElementById('canvas').dataset.scale) < s, fitted);
    // The handle between the tree and the view, dragged to x = 200: the view takes the rest.
    const handle = await page.locator('#splitter').boundingBox(), y = handle.y + 100, width = async (id) => (await page.locator(id).boundingBox()).width;
    await page.mouse.move(handle.x + 2, y).then(() => page.mouse.down()).then(() => page.mouse.move(200, y)).then(() => page.mouse.up());
    assert.deepEqual([await width('#side'), await width('#canvas')], [200, 900 - 205]);
    await page.evaluate(() => document.body.style.removeProperty('--side-width'));
    await page.keyboard.press('1');
    await page.setViewportSize({ width: 1100, height: 640 });
    assert.equal(await scale(), 1);
});

// ---- Overlays as objects -------------------------------------------------

test('overlays: an object keeps its colour alone and with its file, is picked on the canvas, the legend', async () => {
    await openDrawn('samples/scene.hobj');
    const swatch = (p) => row(p).locator('.swatch').evaluate((m) => getComputedStyle(m).backgroundColor);
    const colours = await Promise.all(['/[1]', '/[2]', '/[3]', '/[4]'].map(swatch));
    assert.equal(new Set(colours).size, 4);
    assert.deepEqual(await page.locator('#legend > div').allTextContents(), [' regions 2', ' contours 1', ' polygons 1']);
    const doc = await docId();
    const shapes = (await api(`/api/scene?doc=${doc}&path=/`)).shapes;
    const [line, region] = [shapes.find((s) => s.path === '/[3]').lines[0], shapes.find((s) => s.path === '/[1]').runs];
    const at = line.rows.length >> 1; // a point of the contour that no other line crosses
    const [lr, lc] = [Math.round(line.rows[at]), Math.round(line.cols[at])];
    const rgb = async () => `rgb(${(await canvasPixel(lr, lc)).slice(0, 3).join(', ')})`;
    assert.equal(await rgb(), colours[2]);
    await show('/[3]');
    assert.equal(await rgb(), colours[2]);

    // A click on the canvas selects the object under it in the tree; the file stays drawn around it.
    await show('/');
    const pickAt = async (r, c, picked, selected) => {
        const point = r === null ? await page.locator('#canvas').boundingBox() : await atPixel(r, c);
        await page.mouse.click(point.x + (r === null ? 2 : 0), point.y + (r === null ? 2 : 0));
        await page.waitForFunction(([p, s]) => document.getElementById('canvas').dataset.picked === p
            && document.querySelector('#tree [aria-selected=true]')?.dataset.path === s, [picked, selected]);
    };
    const middle = Math.floor(region.rows.length / 2);
    await pickAt(region.rows[middle], region.begins[middle] + 1, '/[1]', '/[1]');
    assert.match(await page.textContent('#overlay-tip'), /^Object 2 \(region\)\narea: 110/);
    await pickAt(lr, lc, '/[3]', '/[3]');
    await pickAt(null, null, '', '/'); // beside every object: the file's node again
    assert.equal(await page.evaluate(() => document.getElementById('canvas').dataset.shown), `${doc}:/`);
    await page.click('#legend > div[data-class=region]');
    assert.equal(await page.isChecked('input[data-class=region]'), false);
    await page.click('#legend > div[data-class=region]');
});
