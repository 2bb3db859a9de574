// The viewer's server as a client that is not its page sees it: the server started as
// `./run.sh --viewer` starts it, requests written header by header with node:http.
// Each refused request must leave the files as they were; each one is logged.
//   node tests/hosts/viewer/http.test.mjs
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import http from 'node:http';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { isDeepStrictEqual } from 'node:util';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../..');
let server, url, tmp, cwd, doc;
let cookie = ''; // the page's, once the printed URL was opened

// One request; by default as the page sends it to the first server: its Host, its cookie, a JSON body.
function send({ method = 'GET', path: target, to = { url, cookie }, host = to.url.host, headers = {}, body }) {
    const json = body === undefined ? {} : { 'content-type': 'application/json' };
    return new Promise((resolve, reject) => {
        // A connection of its own: a kept-alive one may be closed by the server as it is reused.
        const req = http.request({ host: '127.0.0.1', port: to.url.port, method, path: target, agent: false,
                                   headers: { host, cookie: to.cookie, ...json, ...headers } }, (res) => {
            let text = '';
            res.setEncoding('utf8');
            res.on('data', (chunk) => { text += chunk; });
            res.on('end', () => resolve({ status: res.statusCode, headers: res.headers, text }));
        });
        req.on('error', reject);
        req.end(body === undefined ? undefined : JSON.stringify(body));
    });
}

// A server started as `./run.sh --viewer` starts it, its printed URL opened: { process, url, cookie }.
async function launch(env = {}) {
    const started = spawn(process.execPath, [path.join(root, 'viewer/server.mjs')], { cwd, env: { ...process.env, ...env }, stdio: ['ignore', 'pipe', 'inherit'] });
    const line = await new Promise((resolve, reject) => {
        let out = '';
        started.stdout.on('data', (chunk) => { out += chunk; if (out.includes('\n')) resolve(out.split('\n')[0]); });
        started.on('exit', (code) => reject(new Error(`the server exited with ${code}`)));
    });
    const printed = new URL(line.match(/^ixadapter viewer: (http:\/\/127\.0\.0\.1:\d+\/\?token=[\w-]{43})$/)?.[1] ?? assert.fail(line));
    const welcome = await send({ path: printed.pathname + printed.search, to: { url: printed, cookie: '' } });
    assert.equal(welcome.status, 303);
    assert.equal(welcome.headers.location, '/');
    assert.match(welcome.headers['set-cookie'][0], /^ixviewer-\d+=[\w-]{43}; HttpOnly; SameSite=Strict; Path=\/$/);
    return { process: started, url: printed, cookie: welcome.headers['set-cookie'][0].split(';')[0] };
}

before(async () => {
    tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'ix-viewer-http-'));
    cwd = path.join(tmp, 'cwd');
    fs.mkdirSync(cwd);
    fs.copyFileSync(path.join(root, 'samples/scene.hobj'), path.join(tmp, 'scene.hobj'));
    fs.writeFileSync(path.join(tmp, 'existing.hobj'), 'kept');
    ({ process: server, url, cookie } = await launch());
    doc = JSON.parse((await send({ method: 'POST', path: '/api/open', body: { file: path.join(tmp, 'scene.hobj') } })).text).id;
});

after(() => {
    server?.kill();
    if (tmp) fs.rmSync(tmp, { recursive: true, force: true });
});

