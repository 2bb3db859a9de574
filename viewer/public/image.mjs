// An image's own values on the page: fetched once per node (a bounded cache),
// shown through a display range (0..255 as stored, min..max or percentiles over
// the domain, or typed in) and a colour map (one channel) or as RGB (any three
// channels), and the text of a pixel's stored and displayed values.
import { rule } from './drawing.mjs';

const $ = (id) => document.getElementById(id);

// The typed array of each pixel type's values (complex: two floats a value).
const arrays = {
    byte: Uint8Array, int1: Int8Array, uint2: Uint16Array, int2: Int16Array, int4: Int32Array,
    int8: BigInt64Array, real: Float32Array, complex: Float32Array, direction: Uint8Array, cyclic: Uint8Array,
};
// The types whose every value gets a histogram bin of its own: [offset, bins].
const exactBins = {
    byte: [0, 256], direction: [0, 256], cyclic: [0, 256], int1: [128, 256], uint2: [0, 65536], int2: [32768, 65536],
};
const byteLike = new Set(['byte', 'direction', 'cyclic']);
const percentiles = [0.005, 0.995];

// ---- Colour maps ---------------------------------------------------------

// Each map: control points spread evenly over 0..255, joined linearly. The
// second runs from dark violet through blue and green to yellow, its lightness
// rising all the way (as viridis does), so that order reads as brightness.
const mapPoints = {
    gray: [[0, 0, 0], [255, 255, 255]],
    viridis: [[68, 1, 84], [59, 82, 139], [33, 145, 140], [94, 201, 98], [253, 231, 37]],
};
const rgba = (r, g, b) => (0xff000000 | (b << 16) | (g << 8) | r) >>> 0;
const nanColour = rgba(255, 0, 255); // a NaN has no place in a range
const outsideColour = rgba(...rule.outsideDomain);

function colourTable(points) {
    const table = new Uint32Array(256);
    for (let level = 0; level < 256; ++level) {
        const at = (level / 255) * (points.length - 1);
        const k = Math.min(Math.floor(at), points.length - 2), f = at - k;
        const [r, g, b] = [0, 1, 2].map((c) => Math.round(points[k][c] + (points[k + 1][c] - points[k][c]) * f));
        table[level] = rgba(r, g, b);
    }
    return table;
}
const colourTables = Object.fromEntries(Object.entries(mapPoints).map(([name, points]) => [name, colourTable(points)]));

// ---- Values: fetched once per image, the most recent few kept ----------------

const cache = new Map(); // "doc:index:path" -> picture, the most recently used last
const cacheLimit = { images: 8, bytes: 512 << 20 };

function remember(key, picture) {
    cache.delete(key);
    cache.set(key, picture);
    let bytes = 0;
    for (const p of cache.values()) bytes += p.bytes;
    for (const [oldest, p] of cache) {
        if (cache.size <= 1 || (cache.size <= cacheLimit.images && bytes <= cacheLimit.bytes)) break;
        cache.delete(oldest);
        bytes -= p.bytes;
    }
}

// The spans [start, end) of pixel indices inside the domain, row by row.
function spansOf(width, height, full, domain) {
    if (full) return Int32Array.of(0, width * height);
    const spans = [];
    domain.rows.forEach((row, i) => {
        const begin = Math.max(domain.begins[i], 0), end = Math.min(domain.ends[i], width - 1);
        if (row >= 0 && row < height && begin <= end) spans.push(row * width + begin, row * width + end + 1);
    });
    return Int32Array.from(spans);
}

// The values of one channel as numbers (int8 near its value, complex by its magnitude).
function numbersOf(type, plane) {
    if (type === 'int8') {
        const words = new Int32Array(plane.buffer, plane.byteOffset, plane.length * 2), n = new Float64Array(plane.length);
        const little = new Uint8Array(Uint16Array.of(1).buffer)[0] === 1;
        const [low, high] = little ? [0, 1] : [1, 0];
        for (let i = 0; i < n.length; ++i) n[i] = words[2 * i + high] * 4294967296 + (words[2 * i + low] >>> 0);
        return n;
    }
    if (type === 'complex') {
        const n = new Float64Array(plane.length / 2);
        for (let i = 0; i < n.length; ++i) n[i] = Math.hypot(plane[2 * i], plane[2 * i + 1]);
        return n;
    }
    return plane;
}

