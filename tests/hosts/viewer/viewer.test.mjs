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
import zlib from 'node:zlib';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../..');
const ixdump = process.env.IXDUMP ?? path.join(root, 'build/release/tools/ixdump/ixdump');
const require = createRequire(path.join(root, 'viewer/package.json'));
const { chromium } = require('playwright-core');
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
// Selects the node at `nodePath` and waits until the canvas shows it.
async function show(nodePath) {
    await row(nodePath).click();
    await page.waitForFunction((p) => document.getElementById('canvas').dataset.shown === `${document.body.dataset.doc}:${p}`, nodePath);
}

// The canvas position, in page coordinates, of the centre of image pixel (r, c).
async function pagePoint(r, c) {
    return page.evaluate(([r, c]) => {
        const canvas = document.getElementById('canvas');
        const { scale, tx, ty } = canvas.dataset;
        const box = canvas.getBoundingClientRect();
        return { x: box.left + Number(tx) + (c + 0.5) * Number(scale), y: box.top + Number(ty) + (r + 0.5) * Number(scale) };
    }, [r, c]);
}

const rowText = async (nodePath, part) => row(nodePath).locator(`.${part}`).textContent();

// The canvas pixel (RGBA) where image pixel (r, c) shows, at the current view.
async function canvasPixel(r, c) {
    return page.evaluate(([r, c]) => {
        const canvas = document.getElementById('canvas');
        const { scale, tx, ty } = canvas.dataset;
        const x = Math.floor(Number(tx) + (c + 0.5) * Number(scale));
        const y = Math.floor(Number(ty) + (r + 0.5) * Number(scale));
        return Array.from(canvas.getContext('2d').getImageData(x, y, 1, 1).data);
    }, [r, c]);
}

// A request as the page makes it, with the page's cookie; a body makes it a JSON POST.
const call = (url, body) => fetch(base + url, body === undefined ? { headers: { cookie } }
    : { method: 'POST', body, headers: { cookie, 'Content-Type': 'application/json' } });

async function api(url, body) {
    const response = await call(url, body);
    return response.headers.get('content-type').startsWith('application/json') ? response.json() : response;
}

test('an object file: its tree, its image and a region over it, saved and loaded again', async () => {
    await open('samples/scene.hobj');
    assert.equal(await rowText('/', 'type'), 'file');
    assert.equal(await rowText('/', 'summary'), '5 objects');
    assert.deepEqual(await page.locator('#tree > li > ul.tree > li > .row > .type').allTextContents(),
                     ['image', 'region', 'region', 'xld_cont', 'xld_poly']);
    assert.equal(await rowText('/[1]', 'label'), 'Object 2');
    assert.equal(await rowText('/[1]', 'summary'), 'area: 110; center: 9.5, 15.0');
    assert.match(await rowText('/[0]', 'summary'), /^64x48, 1ch, byte/);

    // The whole file drawn: the README's screenshot.
    const shot = process.env.IX_VIEWER_SCREENSHOT === '1' ? path.join(root, 'docs/viewer.png') : path.join(tmp, 'viewer.png');
    await page.screenshot({ path: shot });

    // The image alone at 1:1: the canvas shows the library's pixels inside the domain.
    await show('/[0]');
    const docId = await page.evaluate(() => document.body.dataset.doc);
    const image = await api(`/api/image?doc=${docId}&path=${encodeURIComponent('/[0]')}`);
    const [width, rowBytes, format] = ['X-Width', 'X-Row-Bytes', 'X-Format'].map((h) => image.headers.get(h));
    assert.equal(width, '64');
    const pixels = new Uint8Array(await image.arrayBuffer());
    assert.equal(format, 'bgra'); // one channel with a reduced domain
    const gray = (r, c) => pixels[r * rowBytes + c * 4];
    const inDomain = (r, c) => pixels[r * rowBytes + c * 4 + 3] === 255;
    // A pixel of the region inside the image's domain.
    const { runs } = (await api(`/api/scene?doc=${docId}&path=${encodeURIComponent('/[1]')}`)).shapes[0];
    const runIndex = runs.rows.findIndex((row, i) => inDomain(row, runs.ends[i]));
    const [r, c] = [runs.rows[runIndex], runs.ends[runIndex]];
    assert.deepEqual(await canvasPixel(r, c), [gray(r, c), gray(r, c), gray(r, c), 255]);

    // The region selected and switched off: the image's pixel again.
    await show('/[1]');
    await page.uncheck('input[data-class=region]');
    assert.deepEqual(await canvasPixel(r, c), [gray(r, c), gray(r, c), gray(r, c), 255]);
    await page.check('input[data-class=region]');

    // The pixel under the cursor.
    const point = await pagePoint(r, c);
    await page.mouse.move(point.x, point.y);
    assert.equal(await page.textContent('#pixel'), `row ${r}, column ${c}: ${gray(r, c)}`);

    // Saved as an object file and opened again.
    const saved = path.join(tmp, 'region.hobj');
    await page.fill('#save-to', saved);
    await page.click('#save button');
    await page.waitForSelector('#status:not(:empty)');
    assert.equal(await page.textContent('#status'), `saved to ${saved}`);
    await open(saved);
    assert.equal(await rowText('/[0]', 'type'), 'region');
    assert.equal(await rowText('/[0]', 'summary'), 'area: 110; center: 9.5, 15.0');

    // Saved again by a name relative to the open file's folder: replacing the file is asked first.
    assert.equal(await page.textContent('#folder'), `in ${tmp}/`);
    await show('/[0]');
    await page.fill('#save-to', 'region.hobj');
    const asked = page.waitForEvent('dialog').then(async (dialog) => { await dialog.accept(); return dialog.message(); });
    await page.click('#save button');
    assert.equal(await asked, `${saved} already exists. Replace it?`);
    await page.waitForSelector('#status:not(:empty)');
    assert.equal(await page.textContent('#status'), `saved to ${saved}`);
});

