// A node's picture, pixel for pixel as ixdump --render draws it
// (tools/ixdump/Render.cpp), by the rule both read from drawing.json: the image
// over the backdrop by its alpha (or a backdrop of the geometry's extent with
// the margin), every region blended at regionAlpha, then every line in steps
// of one pixel, without anti-aliasing. Each object keeps one colour wherever it
// is drawn: the colour its node's path gives it (colourIndex).
export const rule = await (await fetch('/drawing.json')).json();

// A colour as a pixel of a little-endian RGBA buffer (0xAABBGGRR).
const pixel = ([r, g, b], a = 255) => ((a << 24) | (b << 16) | (g << 8) | r) >>> 0;
export const colours = rule.palette.map((c) => `rgb(${c.join(', ')})`);

// The palette entry of object `object` of the node at `path`: the node's
// position when its path ends in "[i]", else a hash (32-bit FNV-1a over the code
// points) of its last segment, plus the object's index in the node.
export function colourIndex(path, object = 0) {
    const segment = path.slice(path.lastIndexOf('/') + 1);
    const position = /^\[(\d+)\]$/.exec(segment);
    let key = 2166136261;
    if (position) key = Number(position[1]);
    else for (const ch of segment) key = Math.imul(key ^ ch.codePointAt(0), 16777619) >>> 0;
    return (key % rule.palette.length + object) % rule.palette.length;
}

function blend(out, i, [r, g, b], alpha) {
    const p = out[i];
    const mix = (c, shift) => Math.floor((c * alpha + ((p >>> shift) & 255) * (255 - alpha) + 127) / 255);
    out[i] = pixel([mix(r, 0), mix(g, 8), mix(b, 16)]);
}

// The geometry's extent with the margin; null without points, an error when
// no picture of it can be made.
export function extentOf(shapes) {
    let top = Infinity, left = Infinity, bottom = -Infinity, right = -Infinity;
    const cover = (r, c) => {
        if (!Number.isFinite(r) || !Number.isFinite(c)) return;
        top = Math.min(top, r); bottom = Math.max(bottom, r); left = Math.min(left, c); right = Math.max(right, c);
    };
    for (const s of shapes) {
        s.runs?.rows.forEach((r, i) => { cover(r, s.runs.begins[i]); cover(r, s.runs.ends[i]); });
        for (const line of s.lines ?? []) line.rows.forEach((r, i) => cover(r, line.cols[i]));
    }
    if (top > bottom) return null;
    if (Math.max(-top, bottom, -left, right) > 1e15) throw new Error('the geometry lies too far from the origin to draw without an image');
    const y0 = Math.floor(top) - rule.margin, x0 = Math.floor(left) - rule.margin;
    const height = Math.ceil(bottom) + rule.margin + 1 - y0, width = Math.ceil(right) + rule.margin + 1 - x0;
    if (height > rule.maxExtentSide || width > rule.maxExtentSide)
        throw new Error(`the geometry spans more than ${rule.maxExtentSide} pixels a side, too large to draw without an image`);
    return { x0, y0, width, height };
}

// Rounds half away from zero, as C's llround.
const round = (x) => (x < 0 ? -Math.round(-x) : Math.round(x));

// Clips the segment a-b ([row, col], canvas coordinates) to the canvas; null when it misses.
function clip(width, height, a, b) {
    let t0 = 0, t1 = 1;
    const dr = b[0] - a[0], dc = b[1] - a[1];
    const p = [-dr, dr, -dc, dc];
    const q = [a[0] + 0.5, height - 0.5 - a[0], a[1] + 0.5, width - 0.5 - a[1]];
    for (let k = 0; k < 4; ++k) {
        if (p[k] === 0) {
            if (q[k] < 0) return null;
            continue;
        }
        const t = q[k] / p[k];
        if (p[k] < 0) t0 = Math.max(t0, t);
        else t1 = Math.min(t1, t);
    }
    if (t0 > t1) return null;
    return [[a[0] + t0 * dr, a[1] + t0 * dc], [a[0] + t1 * dr, a[1] + t1 * dc]];
}

