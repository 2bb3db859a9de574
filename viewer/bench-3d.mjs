// Rotating a 3D object model of ten million points in chromium (run by hand):
//   node viewer/bench-3d.mjs [POINTS]
// Writes a binary PLY of POINTS points (default 10,000,000: a wavy surface on a
// square grid), opens it in the viewer and, for each display cap, times the model's
// arrival (the server's extraction and thinning, the transfer, the upload) and
// the frames per second of orbiting it: a drag event per frame, each frame waited
// for to the last pixel (a one-pixel read-back); once with the smaller samples the
// view draws while it moves, once drawing every point shown.
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { startServer } from './server.mjs';

const require = createRequire(import.meta.url);
const { chromium } = require('playwright-core');
const points = Number(process.argv[2] ?? 10_000_000);
const caps = [500_000, 1_000_000, 2_000_000, 4_000_000, points];
const seconds = 4;

function writePly(file, n) {
    const side = Math.ceil(Math.sqrt(n));
    const header = `ply\nformat binary_little_endian 1.0\nelement vertex ${n}\nproperty float x\nproperty float y\nproperty float z\nend_header\n`;
    const xyz = new Float32Array(n * 3);
    for (let i = 0; i < n; ++i) {
        const x = (i % side) / side, y = Math.floor(i / side) / side;
        xyz.set([x, y, 0.1 * Math.sin(x * 12) * Math.cos(y * 9)], i * 3);
    }
    fs.writeFileSync(file, Buffer.concat([Buffer.from(header), Buffer.from(xyz.buffer)]));
}

async function main() {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'ix-viewer-bench-3d-'));
    const server = await startServer(0);
    const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox', '--enable-unsafe-swiftshader'] });
    try {
        const file = path.join(dir, 'cloud.ply');
        writePly(file, points);
        const page = await browser.newPage({ viewport: { width: 1280, height: 800 } });
        await page.goto(server.url);
        await page.fill('#path', file);
        await page.click('#open button[type=submit]');
        await page.waitForFunction(() => document.getElementById('model3d')?.dataset.shown, null, { timeout: 300_000 });
        console.log(`renderer: ${await page.evaluate(() => {
            const gl = document.getElementById('model3d').getContext('webgl2');
            return gl.getParameter(gl.getExtension('WEBGL_debug_renderer_info').UNMASKED_RENDERER_WEBGL);
        })}`);
        console.log(`canvas: ${await page.evaluate(() => { const c = document.getElementById('model3d'); return `${c.width}x${c.height}`; })}\n`);
        console.log('| points shown | model to the screen (s) | orbiting: frames/s | points drawn while moving | every point drawn: frames/s |');
        console.log('|---:|---:|---:|---:|---:|');
        for (const cap of caps) {
            const result = await page.evaluate(async ([cap, seconds]) => {
                const model3d = await import('/model3d.mjs');
                const started = performance.now();
                await model3d.showModel(document.body.dataset.doc, '/', cap);
                const canvas = document.getElementById('model3d');
                const gl = canvas.getContext('webgl2');
                const pixel = new Uint8Array(4);
                const frame = () => new Promise(requestAnimationFrame).then(() => gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, pixel));
                await frame();
                const arrived = performance.now() - started;
                const box = canvas.getBoundingClientRect();
                const at = (x) => ({ clientX: box.left + x, clientY: box.top + box.height / 2, buttons: 1, bubbles: true });
                // A drag to the right, one move per frame; frames per second over `duration`.
                const orbit = async (duration) => {
                    canvas.dispatchEvent(new PointerEvent('pointerdown', at(0)));
                    const from = performance.now();
                    let frames = 0;
                    while (performance.now() - from < duration * 1000 || frames < 3) {
                        canvas.dispatchEvent(new PointerEvent('pointermove', at(((frames + 1) * 4) % box.width)));
                        await frame();
                        ++frames;
                    }
                    canvas.dispatchEvent(new PointerEvent('pointerup', at(0)));
                    return frames / ((performance.now() - from) / 1000);
                };
                await orbit(1); // the sample settles to the renderer's pace
                const fps = await orbit(seconds);
                const drawn = Number(canvas.dataset.drawn);
                model3d.motion.enabled = false;
                const fullFps = await orbit(seconds / 2);
                model3d.motion.enabled = true;
                return { shown: Number(document.querySelector('#model3d-bar span').textContent.match(/[\d,]+/)[0].replaceAll(',', '')), arrived, fps, drawn, fullFps };
            }, [cap, seconds]);
            const n = (v) => v.toLocaleString('en-US');
            console.log(`| ${n(result.shown)} | ${(result.arrived / 1000).toFixed(2)} | ${result.fps.toFixed(1)} | ${n(result.drawn)} | ${result.fullFps.toFixed(2)} |`);
        }
    } finally {
        await browser.close();
        server.close();
        fs.rmSync(dir, { recursive: true, force: true });
    }
}

await main();