test('each drawing case: the canvas at 1:1 shows the pixels of ixdump --render', async () => {
    const geometry = path.join(tmp, 'geometry.hobj'); // a region and a contour, no image
    const { id } = await api('/api/open', JSON.stringify({ file: 'samples/scene.hobj' }));
    await api(`/api/save?doc=${id}`, JSON.stringify({ paths: ['/[1]', '/[3]'], to: geometry }));
    await api(`/api/close?doc=${id}`, '');
    // [file, node]: a file's objects over its image, an image, a region, contour and
    // polygon over the image beside them, geometry alone on a backdrop of its extent.
    const cases = [['samples/scene.hobj', '/'], ['samples/scene.hobj', '/[0]'], ['samples/scene.hobj', '/[1]'],
                   ['samples/scene.hobj', '/[3]'], ['samples/scene.hobj', '/[4]'], [geometry, '/'], [geometry, '/[1]']];
    const out = path.join(tmp, 'render.png');
    for (const [file, nodePath] of cases) {
        execFileSync(ixdump, ['--render', nodePath, '--out', out, file], { cwd: root });
        const rendered = await api('/api/open', JSON.stringify({ file: out }));
        const image = await api(`/api/image?doc=${rendered.id}&path=${encodeURIComponent('/[0]')}`);
        await api(`/api/close?doc=${rendered.id}`, '');
        const [width, height, rowBytes] = ['X-Width', 'X-Height', 'X-Row-Bytes'].map((h) => Number(image.headers.get(h)));
        const bgr = new Uint8Array(await image.arrayBuffer());
        await open(file);
        await page.waitForFunction(() => document.getElementById('canvas').dataset.shown === `${document.body.dataset.doc}:/`);
        if (nodePath !== '/') await show(nodePath);
        await page.click('#one');
        // One row and column more than the picture: beyond it, the page's backdrop.
        const shown = await page.evaluate(([w, h]) => Array.from(
            document.getElementById('canvas').getContext('2d').getImageData(0, 0, w, h).data), [width + 1, height + 1]);
        const differing = [];
        for (let r = 0; r <= height; ++r) {
            for (let c = 0; c <= width; ++c) {
                const at = r * rowBytes + c * 3;
                const want = r < height && c < width ? [bgr[at + 2], bgr[at + 1], bgr[at], 255] : [40, 40, 40, 255];
                const got = shown.slice((r * (width + 1) + c) * 4, (r * (width + 1) + c) * 4 + 4);
                if (want.some((v, k) => v !== got[k])) differing.push(`(${r}, ${c}) ${got} not ${want}`);
            }
        }
        assert.deepEqual(differing.slice(0, 5), [], `${file} ${nodePath}: ${differing.length} pixels differ`);
    }
});