async function errorOf(response) {
    try {
        return (await response.json()).error;
    } catch {
        return `the server answered ${response.status}`;
    }
}

// Image `index` of the node at `path` of the open file `docId`: its values, or,
// where the library does not hand them out, `{ refused }` with its message.
export async function loadValues(docId, path, index = 0) {
    const key = `${docId}:${index}:${path}`;
    for (const k of cache.keys()) if (!k.startsWith(`${docId}:`)) cache.delete(k); // files closed since
    if (cache.has(key)) {
        const picture = cache.get(key);
        remember(key, picture);
        return picture;
    }
    const query = `doc=${docId}&path=${encodeURIComponent(path)}&index=${index}`;
    const [response, domainResponse] = await Promise.all([fetch(`/api/values?${query}`), fetch(`/api/domain?${query}`)]);
    if (!response.ok) return { refused: await errorOf(response) };
    const header = (name) => response.headers.get(name);
    const [width, height, channels] = ['X-Width', 'X-Height', 'X-Channels'].map((h) => Number(header(h)));
    const type = header('X-Pixel-Type'), full = header('X-Domain-Full') === '1';
    const buffer = await response.arrayBuffer();
    if (!domainResponse.ok) throw new Error(await errorOf(domainResponse));
    const domain = await domainResponse.json();
    const Type = arrays[type];
    if (!Type) return { refused: `the values of ${type || 'this'} images are not shown` };
    const perPlane = width * height * (type === 'complex' ? 2 : 1);
    const planes = Array.from({ length: channels }, (_, k) => new Type(buffer, k * perPlane * Type.BYTES_PER_ELEMENT, perPlane));
    const picture = {
        x0: 0, y0: 0, width, height, channels, type, planes,
        numbers: planes.map((plane) => numbersOf(type, plane)),
        spans: spansOf(width, height, full, domain),
        bytes: buffer.byteLength, ranges: new Map(),
    };
    remember(key, picture);
    return picture;
}

// ---- Display: range, colour map, channels --------------------------------

const display = { mode: 'percentile', lo: 0, hi: 255, map: 'gray', channels: [0] };

// The displayed level (0..255) of a value, -1 for NaN; the drawing loops inline the same.
function levelOf(v, lo, hi) {
    if (v !== v) return -1;
    const t = hi === lo ? (v > lo ? 255 : 0) : (v - lo) * (255 / (hi - lo));
    return t <= 0 ? 0 : t >= 255 ? 255 : Math.round(t);
}

function finiteRange(numbers, spans) {
    let min = Infinity, max = -Infinity;
    for (const n of numbers) {
        for (let s = 0; s < spans.length; s += 2) {
            for (let i = spans[s]; i < spans[s + 1]; ++i) {
                const v = n[i];
                if (v < min && v !== -Infinity) min = v;
                if (v > max && v !== Infinity) max = v;
            }
        }
    }
    return min <= max ? [min, max] : [0, 0];
}