test('requests not from the viewer\'s page, or beyond its bounds, are refused and change no file', async () => {
    const save = (body, more) => ({ method: 'POST', path: `/api/save?doc=${doc}`, body, ...more });
    const rebound = `attacker.example:${url.port}`;
    // [what, request, status, the file (beside the open one) it would write]
    const cases = [
        ['a DNS name rebound to the server, the page', { path: '/', host: rebound }, 403],
        ['another port as Host', { path: '/api/list?dir=/', host: '127.0.0.1:1' }, 403],
        ['a foreign Origin', save({ paths: ['/[0]'], to: 'origin.png' }, { headers: { origin: 'http://attacker.example' } }), 403, 'origin.png'],
        ['a request another site started', { path: `/api/full?doc=${doc}&path=/`, headers: { 'sec-fetch-site': 'same-site' } }, 403],
        ['no token', { path: '/api/list?dir=/', headers: { cookie: '' } }, 403],
        ['a wrong token', { path: `/api/full?doc=${doc}&path=/`, headers: { cookie: `${cookie.split('=')[0]}=${'A'.repeat(43)}` } }, 403],
        ['a wrong token in the URL', { path: '/?token=guessed', headers: { cookie: '' } }, 403],
        ['a text/plain body', save({ paths: ['/[0]'], to: 'plain.png' }, { headers: { 'content-type': 'text/plain' } }), 415, 'plain.png'],
        ['replacing a file unasked', save({ paths: ['/[1]'], to: 'existing.hobj' }), 409, 'existing.hobj'],
        ['more than 1000 nodes', save({ paths: Array(1001).fill('/[0]'), to: 'many.hobj' }), 400, 'many.hobj'],
        ['a node twice', save({ paths: ['/[0]', '/[0]'], to: 'twice.hobj' }), 400, 'twice.hobj'],
        ['a file\'s root and one of its objects', save({ paths: ['/', '/[0]'], to: 'overlap.hobj' }), 400, 'overlap.hobj'],
        ['several objects to a .png', save({ paths: ['/[0]', '/[1]'], to: 'two.png' }), 400, 'two.png'],
        // Requests of the wrong shape: refused, not failed on.
        ['a path that is no text', save({ paths: [1], to: 'number.hobj' }), 400, 'number.hobj'],
        ['an open of null', { method: 'POST', path: '/api/open', body: null }, 400],
        ['reading options that are no list', { method: 'POST', path: '/api/open', body: { file: path.join(tmp, 'scene.hobj'), options: 'x' } }, 400],
        ['an unknown reading option', { method: 'POST', path: '/api/open', body: { file: path.join(tmp, 'scene.hobj'), options: [{ key: 'nope', value: 1 }] } }, 400],
        ['a negative first child', { path: `/api/children?doc=${doc}&path=/&from=-5` }, 400],
        ['an index that is no number', { path: `/api/image?doc=${doc}&path=/[0]&index=abc` }, 400],
        ['a negative sample', { path: `/api/dataset/sample?doc=${doc}&index=-1` }, 400],
        ['a body of 2 MB, refused before it is all held', { method: 'POST', path: '/api/open', body: ' '.repeat(2 << 20) }, 413],
        // What the page sends passes.
        ['localhost as Host', { path: '/api/version', host: `localhost:${url.port}` }, 200],
        ['a relative save, beside the open file', save({ paths: ['/[1]'], to: 'region.hobj' }), 200, 'region.hobj'],
        ['replacing a file when asked', save({ paths: ['/[1]'], to: 'existing.hobj', overwrite: true }), 200, 'existing.hobj'],
    ];
    const contentOf = (file) => (file && fs.existsSync(path.join(tmp, file)) ? fs.readFileSync(path.join(tmp, file)) : null);
    for (const [what, request, status, file] of cases) {
        const before = contentOf(file);
        const answer = await send(request);
        console.log(`${answer.status} ${what}: ${request.method ?? 'GET'} ${request.path}`);
        assert.equal(answer.status, status, `${what}: ${answer.text}`);
        assert.equal(!isDeepStrictEqual(contentOf(file), before), answer.status < 300 && file !== undefined, `${what}: the file`);
        assert.match(answer.headers['content-security-policy'], /^default-src 'self'; .*frame-ancestors 'none'/, what);
        assert.deepEqual([answer.headers['x-content-type-options'], answer.headers['referrer-policy'], answer.headers['cache-control']],
                         ['nosniff', 'no-referrer', 'no-store'], what);
    }
    assert.deepEqual(fs.readdirSync(cwd), []); // nothing relative lands in the server's working folder
});

