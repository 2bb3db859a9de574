// The 3D view of an object model: its points coloured by height (or by their
// normals), its triangles flat-shaded, its polygons as outlines and its bounding
// box, in WebGL2. Drag orbits, shift- or right-drag pans, the wheel zooms, the
// Reset button and the key "r" return to the first view.

// The most points the server sends for display (every k-th point beyond it). Moving
// views draw samples of them at any count (`motion`); this bounds the picture at
// rest, which a software renderer on two loaded cores draws in under a second
// (docs/performance.md).
export const displayCap = 1_000_000;

// While the view moves, only the first `budget` points (or triangles) of a shuffled
// order are drawn: a uniform sample, sized anew after each moving frame so that one
// takes about `frameMs` (software renderers draw some 10^5 points in that time);
// the whole set is drawn once the view has rested for `restMs`.
export const motion = { enabled: true, frameMs: 30, restMs: 250, least: 10_000 };

// Viridis, a perceptually uniform colour map, by nine control points (interpolated in the shader).
const colourStops = [[68, 1, 84], [72, 40, 120], [62, 73, 137], [49, 104, 142], [38, 130, 142],
    [31, 158, 137], [53, 183, 121], [110, 206, 88], [253, 231, 37]];
const background = [40, 40, 40];
const boxColour = [150, 150, 150];
const outlineColour = [255, 170, 0];

const vertexShader = `#version 300 es
in vec3 position;
in vec3 normal;
uniform mat4 modelView, projection;
uniform vec2 zRange;
uniform int colouring; // 0 by height, 1 by normal, 2 one colour
uniform vec3 fixedColour;
uniform vec3 stops[${colourStops.length}];
uniform float pointSize;
out vec3 colour;
out vec3 viewPosition;
void main() {
    vec4 p = modelView * vec4(position, 1.0);
    viewPosition = p.xyz;
    gl_Position = projection * p;
    gl_PointSize = pointSize;
    float t = clamp((position.z - zRange.x) / max(zRange.y - zRange.x, 1e-30), 0.0, 1.0) * float(${colourStops.length - 1});
    int i = min(int(t), ${colourStops.length - 2});
    vec3 height = mix(stops[i], stops[i + 1], t - float(i));
    colour = colouring == 0 ? height : colouring == 1 ? normalize(normal) * 0.5 + 0.5 : fixedColour;
}`;

// Triangles are lit by a light at the camera, by the normal of their face (from the
// slopes of the view position across the triangle: flat, without per-face data).
const fragmentShader = `#version 300 es
precision highp float;
in vec3 colour;
in vec3 viewPosition;
uniform bool shaded;
out vec4 fragColour;
void main() {
    vec3 c = colour;
    if (shaded) c *= 0.25 + 0.75 * abs(normalize(cross(dFdx(viewPosition), dFdy(viewPosition))).z);
    fragColour = vec4(c, 1.0);
}`;

// ---- Matrices (column-major 4x4) ---------------------------------------

function perspective(fovy, aspect, near, far) {
    const f = 1 / Math.tan(fovy / 2), d = near - far;
    return [f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (far + near) / d, -1, 0, 0, (2 * far * near) / d, 0];
}

const sub = (a, b) => a.map((v, i) => v - b[i]);
const cross = (a, b) => [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]];
const dot = (a, b) => a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
const unit = (a) => a.map((v) => v / Math.hypot(...a));

function lookAt(eye, target, up) {
    const z = unit(sub(eye, target)), x = unit(cross(up, z)), y = cross(z, x);
    return [x[0], y[0], z[0], 0, x[1], y[1], z[1], 0, x[2], y[2], z[2], 0, -dot(x, eye), -dot(y, eye), -dot(z, eye), 1];
}

// ---- State -------------------------------------------------------------

const fov = Math.PI / 4;
let gl = null, program = null, uniforms = {}, attributes = {};
let canvas = null, bar = null, note = null;
let model = null;   // the buffers and counts of the shown model
let camera = null;  // { yaw, pitch, distance, target }
let pending = false;
let budget = 200_000;
let resting = null; // the timer that ends a motion

function element(tag, props, parent) {
    return parent.appendChild(Object.assign(document.createElement(tag), props));
}

function compile(type, source) {
    const shader = gl.createShader(type);
    gl.shaderSource(shader, source);
    gl.compileShader(shader);
    if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS)) throw new Error(gl.getShaderInfoLog(shader));
    return shader;
}