// The finite values of rank `ranks` among those of `numbers` over the spans:
// for types of at most 16 bits from a bin per value (one pass); for the others
// from the bits of each value as a 32-bit float (int4 as an integer), whose
// order they keep when read as unsigned keys: a pass over the keys' upper 16
// bits finds the bin of each rank, a pass over the lower 16 bits in that bin
// its value. Exact, however far an outlier lies from the rest.
function valuesOfRank(picture, numbers, rankOf) {
    const { spans, type } = picture;
    const exact = exactBins[type];
    if (exact) {
        const [offset, bins] = exact, histogram = new Uint32Array(bins);
        let count = 0;
        for (const n of numbers) {
            for (let s = 0; s < spans.length; s += 2) {
                for (let i = spans[s], end = spans[s + 1]; i < end; ++i) ++histogram[n[i] + offset];
                count += spans[s + 1] - spans[s];
            }
        }
        return count === 0 ? [0, 0] : rankOf(count).map((rank) => binOf(histogram, rank)[0] - offset);
    }
    const integer = type === 'int4';
    const sources = numbers.map((n) => (n instanceof Float32Array || n instanceof Int32Array ? n : Float32Array.from(n)));
    const words = sources.map((n) => new Uint32Array(n.buffer, n.byteOffset, n.length));
    const key = integer ? (w) => (w ^ 0x80000000) >>> 0 : (w) => (w & 0x80000000 ? ~w : w | 0x80000000) >>> 0;
    const finite = (v) => v === v && v !== Infinity && v !== -Infinity;
    const histogramOf = (high) => {
        const histogram = new Uint32Array(65536);
        let count = 0;
        sources.forEach((n, k) => {
            const w = words[k];
            for (let s = 0; s < spans.length; s += 2) {
                for (let i = spans[s], end = spans[s + 1]; i < end; ++i) {
                    if (!integer && !finite(n[i])) continue;
                    const kk = key(w[i]);
                    if (high < 0) { ++histogram[kk >>> 16]; ++count; } else if (kk >>> 16 === high) ++histogram[kk & 0xffff];
                }
            }
        });
        return { histogram, count };
    };
    const upper = histogramOf(-1);
    if (upper.count === 0) return [0, 0];
    return rankOf(upper.count).map((rank) => {
        const [high, within] = binOf(upper.histogram, rank);
        const k = ((high << 16) | binOf(histogramOf(high).histogram, within)[0]) >>> 0;
        const bits = integer ? k ^ 0x80000000 : k & 0x80000000 ? k & 0x7fffffff : ~k;
        return integer ? bits | 0 : new Float32Array(Uint32Array.of(bits >>> 0).buffer)[0];
    });
}

// The bin holding element `rank` of a histogram, and the rank within it.
function binOf(histogram, rank) {
    let b = 0;
    while (rank >= histogram[b]) rank -= histogram[b++];
    return [b, rank];
}

// The values at the lower and upper percentile over the domain.
function percentileRange(picture, numbers) {
    return valuesOfRank(picture, numbers, (count) => [Math.floor(percentiles[0] * (count - 1)), Math.ceil(percentiles[1] * (count - 1))]);
}

function rangeOf(picture) {
    if (display.mode === 'manual') return [display.lo, display.hi];
    if (display.mode === 'stored') return [0, 255];
    const key = `${display.mode}:${display.channels}`;
    if (!picture.ranges.has(key)) {
        const numbers = display.channels.map((k) => picture.numbers[k]);
        picture.ranges.set(key, display.mode === 'minmax' ? finiteRange(numbers, picture.spans) : percentileRange(picture, numbers));
    }
    return picture.ranges.get(key);
}

let output = new Uint32Array(0); // kept for the next picture of the same size

