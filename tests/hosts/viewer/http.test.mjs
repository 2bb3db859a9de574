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

// One request; by default as the page sends it: its Host, its cookie, a JSON body.
function send({ method = 'GET', path: target, host = url.host, headers = {}, body }) {
    const json = body === undefined ? {} : { 'content-type': 'application/json' };
    return new Promise((resolve, reject) => {
        const req = http.request({ host: '127.0.0.1', port: url.port, method, path: target,
                                   headers: { host, cookie, ...json, ...headers } }, (res) => {
            let text = '';
            res.setEncoding('utf8');
            res.on('data', (chunk) => { text += chunk; });
            res.on('end', () => resolve({ status: res.statusCode, headers: res.headers, text }));
        });
        req.on('error', reject);
        req.end(body === undefined ? undefined : JSON.stringify(body));
    });
}

before(async () => {
    tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'ix-viewer-http-'));
    cwd = path.join(tmp, 'cwd');
    fs.mkdirSync(cwd);
    fs.copyFileSync(path.join(root, 'samples/scene.hobj'), path.join(tmp, 'scene.hobj'));
    fs.writeFileSync(path.join(tmp, 'existing.hobj'), 'kept');
    server = spawn(process.execPath, [path.join(root, 'viewer/server.mjs')], { cwd, stdio: ['ignore', 'pipe', 'inherit'] });
    const line = await new Promise((resolve, reject) => {
        let out = '';
        server.stdout.on('data', (chunk) => { out += chunk; if (out.includes('\n')) resolve(out.split('\n')[0]); });
        server.on('exit', (code) => reject(new Error(`the server exited with ${code}`)));
    });
    url = new URL(line.match(/^ixadapter viewer: (http:\/\/127\.0\.0\.1:\d+\/\?token=[\w-]{43})$/)?.[1] ?? assert.fail(line));

    const welcome = await send({ path: url.pathname + url.search });
    assert.equal(welcome.status, 303);
    assert.equal(welcome.headers.location, '/');
    assert.match(welcome.headers['set-cookie'][0], /^ixviewer-\d+=[\w-]{43}; HttpOnly; SameSite=Strict; Path=\/$/);
    cookie = welcome.headers['set-cookie'][0].split(';')[0];
    doc = JSON.parse((await send({ method: 'POST', path: '/api/open', body: { file: path.join(tmp, 'scene.hobj') } })).text).id;
});

after(() => {
    server?.kill();
    if (tmp) fs.rmSync(tmp, { recursive: true, force: true });
});

test('requests not from the viewer\'s page, or beyond its bounds, are refused and change no file', async () => {
    const save = (body, more) => ({ method: 'POST', path: `/api/save?doc=${doc}`, body, ...more });
    const convert = (body, more) => ({ method: 'POST', path: `/api/convert?doc=${doc}`, body, ...more });
    const rebound = `attacker.example:${url.port}`;
    // [what, request, status, the file (beside the open one) it would write]
    const cases = [
        ['a DNS name rebound to the server, the page', { path: '/', host: rebound }, 403],
        ['a DNS name rebound to the server, the API', { path: '/api/list?dir=/', host: rebound }, 403],
        ['another port as Host', { path: '/api/list?dir=/', host: '127.0.0.1:1' }, 403],
        ['a foreign Origin', save({ paths: ['/[0]'], to: 'origin.png' }, { headers: { origin: 'http://attacker.example' } }), 403, 'origin.png'],
        ['a request another site started', { path: `/api/full?doc=${doc}&path=/`, headers: { 'sec-fetch-site': 'same-site' } }, 403],
        ['no token', { path: '/api/list?dir=/', headers: { cookie: '' } }, 403],
        ['a wrong token', { path: `/api/full?doc=${doc}&path=/`, headers: { cookie: `${cookie.split('=')[0]}=${'A'.repeat(43)}` } }, 403],
        ['a wrong token in the URL', { path: '/?token=guessed', headers: { cookie: '' } }, 403],
        ['a text/plain body', save({ paths: ['/[0]'], to: 'plain.png' }, { headers: { 'content-type': 'text/plain' } }), 415, 'plain.png'],
        ['a form body', convert({ to: 'form.json' }, { headers: { 'content-type': 'application/x-www-form-urlencoded' } }), 415, 'form.json'],
        ['replacing a file unasked', save({ paths: ['/[1]'], to: 'existing.hobj' }), 409, 'existing.hobj'],
        ['more than 1000 nodes', save({ paths: Array(1001).fill('/[0]'), to: 'many.hobj' }), 400, 'many.hobj'],
        ['a node twice', save({ paths: ['/[0]', '/[0]'], to: 'twice.hobj' }), 400, 'twice.hobj'],
        ['a file\'s root and one of its objects', save({ paths: ['/', '/[0]'], to: 'overlap.hobj' }), 400, 'overlap.hobj'],
        ['several objects to a .png', save({ paths: ['/[0]', '/[1]'], to: 'two.png' }), 400, 'two.png'],
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
