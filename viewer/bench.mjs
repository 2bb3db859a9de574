// The viewer's speed, in chromium, against the library's own work (run by hand):
//   node viewer/bench.mjs
// - tree: from "open" to the file's first level in the DOM, less the library's load;
// - image: from selecting a 4096x4096 image to its pixels on the canvas, as a ratio to
//   fetching the same pixels (ix_extract_image plus the transfer) in the same page.
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

        console.log('\n| image | extract + transfer (ms) | drawn on the canvas (ms) | ratio |');
        console.log('|---|---:|---:|---:|');
        for (const file of ['gray4096.pgm', 'rgb4096.ppm']) {
            await open(page, path.join(dir, file));
            const fetched = [], drawn = [];
            for (let i = 0; i < runs; ++i) {
                fetched.push(await page.evaluate(async () => {
                    const started = performance.now();
                    const response = await fetch(`/api/image?doc=${document.body.dataset.doc}&path=${encodeURIComponent('/[0]')}`);
                    await response.arrayBuffer();
                    return performance.now() - started;
                }));
                await page.evaluate(() => { delete document.getElementById('canvas').dataset.shown; });
                await page.click('#tree li[data-path="/[0]"] > .row');
                await page.waitForFunction(() => document.getElementById('canvas').dataset.shown);
                drawn.push(Number(await page.evaluate(() => document.getElementById('canvas').dataset.sceneMs)));
            }
            const f = median(fetched), d = median(drawn);
            console.log(`| ${file} | ${f.toFixed(1)} | ${d.toFixed(1)} | ${(d / f).toFixed(2)} |`);
        }
    } finally {
        await browser.close();
        server.close();
        fs.rmSync(dir, { recursive: true, force: true });
    }
}

await main();
