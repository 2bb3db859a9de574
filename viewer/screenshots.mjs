// The README's pictures of the viewer's views, taken in Debian's chromium
// (run by hand from the project folder, after a Release build):
//   node viewer/screenshots.mjs [FOLDER]
// writes FOLDER/viewer-*.png (default docs/), 1000x640 each: overlays over an
// image with one object picked, a 3D object model, a sequence's frames, a
// dataset's samples and a deep-learning model's card. docs/viewer.png (image
// inspection) comes from the browser test (IX_VIEWER_SCREENSHOT=1).
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { startServer } from './server.mjs';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const out = path.resolve(process.argv[2] ?? path.join(root, 'docs'));
const { chromium } = createRequire(import.meta.url)('playwright-core');

// Each view: its name, the file it opens, and how it is brought to the picture.
const views = [
    ['overlays', 'samples/scene.hobj', async (page) => {
        await page.waitForFunction(() => document.getElementById('canvas').dataset.shown?.endsWith(':/'));
        // The region of area 797 picked on the canvas, the cursor resting over it.
        const point = await page.evaluate(async () => {
            const canvas = document.getElementById('canvas');
            const { shapes } = await (await fetch(`/api/scene?doc=${document.body.dataset.doc}&path=/`)).json();
            const { rows, ends } = shapes.find((s) => s.path === '/[2]').runs;
            const i = Math.floor(rows.length * 0.7), box = canvas.getBoundingClientRect();
            const { scale, tx, ty } = canvas.dataset;
            return { x: box.left + Number(tx) + (ends[i] - 3.5) * scale, y: box.top + Number(ty) + (rows[i] + 0.5) * scale };
        });
        await page.mouse.click(point.x, point.y);
        await page.waitForFunction(() => document.getElementById('canvas').dataset.picked === '/[2]');
        await page.mouse.move(point.x + 1, point.y);
    }],
    ['3d', 'samples/bracket.ply', async (page) => {
        await page.waitForFunction(() => document.getElementById('model3d')?.dataset.shown?.endsWith(':/'));
        const box = await page.locator('#model3d').boundingBox();
        await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
        await page.mouse.down();
        await page.mouse.move(box.x + box.width / 2 + 60, box.y + box.height / 2 + 40, { steps: 4 });
        await page.mouse.up();
    }],
    ['frames', 'samples/frames.seq', async (page) => {
        await page.waitForSelector('#frames:not([hidden]) .frame-thumb canvas');
        await page.keyboard.press('.');
        await page.waitForFunction(() => document.getElementById('canvas').dataset.shown?.endsWith(':/[1]'));
    }],
    ['dataset', 'samples/dataset/parts.json', (page) =>
        page.waitForFunction(() => document.getElementById('sample-canvas')?.dataset.sample === '0')],
    ['modelcard', 'samples/classifier.onnx', (page) => page.waitForSelector('#model-inputs')],
];

const server = await startServer(0);
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox'] });
try {
    const page = await (await browser.newContext({ viewport: { width: 1000, height: 640 } })).newPage();
    await page.goto(server.url);
    for (const [name, file, ready] of views) {
        await page.fill('#path', file);
        await page.click('#open button[type=submit]');
        await page.waitForSelector('#tree > li > ul.tree');
        await ready(page);
        await page.waitForTimeout(200); // the last frame painted
        const shot = path.join(out, `viewer-${name}.png`);
        await page.screenshot({ path: shot });
        console.log(shot);
    }
} finally {
    await browser.close();
    server.close();
}