test('a dictionary file: nested nodes fetched on expanding, a full value on demand', async () => {
    await open('samples/inspection.hdict');
    const valueRow = page.locator('#tree li[data-kind=value] > .row').first();
    const valuePath = await valueRow.evaluate((el) => el.parentElement.dataset.path);
    await valueRow.locator('.show-full').click();
    const full = await page.locator(`#tree li[data-path="${valuePath}"] > pre.full`).textContent();
    const dumped = execFileSync(ixdump,
                                ['--full', valuePath, path.join(root, 'samples/inspection.hdict')], { encoding: 'utf8' });
    assert.ok(dumped.includes(full), `${full} / ${dumped}`);

    const nested = page.locator('#tree li[data-kind=container] > .row .toggle:text("▸")').first();
    const nestedPath = await nested.evaluate((el) => el.closest('li').dataset.path);
    await nested.click();
    await page.waitForSelector(`#tree li[data-path="${nestedPath}"] > ul.tree > li`);
    const childPaths = await page.locator(`#tree li[data-path="${nestedPath}"] > ul.tree > li`).evaluateAll(
        (items) => items.map((li) => li.dataset.path));
    assert.ok(childPaths.length > 0 && childPaths.every((p) => p.startsWith(nestedPath + '/')), `${childPaths}`);

    // A long list of keys comes in parts.
    const many = path.join(tmp, 'many.json');
    fs.writeFileSync(many, JSON.stringify(Object.fromEntries(Array.from({ length: 600 }, (_, i) => [`k${i}`, i]))));
    await open(many);
    const keys = page.locator('#tree > li > ul.tree > li[data-path]');
    assert.equal(await keys.count(), 500);
    await page.click('#tree li.more button:text("100 more")');
    await page.waitForFunction(() => document.querySelectorAll('#tree > li > ul.tree > li[data-path]').length === 600);
    assert.equal(await rowText('/k599', 'summary'), '599');
    assert.equal(await page.locator('#tree li.more').count(), 0);
});

test('a colour image in its channels; JSON reading options; a dictionary file converted', async () => {
    await open('samples/gradient.png');
    await show('/[0]');
    const docId = await page.evaluate(() => document.body.dataset.doc);
    const image = await api(`/api/image?doc=${docId}&path=${encodeURIComponent('/[0]')}`);
    assert.equal(image.headers.get('X-Format'), 'bgr');
    const rowBytes = Number(image.headers.get('X-Row-Bytes'));
    const pixels = new Uint8Array(await image.arrayBuffer());
    for (const [r, c] of [[0, 0], [20, 50], [47, 63]]) {
        const [b, g, red] = pixels.subarray(r * rowBytes + c * 3, r * rowBytes + c * 3 + 3);
        assert.deepEqual(await canvasPixel(r, c), [red, g, b, 255]);
    }

    const typeOfClassNames = async (arraysTo) => {
        await page.fill('#path', 'samples/dataset.json');
        await page.dispatchEvent('#path', 'input');
        await page.selectOption('#opt-convert_json_arrays_to', arraysTo);
        await open('samples/dataset.json');
        return rowText('/class_names', 'type');
    };
    assert.equal(await typeOfClassNames('tuple'), 'string[3]');
    assert.equal(await typeOfClassNames(''), 'dict');

    const converted = path.join(tmp, 'dataset.hdict');
    await page.fill('#convert-to', converted);
    await page.click('#convert button');
    await page.waitForSelector('#status:not(:empty)');
    assert.equal(await page.textContent('#status'), `converted to ${converted}`);
    await open(converted);
    assert.equal(await rowText('/class_names', 'type'), 'dict');
    assert.equal(await rowText('/', 'summary'), '4 keys');
});

test('a 16-bit image says that its pixels were scaled', async () => {
    await open('samples/depth16.tif');
    await show('/[0]');
    const point = await pagePoint(10, 20);
    await page.mouse.move(point.x, point.y);
    assert.match(await page.textContent('#pixel'), /^row \d+, column \d+: \d+ \(uint2 image: the library scaled its min\.\.max to 0\.\.255\)$/);
});

test("a broken file shows the library's message, and the server goes on", async () => {
    const broken = path.join(tmp, 'broken.hobj');
    fs.writeFileSync(broken, 'HDOB this is not an object file');
    await open(broken);
    const shown = await page.textContent('#status.error');
    let message = '';
    try {
        execFileSync(ixdump, [broken], { stdio: 'pipe' });
    } catch (error) {
        message = error.stderr.toString();
    }
    assert.ok(shown.length > 0 && message.includes(shown), `${shown} / ${message}`);
    assert.equal(await page.locator('#tree li').count(), 0);
    await open('samples/scene.hobj');
    assert.equal(await rowText('/', 'summary'), '5 objects');
});

test('requests of the wrong shape are refused, not failed on', async () => {
    const { id } = await api('/api/open', JSON.stringify({ file: 'samples/scene.hobj' }));
    const refused = async (url, body) => {
        const response = await call(url, body);
        assert.equal(response.status, 400, `${url} ${body}: ${await response.text()}`);
    };
    await refused('/api/open', 'null');
    await refused('/api/open', JSON.stringify({ file: 'samples/dataset.json', options: 'x' }));
    await refused('/api/open', JSON.stringify({ file: 'samples/dataset.json', options: [{ key: 'nope', value: 1 }] }));
    await refused(`/api/save?doc=${id}`, JSON.stringify({ paths: [1], to: path.join(tmp, 'x.hobj') }));
    await refused(`/api/children?doc=${id}&path=/&from=-5`);
    await refused(`/api/image?doc=${id}&path=/[0]&index=abc`);
    assert.deepEqual(await api(`/api/close?doc=${id}`, ''), { closed: true });
    const long = await call('/api/open', ' '.repeat(2 << 20));
    assert.equal(long.status, 413); // refused before it is all held in memory
});