function segment(out, width, height, a, b, colour) {
    if (!Number.isFinite(b[0] - a[0]) || !Number.isFinite(b[1] - a[1])) {
        const middle = [a[0] / 2 + b[0] / 2, a[1] / 2 + b[1] / 2]; // too long for a double's difference
        segment(out, width, height, a, middle, colour);
        segment(out, width, height, middle, b, colour);
        return;
    }
    const clipped = clip(width, height, a, b);
    if (!clipped) return;
    let r0 = round(clipped[0][0]), c0 = round(clipped[0][1]);
    const r1 = round(clipped[1][0]), c1 = round(clipped[1][1]);
    const dr = Math.abs(r1 - r0), dc = -Math.abs(c1 - c0);
    const sr = r0 < r1 ? 1 : -1, sc = c0 < c1 ? 1 : -1;
    for (let err = dr + dc; ;) {
        if (r0 >= 0 && c0 >= 0 && r0 < height && c0 < width) out[r0 * width + c0] = colour;
        if (r0 === r1 && c0 === c1) break;
        const twice = 2 * err;
        if (twice >= dc) { err += dc; r0 += sr; }
        if (twice <= dr) { err += dr; c0 += sc; }
    }
}

// A layer's canvas; with `kept` (an object of the caller's), the one kept there
// for the last picture of this size: a large picture's memory is touched for the
// first time only once.
function toCanvas(buffer, width, height, kept, layer) {
    const old = kept?.[layer];
    const canvas = old?.width === width && old.height === height ? old : new OffscreenCanvas(width, height);
    if (kept) kept[layer] = canvas;
    canvas.getContext('2d').putImageData(new ImageData(new Uint8ClampedArray(buffer.buffer), width, height), 0, 0);
    return canvas;
}

// The picture in two layers of `bounds`' size: `base` (image or backdrop, and
// the regions) and `lines` (transparent but for the lines; null without any),
// the shapes of the classes `shown` accepts, each in its object's colour
// (shapes carry their node's `path` and object `index`), those `dimmed` accepts
// faint and under the rest. The image comes as the library's bytes ({ pixels, rowBytes, format }) or as
// { rgba }, its pixels made already (taken over, the regions drawn into it).
// With `kept`, the layers' canvases are those of the caller's last picture of
// this size, drawn anew: that picture's layers are gone.
export function compose(image, bounds, shapes, shown, kept = null, dimmed = () => false) {
    const { x0, y0, width, height } = bounds;
    const base = image?.rgba ?? new Uint32Array(width * height).fill(pixel(image ? rule.outsideDomain : rule.extentBackdrop));
    if (image && !image.rgba) {
        const { pixels, rowBytes, format } = image;
        for (let r = 0, o = 0; r < height; ++r) {
            const i = r * rowBytes;
            if (format === 'gray') {
                for (let c = 0; c < width; ++c, ++o) base[o] = pixels[i + c] * 0x010101 + 0xff000000;
                continue;
            }
            const step = format === 'bgr' ? 3 : 4;
            for (let c = 0, at = i; c < width; ++c, ++o, at += step) {
                const alpha = step === 3 ? 255 : pixels[at + 3];
                if (alpha === 255) base[o] = (0xff000000 | (pixels[at] << 16) | (pixels[at + 1] << 8) | pixels[at + 2]) >>> 0;
                else blend(base, o, [pixels[at + 2], pixels[at + 1], pixels[at]], alpha);
            }
        }
    }
    const colourOf = (s) => rule.palette[colourIndex(s.path ?? '', s.index ?? 0)];
    for (const s of shapes) {
        if (!s.runs || !shown(s.class)) continue;
        const colour = colourOf(s), alpha = dimmed(s) ? rule.regionAlpha / 4 : rule.regionAlpha;
        s.runs.rows.forEach((row, i) => {
            const r = row - y0;
            if (r < 0 || r >= height) return;
            const last = Math.min(s.runs.ends[i] - x0, width - 1);
            for (let c = Math.max(s.runs.begins[i] - x0, 0); c <= last; ++c) blend(base, r * width + c, colour, alpha);
        });
    }
    if (!shapes.some((s) => s.lines && shown(s.class))) return { base: toCanvas(base, width, height, kept, 'base'), lines: null };
    const lines = new Uint32Array(width * height);
    const drawn = shapes.filter((s) => s.lines && shown(s.class));
    for (const s of [...drawn.filter(dimmed), ...drawn.filter((s) => !dimmed(s))]) {
        const colour = pixel(colourOf(s), dimmed(s) ? 96 : 255);
        for (const { rows, cols } of s.lines) {
            const at = (i) => [rows[i] - y0, cols[i] - x0];
            const finite = (i) => Number.isFinite(at(i)[0]) && Number.isFinite(at(i)[1]);
            if (rows.length === 1 && finite(0)) segment(lines, width, height, at(0), at(0), colour);
            for (let i = 1; i < rows.length; ++i)
                if (finite(i - 1) && finite(i)) segment(lines, width, height, at(i - 1), at(i), colour);
        }
    }
    return { base: toCanvas(base, width, height, kept, 'base'), lines: toCanvas(lines, width, height, kept, 'lines') };
}
