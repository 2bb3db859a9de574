// The viewer's memory, without a browser (run by hand):
//   node viewer/bench-memory.mjs [--cycles N] [--keep] [--unclosed]
// (--keep: the JSON files stay and their folder is printed; IXADAPTER_LIBRARY names
// the library the server loads, as for the server itself).
// The server runs in a child process (this script with --serve: startServer, as
// `node viewer/server.mjs` runs it, and a channel that reports the child's memory)
// and is driven through its HTTP API the way the page drives it. Its resident size
// (VmRSS in /proc/PID/status) is read, with the size of V8's heap and the bytes
// malloc'd and not freed (mallinfo2: uordblks + hblkhd),
// - before any file is opened, and after a COCO-style JSON file of ~20 MB is opened
//   and what a user expands first is shown: the root's children and the first page
//   of "annotations" and of "images" (growth / file size);
// - after each of N cycles (10 by default) that open, expand and close the COCO file
//   and a dataset-like JSON file of ~48 MB (RSS after each cycle / after the first),
//   and the library's load of each file as the server times it.
// With --unclosed: ten pages each open a dataset-like JSON file of ~1.6 MB and are
// gone without closing it (a tab closed before its `pagehide` went out); the RSS
// after each open, and once the server's expiry (IX_VIEWER_EXPIRY_SECONDS, 10 here)
// has passed.
import { spawn } from 'node:child_process';
import http from 'node:http';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { koffi } from './ixadapter.mjs';

const cyclesArg = process.argv.indexOf('--cycles');
const cycles = cyclesArg > 0 ? Number(process.argv[cyclesArg + 1]) : 10;
const keep = process.argv.includes('--keep');
const MB = 1e6;

// A deterministic stream of numbers in [0, 1).
function random(seed) {
    let state = seed >>> 0;
    return () => {
        state = (Math.imul(state, 1664525) + 1013904223) >>> 0;
        return state / 4294967296;
    };
}
const fixed = (value, digits) => Number(value.toFixed(digits));

// Writes the JSON texts that `parts` yields into `file`, in chunks of about 1 MB.
function writeJson(file, parts) {
    const fd = fs.openSync(file, 'w');
    let chunk = '';
    for (const part of parts) {
        chunk += part;
        if (chunk.length > 1 << 20) {
            fs.writeSync(fd, chunk);
            chunk = '';
        }
    }
    fs.writeSync(fd, chunk);
    fs.closeSync(fd);
    return fs.statSync(file).size;
}

function* list(count, item) {
    for (let i = 0; i < count; ++i) yield (i ? ',' : '') + JSON.stringify(item(i));
}

// A COCO-style annotation file: 12,000 images, 88,000 annotations of one polygon each.
function* coco() {
    const r = random(20261207);
    const images = 12000, annotations = 88000, categories = 80;
    yield '{"info":' + JSON.stringify({ description: 'a generated COCO-style set', url: 'http://localhost/', version: '1.0',
                                         year: 2026, contributor: 'ixadapter', date_created: '2026-12-07 00:00:00' });
    yield ',"licenses":' + JSON.stringify(Array.from({ length: 8 }, (_, i) => ({ url: `http://localhost/license/${i}`, id: i + 1, name: `License ${i + 1}` })));
    yield ',"images":[';
    yield* list(images, (i) => ({
        license: 1 + (i % 8), file_name: `${String(i).padStart(12, '0')}.jpg`, coco_url: `http://localhost/images/${i}.jpg`,
        height: 360 + Math.floor(r() * 280), width: 480 + Math.floor(r() * 160), date_captured: '2026-11-14 17:02:52', id: i,
    }));
    yield '],"annotations":[';
    yield* list(annotations, (i) => {
        const x = r() * 500, y = r() * 400, w = 8 + r() * 120, h = 8 + r() * 120;
        const polygon = [];
        for (let k = 0; k < 6; ++k) polygon.push(fixed(x + r() * w, 2), fixed(y + r() * h, 2));
        return {
            segmentation: [polygon], area: fixed(w * h * 0.6, 4), iscrowd: 0, image_id: Math.floor(r() * images),
            bbox: [fixed(x, 2), fixed(y, 2), fixed(w, 2), fixed(h, 2)], category_id: 1 + Math.floor(r() * categories), id: 900000 + i,
        };
    });
    yield '],"categories":[';
    yield* list(categories, (i) => ({ supercategory: `group${i % 12}`, id: i + 1, name: `category ${i + 1}` }));
    yield ']}';
}