// The picture's RGBA pixels (0xAABBGGRR) as the display settings show them;
// pixels outside the domain in the drawing rule's colour. The buffer is the
// same from call to call: it is valid until the next.
export function render(picture) {
    const { width, height, spans, type } = picture;
    const [lo, hi] = rangeOf(picture);
    [display.lo, display.hi] = [lo, hi];
    showRange();
    if (output.length !== width * height) output = new Uint32Array(width * height);
    const out = output;
    if (spans.length !== 2 || spans[1] - spans[0] !== out.length) out.fill(outsideColour);
    const k = 255 / (hi - lo), flat = hi === lo;
    const exact = exactBins[type];
    // A lookup of each value's level where every value has a bin; else the range's formula.
    const levels = exact && Uint8Array.from({ length: exact[1] }, (_, v) => Math.max(0, levelOf(v - exact[0], lo, hi)));
    const off = exact ? exact[0] : 0;
    if (display.channels.length === 1) {
        const n = picture.numbers[display.channels[0]], table = colourTables[display.map];
        const lut = exact && new Uint32Array(levels.length);
        if (lut) for (let v = 0; v < lut.length; ++v) lut[v] = table[levels[v]];
        for (let s = 0; s < spans.length; s += 2) {
            const end = spans[s + 1];
            if (lut) for (let i = spans[s]; i < end; ++i) out[i] = lut[n[i] + off];
            else {
                for (let i = spans[s]; i < end; ++i) {
                    const v = n[i];
                    const t = flat ? (v > lo ? 255 : 0) : (v - lo) * k;
                    out[i] = v !== v ? nanColour : table[t <= 0 ? 0 : t >= 255 ? 255 : (t + 0.5) | 0];
                }
            }
        }
        return out;
    }
    const [r, g, b] = display.channels.map((c) => picture.numbers[c]);
    const level = (v) => {
        const t = flat ? (v > lo ? 255 : 0) : (v - lo) * k;
        return t >= 255 ? 255 : t > 0 ? (t + 0.5) | 0 : 0; // NaN: 0
    };
    for (let s = 0; s < spans.length; s += 2) {
        const end = spans[s + 1];
        if (levels) for (let i = spans[s]; i < end; ++i) out[i] = (0xff000000 | (levels[b[i] + off] << 16) | (levels[g[i] + off] << 8) | levels[r[i] + off]) >>> 0;
        else for (let i = spans[s]; i < end; ++i) out[i] = (0xff000000 | (level(b[i]) << 16) | (level(g[i]) << 8) | level(r[i])) >>> 0;
    }
    // The fourth channel of four is the opacity of the first three, as ixdump draws them.
    if (picture.channels !== 4 || String(display.channels) !== '0,1,2') return out;
    const a = picture.numbers[3], under = rule.outsideDomain;
    for (let s = 0; s < spans.length; s += 2) {
        for (let i = spans[s], end = spans[s + 1]; i < end; ++i) {
            const alpha = levels ? levels[a[i] + off] : level(a[i]);
            if (alpha === 255) continue;
            const p = out[i], mix = (c, shift) => Math.floor((((p >>> shift) & 255) * alpha + under[c] * (255 - alpha) + 127) / 255);
            out[i] = (0xff000000 | (mix(2, 16) << 16) | (mix(1, 8) << 8) | mix(0, 0)) >>> 0;
        }
    }
    return out;
}

// ---- Text of values ------------------------------------------------------

// A float32 in the fewest digits that read back as the same float.
function floatText(v, digits = 9) {
    if (v !== v) return 'NaN';
    if (v === Infinity) return 'inf';
    if (v === -Infinity) return '-inf';
    for (let p = 1; p < digits; ++p) {
        const shortest = Number(v.toPrecision(p));
        if (Math.fround(shortest) === v) return String(shortest);
    }
    return String(Number(v.toPrecision(digits)));
}

function valueText(picture, k, i, digits) {
    const plane = picture.planes[k];
    if (picture.type === 'real') return floatText(plane[i], digits);
    if (picture.type === 'complex') {
        const im = plane[2 * i + 1];
        return `${floatText(plane[2 * i], digits)}${im < 0 ? '-' : '+'}${floatText(Math.abs(im), digits)}i`;
    }
    return String(plane[i]);
}

function inDomain(picture, i) {
    const { spans } = picture;
    let lo = 0, hi = spans.length / 2;
    while (lo < hi) {
        const mid = (lo + hi) >> 1;
        if (spans[2 * mid + 1] <= i) lo = mid + 1;
        else hi = mid;
    }
    return lo < spans.length / 2 && spans[2 * lo] <= i;
}

