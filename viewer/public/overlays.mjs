// The geometry over the canvas as objects: each in the one colour its node's
// path gives it (drawing.mjs's colourIndex, also its swatch in the tree), found
// under the cursor (a tooltip with its label and summary; a click selects it in
// the tree and draws it over the rest, dimmed), regions filled or outlined, lines
// at a chosen width, and a legend of the classes shown.
import { colourIndex, colours } from './drawing.mjs';

const $ = (id) => document.getElementById(id);

export const classNames = { region: 'regions', xld_cont: 'contours', xld_poly: 'polygons', xld_parallel: 'parallels' };
// How regions and lines are drawn (fill and width 1: ixdump's picture); the object picked on the canvas.
export const style = { regions: 'fill', width: 1 };
export const emphasis = { path: null };

export const colourOf = (path, index = 0) => colours[colourIndex(path, index)];

// A tree row's mark of the colour a geometry node's (first) object is drawn in.
export function swatch(info) {
    if (!classNames[info.objectClass]) return null;
    const mark = Object.assign(document.createElement('span'), { className: 'swatch', title: 'its colour on the canvas' });
    mark.style.background = colourOf(info.path);
    return mark;
}

// A scene's shape with its colour, bounds ({ top, left, bottom, right } in
// image coordinates, pixel edges) and, for a region, its area.
export function prepare(s) {
    const shape = { ...s, colour: colourOf(s.path, s.index) };
    let top = Infinity, left = Infinity, bottom = -Infinity, right = -Infinity;
    const cover = (r0, c0, r1, c1) => {
        top = Math.min(top, r0); left = Math.min(left, c0); bottom = Math.max(bottom, r1); right = Math.max(right, c1);
    };
    if (s.runs) {
        shape.area = 0;
        s.runs.rows.forEach((r, i) => {
            cover(r, s.runs.begins[i], r + 1, s.runs.ends[i] + 1);
            shape.area += s.runs.ends[i] - s.runs.begins[i] + 1;
        });
    }
    for (const line of s.lines ?? [])
        line.rows.forEach((r, i) => Number.isFinite(r) && Number.isFinite(line.cols[i]) && cover(r, line.cols[i], r + 1, line.cols[i] + 1));
    shape.bounds = top <= bottom ? { top, left, bottom, right } : null;
    return shape;
}

// The distance from (y, x) to the segment a-b ([y, x] each).
function distance(y, x, a, b) {
    const dy = b[0] - a[0], dx = b[1] - a[1], length = dy * dy + dx * dx;
    const t = length > 0 ? Math.max(0, Math.min(1, ((y - a[0]) * dy + (x - a[1]) * dx) / length)) : 0;
    return Math.hypot(y - a[0] - t * dy, x - a[1] - t * dx);
}

// Whether a region's runs (sorted by row) cover pixel (row, col).
function covers({ rows, begins, ends }, row, col) {
    let lo = 0, hi = rows.length;
    while (lo < hi) {
        const mid = (lo + hi) >> 1;
        if (rows[mid] < row) lo = mid + 1;
        else hi = mid;
    }
    for (let i = lo; i < rows.length && rows[i] === row; ++i) if (begins[i] <= col && col <= ends[i]) return true;
    return false;
}

// The shape drawn at image point (y, x): the line nearest within `tolerance`
// (lines lie over the regions), else the smallest region covering the pixel.
export function shapeAt(shapes, shown, y, x, tolerance) {
    let best = null, nearest = Infinity;
    const near = (b, margin) => b && y >= b.top - margin && y <= b.bottom + margin && x >= b.left - margin && x <= b.right + margin;
    for (const s of shapes) {
        if (!s.lines || !shown(s.class) || !near(s.bounds, tolerance)) continue;
        for (const { rows, cols } of s.lines) {
            const at = (i) => [rows[i] + 0.5, cols[i] + 0.5]; // a point is drawn through its pixel's centre
            for (let i = 0; i < rows.length; ++i) {
                const d = distance(y, x, at(Math.max(i - 1, 0)), at(i));
                if (d <= tolerance && d < nearest) [best, nearest] = [s, d];
            }
        }
    }
    if (best) return best;
    const [row, col] = [Math.floor(y), Math.floor(x)];
    for (const s of shapes)
        if (s.runs && shown(s.class) && near(s.bounds, 0) && (!best || s.area < best.area) && covers(s.runs, row, col)) best = s;
    return best;
}