// A dataset description: 160,000 samples with a file name, an id, a split, a flag,
// a note and five short arrays of box coordinates and labels.
function* dataset(samples = 160000) {
    const r = random(48);
    yield '{"class_names":' + JSON.stringify(Array.from({ length: 20 }, (_, i) => `class${i}`));
    yield ',"image_dir":"images","samples":[';
    yield* list(samples, (i) => {
        const boxes = 1 + Math.floor(r() * 5);
        const coords = () => Array.from({ length: boxes }, () => fixed(r() * 1000, 4));
        return {
            image_file_name: `img_${String(i).padStart(6, '0')}.png`, image_id: i,
            split: ['train', 'validation', 'test'][i % 3], checked: r() < 0.5, note: `sample ${i}`,
            bbox_row1: coords(), bbox_col1: coords(), bbox_row2: coords(), bbox_col2: coords(),
            bbox_label_id: Array.from({ length: boxes }, () => Math.floor(r() * 20)),
        };
    });
    yield ']}';
}

// The server's resident size in bytes.
function rss(pid) {
    const kb = fs.readFileSync(`/proc/${pid}/status`, 'utf8').match(/^VmRSS:\s+(\d+) kB$/m)[1];
    return Number(kb) * 1024;
}

// The child: the viewer's server, and its memory on request.
async function serve() {
    const { startServer } = await import('./server.mjs');
    const server = await startServer(0);
    koffi.struct('MallInfo2', Object.fromEntries(
        'arena ordblks smblks hblks hblkhd usmblks fsmblks uordblks fordblks keepcost'.split(' ').map((f) => [f, 'size_t'])));
    const mallinfo2 = koffi.load('libc.so.6').func('MallInfo2 mallinfo2()');
    process.on('message', () => {
        const heap = mallinfo2();
        process.send({ rss: rss(process.pid), v8: process.memoryUsage().heapTotal, mallocUsed: Number(heap.uordblks) + Number(heap.hblkhd) });
    });
    console.log(`ixadapter viewer: ${server.url}`);
}

// The child's memory: { rss, v8, mallocUsed } in bytes.
function memory({ server }) {
    return new Promise((resolve) => {
        server.once('message', resolve);
        server.send('memory');
    });
}

async function startServer() {
    const server = spawn(process.execPath, [new URL(import.meta.url).pathname, '--serve'], { stdio: ['ignore', 'pipe', 'inherit', 'ipc'] });
    const line = await new Promise((resolve, reject) => {
        let out = '';
        server.stdout.on('data', (chunk) => { out += chunk; if (out.includes('\n')) resolve(out.split('\n')[0]); });
        server.on('exit', (code) => reject(new Error(`the server exited with ${code}`)));
    });
    const url = new URL(line.match(/(http:\S+)/)[1]);
    const client = { server, url, cookie: '' };
    const welcome = await request(client, 'GET', url.pathname + url.search);
    client.cookie = welcome.headers['set-cookie'][0].split(';')[0];
    return client;
}

// One request as the page sends it: its Host and Origin, the launch's cookie, a JSON body.
function request({ url, cookie }, method, target, body) {
    const headers = { host: url.host, origin: url.origin, cookie };
    if (method === 'POST') headers['content-type'] = 'application/json';
    return new Promise((resolve, reject) => {
        const req = http.request({ host: '127.0.0.1', port: url.port, method, path: target, headers }, (res) => {
            let text = '';
            res.setEncoding('utf8');
            res.on('data', (chunk) => { text += chunk; });
            res.on('end', () => {
                if (res.statusCode >= 400) reject(new Error(`${method} ${target}: ${res.statusCode} ${text}`));
                else resolve({ headers: res.headers, json: text && res.headers['content-type']?.startsWith('application/json') ? JSON.parse(text) : null });
            });
        });
        req.on('error', reject);
        req.end(method === 'POST' ? JSON.stringify(body ?? {}) : undefined);
    });
}
const api = async (client, method, target, body) => (await request(client, method, target, body)).json;

// Opens `file` and expands what a user expands first: the root's children (given with
// the open) and the first page of each of `expand`.
async function openAndExpand(client, file, expand) {
    const opened = await api(client, 'POST', '/api/open', { file });
    for (const key of expand)
        await api(client, 'GET', `/api/children?doc=${opened.id}&path=${encodeURIComponent('/' + key)}`);
    return opened;
}

const close = (client, id) => api(client, 'POST', `/api/close?doc=${id}`);
const settle = () => new Promise((resolve) => setTimeout(resolve, 200));
const mb = (bytes) => (bytes / MB).toFixed(1);

