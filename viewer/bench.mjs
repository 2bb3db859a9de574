// The viewer's speed, in chromium, against the library's own work (run by hand):
//   node viewer/bench.mjs
// - tree: from "open" to the file's first level in the DOM, less the library's load;
// - image: from opening a 4096x4096 image (its root draws it) to its pixels on the
//   canvas through the display range, as a ratio to fetching the same values
//   (ix_extract_image_values plus the transfer) in the same page; and selecting it
//   again, from the page's cache.
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { startServer } from './server.mjs';
import { projectRoot } from './ixadapter.mjs';

const require = createRequire(import.meta.url);
const { chromium } = require('playwright-core');
const runs = 7;
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

function writeFixtures(dir) {
    const side = 4096;
    const gray = Buffer.alloc(side * side), rgb = Buffer.alloc(side * side * 3);
    for (let r = 0; r < side; ++r)
        for (let c = 0; c < side; ++c) {
            const v = (r + c + ((r * 7919 + c * 104729) & 15)) & 255;
            gray[r * side + c] = v;
            rgb.set([v, (r >> 4) & 255, (c >> 4) & 255], (r * side + c) * 3);
        }
    fs.writeFileSync(path.join(dir, 'gray4096.pgm'), Buffer.concat([Buffer.from(`P5\n${side} ${side}\n255\n`), gray]));
    fs.writeFileSync(path.join(dir, 'rgb4096.ppm'), Buffer.concat([Buffer.from(`P6\n${side} ${side}\n255\n`), rgb]));
    const deep = Buffer.alloc(side * side * 2); // 16-bit, big-endian as PNM holds it, a few outliers
    for (let i = 0; i < side * side; ++i) deep.writeUInt16BE(i % 9973 === 0 ? 65535 : 1000 + ((i >> 12) + (i & 4095)) * 3 + (i * 7919 & 63), i * 2);
    fs.writeFileSync(path.join(dir, 'uint2-4096.pgm'), Buffer.concat([Buffer.from(`P5\n${side} ${side}\n65535\n`), deep]));
    for (const keys of [1000, 10000]) {
        const dict = {};
        for (let i = 0; i < keys; ++i) dict[`key${i}`] = { id: i, scores: [i, i + 0.5, i + 1], name: `item ${i}` };
        fs.writeFileSync(path.join(dir, `dict${keys}.json`), JSON.stringify(dict));
    }
}

async function open(page, file) {
    await page.fill('#path', file);
    await page.click('#open button[type=submit]');
    await page.waitForFunction((f) => document.body.dataset.treeMs && document.querySelector('#tree > li > .row .label')?.textContent === f, file);
    const { loadMs, treeMs } = await page.evaluate(() => document.body.dataset);
    await page.evaluate(() => { delete document.body.dataset.treeMs; });
    return { loadMs: Number(loadMs), treeMs: Number(treeMs) };
}

async function main() {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'ix-viewer-bench-'));
    const server = await startServer(0);
    const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox'] });
    try {
        writeFixtures(dir);
        const page = await browser.newPage({ viewport: { width: 1280, height: 800 } });
        await page.goto(server.url);

        console.log('| file | library load (ms) | tree on the page (ms) | page beyond the load (ms) |');
        console.log('|---|---:|---:|---:|');
        const files = [path.join(projectRoot, 'samples/scene.hobj'), ...['dict1000.json', 'dict10000.json', 'gray4096.pgm'].map((f) => path.join(dir, f))];
        for (const file of files) {
            const samples = [];
            for (let i = 0; i < runs; ++i) samples.push(await open(page, file));
            const load = median(samples.map((s) => s.loadMs)), tree = median(samples.map((s) => s.treeMs));
            const beyond = median(samples.map((s) => s.treeMs - s.loadMs));
            console.log(`| ${path.basename(file)} | ${load.toFixed(1)} | ${tree.toFixed(1)} | ${beyond.toFixed(1)} |`);
        }

        console.log('\n| image | values: extract + transfer (ms) | drawn on the canvas (ms) | ratio | in a new page: fetched (ms) | drawn (ms) | ratio | again, cached (ms) |');
        console.log('|---|---:|---:|---:|---:|---:|---:|---:|');
        const drawnMs = (page, nodePath) => page.waitForFunction((p) => document.getElementById('canvas').dataset.shown === `${document.body.dataset.doc}:${p}`, nodePath)
            .then(() => page.evaluate(() => Number(document.getElementById('canvas').dataset.sceneMs)));
        for (const file of ['uint2-4096.pgm', 'gray4096.pgm', 'rgb4096.ppm']) {
            const page = await browser.newPage({ viewport: { width: 1280, height: 800 } });
            await page.goto(server.url);
            const fetched = [], drawn = [], again = [];
            for (let i = 0; i < runs; ++i) {
                await open(page, path.join(dir, file)); // a new reader each time: nothing cached
                drawn.push(await drawnMs(page, '/'));
                fetched.push(await page.evaluate(async () => {
                    const started = performance.now();
                    const response = await fetch(`/api/values?doc=${document.body.dataset.doc}&path=${encodeURIComponent('/[0]')}`);
                    await response.arrayBuffer();
                    return performance.now() - started;
                }));
                await page.click('#tree li[data-path="/[0]"] > .row');
                again.push(await drawnMs(page, '/[0]'));
            }
            await page.close();
            // The first of each in a page of its own, where all memory is fresh: the
            // values fetched (the file opened through the API, so that nothing is drawn), and drawn.
            const fresh = async (work) => {
                const page = await browser.newPage({ viewport: { width: 1280, height: 800 } });
                await page.goto(server.url);
                try { return await work(page); } finally { await page.close(); }
            };
            const firstFetched = await fresh((page) => page.evaluate(async (file) => {
                const headers = { 'Content-Type': 'application/json' };
                const { id } = await (await fetch('/api/open', { method: 'POST', headers, body: JSON.stringify({ file }) })).json();
                const started = performance.now();
                await (await fetch(`/api/values?doc=${id}&path=${encodeURIComponent('/[0]')}`)).arrayBuffer();
                return performance.now() - started;
            }, path.join(dir, file)));
            const firstDrawn = await fresh(async (page) => { await open(page, path.join(dir, file)); return drawnMs(page, '/'); });
            const f = median(fetched), d = median(drawn);
            console.log(`| ${file} | ${f.toFixed(1)} | ${d.toFixed(1)} | ${(d / f).toFixed(2)} | ${firstFetched.toFixed(1)} | ${firstDrawn.toFixed(1)} | ${(firstDrawn / firstFetched).toFixed(2)} | ${median(again).toFixed(1)} |`);
        }
    } finally {
        await browser.close();
        server.close();
        fs.rmSync(dir, { recursive: true, force: true });
    }
}

await main();