// "row R, column C: stored values of every channel (shown levels)".
export function readout(picture, row, col) {
    const i = row * picture.width + col;
    const stored = picture.planes.map((_, k) => valueText(picture, k, i)).join(', ');
    if (!inDomain(picture, i)) return `row ${row}, column ${col}: ${stored} (outside the domain)`;
    const shown = display.channels.map((k) => levelOf(picture.numbers[k][i], display.lo, display.hi))
        .map((level) => (level < 0 ? 'none' : level));
    return `row ${row}, column ${col}: ${stored} (shown ${shown.join(', ')})`;
}

// The shown channels' values of a pixel, short, to write in its cell; and
// whether the cell is light (dark text) or dark.
export function cell(picture, row, col) {
    const i = row * picture.width + col;
    const lines = display.channels.map((k) => valueText(picture, k, i, 4));
    const levels = display.channels.map((k) => Math.max(0, levelOf(picture.numbers[k][i], display.lo, display.hi)));
    return { lines, light: levels.reduce((a, b) => a + b, 0) / levels.length > 127 };
}

// ---- Controls --------------------------------------------------------------

function showRange() {
    for (const [id, v] of [['range-min', display.lo], ['range-max', display.hi]]) {
        if (document.activeElement !== $(id)) $(id).value = current?.type === 'real' || current?.type === 'complex' ? floatText(v, 6) : String(Math.round(v * 1e6) / 1e6);
    }
    $('range-mode').value = display.mode;
}

let current = null; // the values shown now, or null

// Sets the controls for a picture of values (null: hides them): byte images as
// stored, others over their percentiles; three or more channels as RGB. With
// `keep` (stepping through frames), a picture of the type and channels of the one
// before keeps its settings.
export function configure(shown, keep = false) {
    const same = keep && shown && current && shown.type === current.type && shown.channels === current.channels;
    current = shown;
    if (same) return;
    $('display').hidden = !shown;
    if (!shown) return;
    display.mode = byteLike.has(shown.type) ? 'stored' : 'percentile';
    $('range-mode').querySelector('option[value=stored]').hidden = !byteLike.has(shown.type);
    const names = Array.from({ length: shown.channels }, (_, k) => `channel ${k + 1}`);
    const options = (list) => list.map(([value, text]) => new Option(text, value));
    $('channel').replaceChildren(...options([...(shown.channels >= 3 ? [['rgb', 'RGB']] : []), ...names.map((n, k) => [k, n])]));
    $('channel').hidden = shown.channels === 1;
    for (let c = 0; c < 3; ++c) {
        $(`rgb-${c}`).replaceChildren(...options(names.map((n, k) => [k, n])));
        $(`rgb-${c}`).value = String(Math.min(c, shown.channels - 1));
    }
    display.channels = shown.channels >= 3 ? [0, 1, 2] : [0];
    updateChannelControls();
}

function updateChannelControls() {
    const rgb = $('channel').value === 'rgb';
    $('rgb-channels').hidden = !rgb;
    $('colour-map').disabled = rgb;
}

// Wires the controls; `changed` redraws the picture.
export function setupControls(changed) {
    $('range-mode').onchange = () => { display.mode = $('range-mode').value; changed(); };
    for (const id of ['range-min', 'range-max']) {
        $(id).onchange = () => {
            const [lo, hi] = [Number($('range-min').value), Number($('range-max').value)];
            if (!Number.isFinite(lo) || !Number.isFinite(hi)) return showRange();
            Object.assign(display, { mode: 'manual', lo, hi });
            changed();
        };
    }
    $('colour-map').onchange = () => { display.map = $('colour-map').value; changed(); };
    const pickChannels = () => {
        updateChannelControls();
        display.channels = $('channel').value === 'rgb' ? [0, 1, 2].map((c) => Number($(`rgb-${c}`).value)) : [Number($('channel').value)];
        changed();
    };
    $('channel').onchange = pickChannels;
    for (let c = 0; c < 3; ++c) $(`rgb-${c}`).onchange = pickChannels;
}