async function main() {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'ix-viewer-memory-'));
    const files = [
        { file: path.join(dir, 'coco.json'), parts: coco, expand: ['annotations', 'images'] },
        { file: path.join(dir, 'dataset.json'), parts: dataset, expand: ['samples'] },
    ];
    for (const f of files) f.size = writeJson(f.file, f.parts());
    const client = await startServer();
    try {
        await api(client, 'GET', '/api/version');
        await settle();
        const before = await memory(client);
        const [cocoFile] = files;
        const { id } = await openAndExpand(client, cocoFile.file, cocoFile.expand);
        await settle();
        const held = await memory(client);
        await close(client, id);
        console.log(`| file | size (MB) | RSS before (MB) | RSS holding it (MB) | growth / file | malloc'd in use, growth / file |`);
        console.log('|---|---:|---:|---:|---:|---:|');
        console.log(`| ${path.basename(cocoFile.file)} | ${mb(cocoFile.size)} | ${mb(before.rss)} | ${mb(held.rss)} `
                    + `| ${((held.rss - before.rss) / cocoFile.size).toFixed(2)}× | ${((held.mallocUsed - before.mallocUsed) / cocoFile.size).toFixed(2)}× |`);

        console.log(`\n${cycles} cycles, each opening, expanding and closing ${files.map((f) => `${path.basename(f.file)} (${mb(f.size)} MB)`).join(' and ')}`);
        console.log(`(before any open: RSS ${mb(before.rss)} MB, V8 heap ${mb(before.v8)} MB, ${mb(before.mallocUsed)} MB malloc'd in use):\n`);
        console.log(`| cycle | RSS holding a file, largest (MB) | RSS after the cycle (MB) | ÷ after the first | ÷ before any open | V8 heap (MB) | malloc'd, in use (MB) |`);
        console.log('|---:|---:|---:|---:|---:|---:|---:|');
        let first = 0;
        for (let cycle = 1; cycle <= cycles; ++cycle) {
            let largest = 0;
            for (const f of files) {
                const doc = await openAndExpand(client, f.file, f.expand);
                (f.loads ??= []).push(doc.loadMs);
                largest = Math.max(largest, (await memory(client)).rss);
                await close(client, doc.id);
            }
            await settle();
            const after = await memory(client);
            if (cycle === 1) first = after.rss;
            console.log(`| ${cycle} | ${mb(largest)} | ${mb(after.rss)} | ${(after.rss / first).toFixed(3)} | ${(after.rss / before.rss).toFixed(2)} `
                        + `| ${mb(after.v8)} | ${mb(after.mallocUsed)} |`);
        }
        const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
        console.log(`\nThe library's load in the cycles (ms, median; first cycle): ${files.map((f) => `${path.basename(f.file)} ${median(f.loads).toFixed(0)} (${f.loads[0].toFixed(0)})`).join(', ')}`);
    } finally {
        client.server.kill();
        if (keep) console.log(`\nThe files: ${dir}`);
        else fs.rmSync(dir, { recursive: true, force: true });
    }
}

// Ten pages open a file each and never close it.
async function unclosed() {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'ix-viewer-memory-'));
    const file = path.join(dir, 'dataset.json');
    const size = writeJson(file, dataset(5400));
    const expiry = Number(process.env.IX_VIEWER_EXPIRY_SECONDS ??= '10');
    const client = await startServer();
    try {
        await api(client, 'GET', '/api/version');
        await settle();
        const before = await memory(client);
        console.log(`${path.basename(file)} (${mb(size)} MB) opened by ten pages, never closed (RSS before: ${mb(before.rss)} MB)\n`);
        console.log('| open | RSS (MB) | malloc\'d, in use (MB) |');
        console.log('|---:|---:|---:|');
        for (let page = 1; page <= 10; ++page) {
            const opened = await api(client, 'POST', '/api/open', { file, page: `tab${page}` });
            await api(client, 'GET', `/api/children?doc=${opened.id}&path=/samples`);
            await settle();
            const now = await memory(client);
            console.log(`| ${page} | ${mb(now.rss)} | ${mb(now.mallocUsed)} |`);
        }
        await new Promise((resolve) => setTimeout(resolve, (expiry + 3) * 1000));
        const after = await memory(client);
        console.log(`| ${expiry + 3} s later | ${mb(after.rss)} | ${mb(after.mallocUsed)} |`);
    } finally {
        client.server.kill();
        fs.rmSync(dir, { recursive: true, force: true });
    }
}

if (process.argv.includes('--serve')) await serve();
else if (process.argv.includes('--unclosed')) await unclosed();
else await main();