// The canvas, its bar and the WebGL program, made once, inside the picture's area.
function setup() {
    if (canvas) return;
    const area = document.getElementById('view');
    canvas = element('canvas', { id: 'model3d', hidden: true, tabIndex: 0 }, area);
    bar = element('div', { id: 'model3d-bar', hidden: true }, area);
    element('button', { textContent: 'Reset view', title: 'the first view (r)', onclick: () => reset() }, bar);
    note = element('span', {}, bar);
    gl = canvas.getContext('webgl2', { antialias: false });
    if (!gl) return;
    program = gl.createProgram();
    gl.attachShader(program, compile(gl.VERTEX_SHADER, vertexShader));
    gl.attachShader(program, compile(gl.FRAGMENT_SHADER, fragmentShader));
    gl.linkProgram(program);
    if (!gl.getProgramParameter(program, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(program));
    for (const name of ['modelView', 'projection', 'zRange', 'colouring', 'fixedColour', 'stops', 'pointSize', 'shaded'])
        uniforms[name] = gl.getUniformLocation(program, name);
    attributes = { position: gl.getAttribLocation(program, 'position'), normal: gl.getAttribLocation(program, 'normal') };
    gl.useProgram(program);
    gl.uniform3fv(uniforms.stops, colourStops.flat().map((v) => v / 255));
    gl.enable(gl.DEPTH_TEST);
    listen();
}

function listen() {
    let drag = null;
    canvas.onpointerdown = (event) => {
        if (event.isTrusted) canvas.setPointerCapture(event.pointerId);
        drag = { x: event.clientX, y: event.clientY, pan: event.shiftKey || event.button === 2 };
    };
    canvas.onpointerup = () => { drag = null; };
    canvas.onpointermove = (event) => {
        if (!drag || !camera) return;
        const dx = event.clientX - drag.x, dy = event.clientY - drag.y;
        Object.assign(drag, { x: event.clientX, y: event.clientY });
        if (drag.pan) {
            // The target follows the cursor in the plane through it, facing the camera.
            const perPixel = (2 * camera.distance * Math.tan(fov / 2)) / canvas.clientHeight;
            const [right, up] = axes();
            camera.target = camera.target.map((v, i) => v - (right[i] * dx - up[i] * dy) * perPixel);
        } else {
            camera.yaw -= dx * 0.01;
            camera.pitch = Math.max(-1.55, Math.min(1.55, camera.pitch + dy * 0.01));
        }
        moved();
    };
    canvas.oncontextmenu = (event) => event.preventDefault();
    canvas.onwheel = (event) => {
        event.preventDefault();
        if (camera) camera.distance *= Math.exp(event.deltaY * 0.001);
        moved();
    };
    // "r" where no other part of the page takes keys (the tree finds labels by their letters).
    document.addEventListener('keydown', (event) => {
        const here = event.target === canvas || event.target === document.body;
        if (event.key === 'r' && here && !canvas.hidden && !event.ctrlKey && !event.metaKey && !event.altKey) reset();
    });
    new ResizeObserver(() => redraw()).observe(canvas);
}

// ---- Loading -----------------------------------------------------------

function buffer(target, data) {
    const b = gl.createBuffer();
    gl.bindBuffer(target, b);
    gl.bufferData(target, data, gl.STATIC_DRAW);
    return b;
}

function release() {
    if (!model) return;
    for (const b of [model.positions, model.normals, model.triangles, model.outlines, model.box, model.boxEdges])
        if (b) gl.deleteBuffer(b);
    model = null;
}

const count = (n) => n.toLocaleString('en-US');

// A fixed pseudo-random order (the same picture each time) of the points, with the
// indices of the faces following them, and of the triangles: any first part of
// either is a uniform sample of the model.
function shuffle(positions, normals, triangles, corners) {
    let seed = 0x2545f491;
    const random = (n) => {
        seed = (seed + 0x6d2b79f5) | 0;
        let t = Math.imul(seed ^ (seed >>> 15), 1 | seed);
        t ^= t + Math.imul(t ^ (t >>> 7), 61 | t);
        return (((t ^ (t >>> 14)) >>> 0) % n);
    };
    const swap = (a, i, j, size) => {
        for (let k = 0; k < size; ++k) [a[i * size + k], a[j * size + k]] = [a[j * size + k], a[i * size + k]];
    };
    const n = positions.length / 3;
    const place = new Uint32Array(n).map((_, i) => i); // place[i]: where point i went
    const at = new Uint32Array(place);                  // at[k]: which point is at k
    for (let k = n - 1; k > 0; --k) {
        const j = random(k + 1);
        swap(positions, k, j, 3);
        if (normals) swap(normals, k, j, 3);
        [at[k], at[j]] = [at[j], at[k]];
        place[at[k]] = k;
        place[at[j]] = j;
    }
    for (const list of [triangles, corners]) for (let i = 0; i < list.length; ++i) list[i] = place[list[i]];
    for (let k = triangles.length / 3 - 1; k > 0; --k) swap(triangles, k, random(k + 1), 3);
}

// Shows the model of node `path` of open file `docId` in place of the 2D canvas,
// at most `max` of its points.
export async function showModel(docId, path, max = displayCap) {
    setup();
    if (!gl) throw new Error('this browser offers no WebGL2: the 3D view cannot be drawn');
    const response = await fetch(`/api/model?doc=${docId}&path=${encodeURIComponent(path)}&max=${max}`);
    if (!response.ok) throw new Error((await response.json()).error);
    const header = (name) => Number(response.headers.get(name));
    const bytes = await response.arrayBuffer();
    const sent = header('X-Points-Sent'), triangleCount = header('X-Triangles-Sent'), polygonCount = header('X-Polygons-Sent');
    const hasNormals = header('X-Normals') === 1;
    let at = 0;
    const take = (Type, n) => { const a = new Type(bytes, at, n); at += n * 4; return a; };
    const positions = take(Float32Array, sent * 3);
    const normals = hasNormals ? take(Float32Array, sent * 3) : null;
    const triangles = take(Uint32Array, triangleCount * 3);
    const starts = take(Uint32Array, polygonCount + 1);
    const corners = take(Uint32Array, starts[polygonCount]);
    // Each polygon as the lines between its corners, closed.
    const outline = new Uint32Array(corners.length * 2);
    for (let p = 0, k = 0; p < polygonCount; ++p) {
        for (let j = starts[p]; j < starts[p + 1]; ++j, k += 2) {
            outline[k] = corners[j];
            outline[k + 1] = corners[j + 1 < starts[p + 1] ? j + 1 : starts[p]];
        }
    }
    shuffle(positions, normals, triangles, corners);
    const bounds = response.headers.get('X-Bounds').split(',').map(Number);
    const [x0, y0, z0, x1, y1, z1] = bounds;
    const box = new Float32Array([x0, y0, z0, x1, y0, z0, x1, y1, z0, x0, y1, z0, x0, y0, z1, x1, y0, z1, x1, y1, z1, x0, y1, z1]);
    const boxEdges = new Uint16Array([0, 1, 1, 2, 2, 3, 3, 0, 4, 5, 5, 6, 6, 7, 7, 4, 0, 4, 1, 5, 2, 6, 3, 7]);
    release();
    model = {
        sent, bounds, hasNormals, triangleCount, outlineCount: outline.length,
        positions: buffer(gl.ARRAY_BUFFER, positions),
        normals: normals && buffer(gl.ARRAY_BUFFER, normals),
        triangles: triangleCount && buffer(gl.ELEMENT_ARRAY_BUFFER, triangles),
        outlines: outline.length && buffer(gl.ELEMENT_ARRAY_BUFFER, outline),
        box: buffer(gl.ARRAY_BUFFER, box),
        boxEdges: buffer(gl.ELEMENT_ARRAY_BUFFER, boxEdges),
    };
    const total = header('X-Point-Count'), allTriangles = header('X-Triangle-Count'), allPolygons = header('X-Polygon-Count');
    const parts = [sent < total ? `showing ${count(sent)} of ${count(total)} points (one in ${header('X-Point-Stride')})`
                                : `${count(total)} points`];
    if (allTriangles) parts.push(triangleCount < allTriangles ? `${count(triangleCount)} of ${count(allTriangles)} triangles` : `${count(allTriangles)} triangles`);
    if (allPolygons) parts.push(polygonCount < allPolygons ? `${count(polygonCount)} of ${count(allPolygons)} polygons` : `${count(allPolygons)} polygons`);
    parts.push(triangleCount ? 'coloured by height (z), shaded by face' : hasNormals ? 'coloured by normal' : 'coloured by height (z)');
    note.textContent = parts.join(', ');
    canvas.hidden = bar.hidden = false;
    reset();
    canvas.dataset.shown = `${docId}:${path}`;
}

export function hideModel() {
    if (!canvas) return;
    canvas.hidden = bar.hidden = true;
    delete canvas.dataset.shown;
    release();
}

// ---- Drawing -----------------------------------------------------------

function reset() {
    if (!model) return;
    const [x0, y0, z0, x1, y1, z1] = model.bounds;
    const radius = Math.max(Math.hypot(x1 - x0, y1 - y0, z1 - z0) / 2, 1e-6);
    camera = { yaw: 0.5, pitch: 0.45, distance: (radius / Math.sin(fov / 2)) * 1.05, target: [(x0 + x1) / 2, (y0 + y1) / 2, (z0 + z1) / 2], radius };
    redraw();
}

function eye() {
    const { yaw, pitch, distance, target } = camera;
    const c = Math.cos(pitch);
    return [target[0] + distance * c * Math.sin(yaw), target[1] - distance * c * Math.cos(yaw), target[2] + distance * Math.sin(pitch)];
}

// The camera's right and up directions in model coordinates (z is up).
function axes() {
    const forward = unit(sub(camera.target, eye()));
    const right = unit(cross(forward, [0, 0, 1]));
    return [right, cross(right, forward)];
}

function redraw() {
    if (pending || !model) return;
    pending = true;
    requestAnimationFrame(() => {
        pending = false;
        draw();
    });
}

// The view moves: smaller samples until it rests, then the whole model.
function moved() {
    clearTimeout(resting);
    resting = setTimeout(() => { resting = null; redraw(); }, motion.restMs);
    redraw();
}

function attribute(location, b) {
    if (!b) return gl.disableVertexAttribArray(location);
    gl.bindBuffer(gl.ARRAY_BUFFER, b);
    gl.enableVertexAttribArray(location);
    gl.vertexAttribPointer(location, 3, gl.FLOAT, false, 0, 0);
}

function draw() {
    if (!model || canvas.hidden) return;
    const started = performance.now();
    const moving = motion.enabled && resting !== null;
    const sample = (n) => (moving ? Math.min(n, budget) : n);
    canvas.dataset.drawn = sample(model.triangleCount || model.sent);
    const ratio = window.devicePixelRatio || 1;
    const width = Math.max(1, Math.round(canvas.clientWidth * ratio)), height = Math.max(1, Math.round(canvas.clientHeight * ratio));
    if (canvas.width !== width || canvas.height !== height) Object.assign(canvas, { width, height });
    gl.viewport(0, 0, width, height);
    gl.clearColor(...background.map((v) => v / 255), 1);
    gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
    const near = Math.max(camera.distance - camera.radius * 2, camera.distance * 1e-3);
    gl.uniformMatrix4fv(uniforms.projection, false, perspective(fov, width / height, near, camera.distance + camera.radius * 2));
    gl.uniformMatrix4fv(uniforms.modelView, false, lookAt(eye(), camera.target, [0, 0, 1]));
    gl.uniform2f(uniforms.zRange, model.bounds[2], model.bounds[5]);
    gl.uniform1f(uniforms.pointSize, (model.sent > 500_000 ? 1 : model.sent > 10_000 ? 2 : 4) * ratio);
    const colour = (rgb) => gl.uniform3fv(uniforms.fixedColour, rgb.map((v) => v / 255));
    gl.vertexAttrib3f(attributes.normal, 0, 0, 1);

    attribute(attributes.position, model.positions);
    attribute(attributes.normal, model.normals);
    gl.uniform1i(uniforms.shaded, 0);
    if (model.triangles) {
        // A mesh shows its faces; its points would only speckle them.
        gl.uniform1i(uniforms.colouring, 0);
        gl.uniform1i(uniforms.shaded, 1);
        gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, model.triangles);
        gl.drawElements(gl.TRIANGLES, sample(model.triangleCount) * 3, gl.UNSIGNED_INT, 0);
        gl.uniform1i(uniforms.shaded, 0);
    } else {
        gl.uniform1i(uniforms.colouring, model.hasNormals ? 1 : 0);
        gl.drawArrays(gl.POINTS, 0, sample(model.sent));
    }
    gl.uniform1i(uniforms.colouring, 2);
    if (model.outlines) {
        colour(outlineColour);
        gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, model.outlines);
        gl.drawElements(gl.LINES, model.outlineCount, gl.UNSIGNED_INT, 0);
    }
    attribute(attributes.normal, null);
    attribute(attributes.position, model.box);
    colour(boxColour);
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, model.boxEdges);
    gl.drawElements(gl.LINES, 24, gl.UNSIGNED_SHORT, 0);
    if (moving) {
        // Waits for this frame's last pixel to size the next one's sample.
        gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(4));
        const took = Math.max(performance.now() - started, 1);
        budget = Math.round(Math.max(motion.least, budget * Math.min(2, Math.sqrt(motion.frameMs / took))));
    }
}

// The view drawn now and read back, RGBA rows from the bottom (for the tests and the benchmark).
export function modelPixels() {
    draw();
    const pixels = new Uint8Array(canvas.width * canvas.height * 4);
    gl.readPixels(0, 0, canvas.width, canvas.height, gl.RGBA, gl.UNSIGNED_BYTE, pixels);
    return { width: canvas.width, height: canvas.height, pixels };
}