test('a second open before the first has answered leaves one file open', async () => {
    await open('samples/gradient.png');
    const before = Number(await page.evaluate(() => document.body.dataset.doc));
    await page.fill('#path', 'samples/scene.hobj');
    await page.evaluate(() => { const form = document.getElementById('open'); form.requestSubmit(); form.requestSubmit(); });
    // The first open is cancelled, or its file closed when it answers: only the second's stays.
    await page.waitForFunction((id) => Number(document.body.dataset.doc) > id && document.querySelector('#tree > li'), before);
    const second = Number(await page.evaluate(() => document.body.dataset.doc));
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

test('an image of two channels is named as not drawable, and the page goes on', async () => {
    // An 8x6 gray+alpha PNG.
    const chunk = (type, data) => {
        const body = Buffer.concat([Buffer.from(type), data]);
        const size = Buffer.alloc(4), crc = Buffer.alloc(4);
        size.writeUInt32BE(data.length);
        crc.writeUInt32BE(zlib.crc32(body));
        return Buffer.concat([size, body, crc]);
    };
    const header = Buffer.from([0, 0, 0, 8, 0, 0, 0, 6, 8, 4, 0, 0, 0]);
    const rows = Buffer.concat(Array.from({ length: 6 }, () => Buffer.from([0, ...Array(16).fill(200)])));
    const file = path.join(tmp, 'gray-alpha.png');
    fs.writeFileSync(file, Buffer.concat([Buffer.from('89504e470d0a1a0a', 'hex'), chunk('IHDR', header),
                                          chunk('IDAT', zlib.deflateSync(rows)), chunk('IEND', Buffer.alloc(0))]));
    await open(file);
    assert.equal(await page.textContent('#status.error'), 'an image of 2 channels cannot be drawn');
    await open('samples/gradient.png');
    await show('/[0]');
});

test('keys that are empty or hold "/" or "%" get paths of their own', async () => {
    const file = path.join(tmp, 'keys.json');
    fs.writeFileSync(file, JSON.stringify({ '': { inner: 1 }, 'a/b': 2, '%2F': 3, 'ü😀': { '': 4 } }));
    const { id, children } = await api('/api/open', JSON.stringify({ file }));
    const paths = children.children.map((c) => c.path);
    assert.equal(new Set(['/', ...paths]).size, 5, `${paths}`);
    for (const child of children.children) {
        const page = await api(`/api/children?doc=${id}&path=${encodeURIComponent(child.path)}`);
        assert.equal(page.total, child.childCount, child.path);
    }
    assert.equal((await api(`/api/children?doc=${id}&path=/`)).total, 4); // the root is still the root
    await api(`/api/close?doc=${id}`, '');
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
        const id = await page.evaluate(() => document.body.dataset.doc);
        const target = (name) => path.join(tmp, `foreign-${name}`);
        // [mode, URL, a POST's body (sent as text/plain, which needs no preflight)]
        const attacks = [
            ['no-cors', '/api/open', { file: 'samples/scene.hobj' }],
            ['no-cors', `/api/save?doc=${id}`, { paths: ['/'], to: target('save.hobj') }],
            ['no-cors', `/api/convert?doc=${id}`, { to: target('convert.json') }],
            ['no-cors', '/api/list?dir=/root'],
            ['no-cors', `/api/full?doc=${id}&path=/`],
            ['cors', '/api/list?dir=/'],
            ['cors', `/api/full?doc=${id}&path=/`],
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
        // A form posted as text/plain, its field's name and value made to read as JSON.
        const formUrl = `/api/save?doc=${id}`;
        answered.delete(formUrl);
        await Promise.all([evil.waitForURL(base + formUrl), evil.evaluate(([action, to]) => {
            const form = Object.assign(document.createElement('form'), { method: 'POST', enctype: 'text/plain', action });
            form.append(Object.assign(document.createElement('input'), { name: `{"paths":["/"],"to":"${to}","x":"`, value: '"}' }));
            document.body.append(form);
            form.submit();
        }, [base + formUrl, target('form.hobj')])]);
        const status = await answered.get(formUrl);
        console.log(`${status} a foreign page's form POST ${formUrl}`);
        assert.equal(status, 403);
        for (const name of ['save.hobj', 'convert.json', 'form.hobj']) assert.ok(!fs.existsSync(target(name)), name);
    } finally {
        server.off('request', record);
        await evil?.close();
        attacker.close();
    }
});