// A region's outline along its pixels' edges, in image coordinates (kept on the shape).
function outlineOf(s) {
    if (s.outline) return s.outline;
    const { rows, begins, ends } = s.runs;
    const byRow = new Map();
    rows.forEach((r, i) => (byRow.get(r) ?? byRow.set(r, []).get(r)).push([begins[i], ends[i] + 1]));
    const path = new Path2D();
    const edge = (x0, y0, x1, y1) => { path.moveTo(x0, y0); path.lineTo(x1, y1); };
    rows.forEach((r, i) => {
        const [b, e] = [begins[i], ends[i] + 1];
        edge(b, r, b, r + 1);
        edge(e, r, e, r + 1);
        // The top and bottom edges where the row above or below leaves the run open.
        for (const [other, y] of [[r - 1, r], [r + 1, r + 1]]) {
            let from = b;
            for (const [ob, oe] of byRow.get(other) ?? []) {
                if (oe <= from || ob >= e) continue;
                if (ob > from) edge(from, y, ob, y);
                from = Math.max(from, oe);
            }
            if (from < e) edge(from, y, e, y);
        }
    });
    s.outline = path;
    return path;
}

function trace(ctx, s) {
    if (s.runs) return ctx.stroke(outlineOf(s));
    for (const line of s.lines) {
        ctx.beginPath();
        line.rows.forEach((r, i) => ctx.lineTo(line.cols[i] + 0.5, r + 0.5));
        if (line.rows.length === 1) ctx.lineTo(line.cols[0] + 0.5, line.rows[0] + 0.5 + 1e-3);
        ctx.stroke();
    }
}

// What the pixel layers leave to strokes, under the view's transform (`scale`
// screen pixels an image pixel): outlined regions, lines wider than one pixel or
// seen from further than 1:1, and the picked object drawn thick over the rest.
export function stroke(ctx, shapes, shown, scale) {
    const picked = emphasis.path;
    ctx.lineCap = ctx.lineJoin = 'round';
    for (const s of shapes) {
        if (!shown(s.class)) continue;
        if (s.runs ? style.regions !== 'outline' : style.width === 1 && scale >= 1) continue;
        ctx.globalAlpha = picked && s.path !== picked ? 0.35 : 1;
        ctx.strokeStyle = s.colour;
        ctx.lineWidth = (s.lines && style.width === 1 ? 1.5 : style.width) / scale;
        trace(ctx, s);
    }
    ctx.globalAlpha = 1;
    for (const s of shapes) {
        if (s.path !== picked || !shown(s.class)) continue;
        for (const [colour, width] of [['rgba(0, 0, 0, 0.8)', style.width + 4], [s.colour, style.width + 2]]) {
            ctx.strokeStyle = colour;
            ctx.lineWidth = width / scale;
            trace(ctx, s);
        }
    }
}

// The extent of the picked object's shapes, else of all of them; null without any.
export function selectionBounds(shapes) {
    const chosen = shapes.filter((s) => s.bounds && (!emphasis.path || s.path === emphasis.path));
    if (!chosen.length) return null;
    const pick = (key, f) => f(...chosen.map((s) => s.bounds[key]));
    return { top: pick('top', Math.min), left: pick('left', Math.min), bottom: pick('bottom', Math.max), right: pick('right', Math.max) };
}

// The legend over the canvas: each class shown with its objects' colours and count.
export function showLegend(shapes, shown) {
    const legend = $('legend');
    const byClass = new Map();
    for (const s of shapes) {
        if (!byClass.has(s.class)) byClass.set(s.class, { count: 0, colours: new Set() });
        const entry = byClass.get(s.class);
        ++entry.count;
        entry.colours.add(s.colour);
    }
    legend.replaceChildren(...[...byClass].map(([cls, { count, colours: used }]) => {
        const item = Object.assign(document.createElement('div'), { className: shown(cls) ? '' : 'off' });
        item.dataset.class = cls;
        for (const colour of [...used].slice(0, 8)) {
            const mark = Object.assign(document.createElement('span'), { className: 'swatch' });
            mark.style.background = colour;
            item.append(mark);
        }
        item.append(` ${classNames[cls] ?? cls} ${count}`);
        item.title = 'click to switch the class on or off';
        item.onclick = () => document.querySelector(`input[data-class="${cls}"]`)?.click();
        return item;
    }));
    legend.hidden = byClass.size === 0;
}

// The tooltip of the shape under the cursor ((x, y) on the canvas); hidden for none.
export function showTip(s, x, y) {
    const tip = $('overlay-tip');
    tip.hidden = !s;
    if (!s) return;
    const row = document.querySelector(`#tree li[data-path="${CSS.escape(s.path)}"] > .row`);
    const text = (part) => row?.querySelector(`.${part}`)?.textContent ?? '';
    const head = row ? `${text('label')} (${text('type')})` : `${s.path} (${s.class})`;
    tip.textContent = `${head}${row ? `\n${text('summary')}` : ''}\n${s.path}${s.index ? ` object ${s.index + 1}` : ''}`;
    Object.assign(tip.style, { left: `${x + 14}px`, top: `${y + 14}px` });
}

// Wires the region style, line width and zoom controls.
export function setupOverlays({ changed, zoom }) {
    $('region-style').onchange = (event) => { style.regions = event.target.value; changed(); };
    $('line-width').onchange = (event) => { style.width = Number(event.target.value); changed(); };
    $('zoom-selected').onclick = zoom;
}