test('long work leaves the server answering; files are bounded per page, expire with it, and long texts come in parts', async () => {
    const quick = await launch({ IX_VIEWER_EXPIRY_SECONDS: '1', IX_VIEWER_TEXT_PART: '1000' });
    after(() => quick.process.kill());
    const to = { url: quick.url, cookie: quick.cookie };
    const call = async (method, target, body) => {
        const answer = await send({ method, path: target, to, body: method === 'POST' ? body ?? {} : undefined });
        return { status: answer.status, ...JSON.parse(answer.text) };
    };
    const timed = async (work) => { const t = performance.now(); const result = await work(); return { result, ms: performance.now() - t }; };
    // A dictionary of 400,000 keys beside a list of 600,000 numbers (read as a tuple): ~12 MB.
    const big = path.join(tmp, 'big.json');
    const keys = Array.from({ length: 400_000 }, (_, i) => `"k${i}":${i}`).join(',');
    fs.writeFileSync(big, `{"big":{${keys}},"list":[${Array.from({ length: 600_000 }, (_, i) => i).join(',')}]}`);
    const openBig = (page, ticket) => call('POST', '/api/open', { file: big, page, ticket, options: [{ key: 'convert_json_arrays_to', value: 'tuple' }] });

    // During a long open, the version and another file's children are answered, each in a small part of its time.
    const small = await call('POST', '/api/open', { file: path.join(tmp, 'scene.hobj'), page: 'a' });
    let done = false;
    const opening = timed(() => openBig('b', 'slow')).finally(() => { done = true; });
    const answered = [];
    while (!done) {
        const version = await timed(() => call('GET', '/api/version'));
        const children = await timed(() => call('GET', `/api/children?doc=${small.id}&path=/`));
        assert.deepEqual([version.result.status, children.result.total], [200, 5]);
        if (!done) answered.push(Math.max(version.ms, children.ms));
    }
    const { result: large, ms: loadMs } = await opening;
    assert.equal(large.status, 200, large.error);
    assert.ok(answered.length >= 3 && Math.max(...answered) < loadMs / 4, `${answered.map(Math.round)} during ${Math.round(loadMs)} ms`);

    // A miss under the large node is found without listing it; a hit has the position of each step.
    const miss = await timed(() => call('GET', `/api/locate?doc=${large.id}&path=/big/k400000`));
    assert.ok(miss.result.status === 404 && miss.ms < loadMs / 4, `${miss.result.error} in ${miss.ms} ms`);
    const hit = await timed(() => call('GET', `/api/locate?doc=${large.id}&path=/big/k399998`));
    assert.deepEqual(hit.result.steps, [{ path: '/big', index: 0 }, { path: '/big/k399998', index: 399998 }]);
    // The long text comes in parts.
    const text = (from) => call('GET', `/api/full?doc=${large.id}&path=/list&from=${from}&count=5000`);
    const first = await text(0);
    const last = await text(first.length - 10);
    assert.deepEqual([first.text.length, first.text.slice(0, 9), last.text], [1000, '[0, 1, 2,', '8, 599999]']);

    // A cancelled open is answered at once; the load's reader goes when it returns.
    const cancelled = timed(() => openBig('b', 'unwanted'));
    let cancel;
    do cancel = await call('POST', '/api/cancel?open=unwanted'); while (!cancel.cancelled);
    const refused = await cancelled;
    assert.ok(refused.result.status === 409 && refused.ms < loadMs / 2, `${refused.result.error} in ${refused.ms} ms`);
    assert.equal((await call('POST', '/api/cancel?open=unwanted')).cancelled, false);

    // The ninth file of a page closes the one it used least recently; a page gone loses its files.
    const opened = [];
    for (let i = 0; i < 9; ++i) opened.push(await call('POST', '/api/open', { file: path.join(tmp, 'scene.hobj'), page: 'c' }));
    assert.deepEqual(opened[8].closed, [opened[0].id]);
    assert.deepEqual((await call('POST', '/api/heartbeat?page=c')).documents, opened.slice(1).map((o) => o.id));
    await new Promise((resolve) => setTimeout(resolve, 2500));
    assert.deepEqual((await call('POST', '/api/heartbeat?page=c')).documents, []);
    assert.equal((await call('GET', `/api/children?doc=${opened[8].id}&path=/`)).status, 404);
});
