// What the dataset, model card and frame views share: a panel over the picture
// that can be hidden and brought back, requests to the server, and images fetched
// as the canvas draws them.
import { compose } from './drawing.mjs';

export const element = (tag, props = {}, ...children) => {
    const made = Object.assign(document.createElement(tag), props);
    made.append(...children);
    return made;
};

// A table of `rows` under a caption, `head` naming the columns.
export function table(id, caption, head, rows) {
    const cells = (tag, values) => element('tr', {}, ...values.map((v) => element(tag, { textContent: String(v) })));
    return element('table', { id, className: 'card-table' }, element('caption', { textContent: caption }),
                   cells('th', head), ...rows.map((r) => cells('td', r)));
}

export async function request(url, body) {
    const response = await fetch(url, body === undefined ? {}
        : { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body) });
    const value = await response.json();
    if (!response.ok) throw new Error(value.error);
    return value;
}

export function showError(message) {
    const status = document.getElementById('status');
    status.textContent = message;
    status.className = 'error';
}

// Image `index` of the node at `path` as a canvas of its own size (pixels outside
// the domain in the page's dark grey), or an error with the library's message.
export async function imageCanvas(docId, path, index = 0) {
    const response = await fetch(`/api/image?doc=${docId}&path=${encodeURIComponent(path)}&index=${index}`);
    if (!response.ok) throw new Error((await response.json()).error);
    const number = (name) => Number(response.headers.get(name));
    const image = { width: number('X-Width'), height: number('X-Height'), rowBytes: number('X-Row-Bytes'),
                    format: response.headers.get('X-Format'), pixels: new Uint8Array(await response.arrayBuffer()) };
    return compose(image, { x0: 0, y0: 0, ...image }, [], () => true).base;
}

// A panel over the picture with a title and a "hide" button; hidden, a tab of
// the same name brings it back (and `onShow` draws what it holds anew).
export function overlay(id, name, onShow = () => {}) {
    const view = document.getElementById('view');
    const title = element('span', { className: 'panel-title' });
    const hide = element('button', { className: 'panel-hide', textContent: 'hide' });
    const body = element('div', { className: 'panel-body' });
    const box = element('section', { id, className: 'panel', hidden: true }, element('div', { className: 'panel-head' }, title, hide), body);
    const tab = element('button', { id: `${id}-tab`, className: 'panel-tab', textContent: name, hidden: true });
    view.append(box, tab);
    const show = (visible) => {
        box.hidden = !visible;
        tab.hidden = visible;
        if (visible) onShow();
    };
    hide.onclick = () => show(false);
    tab.onclick = () => show(true);
    return {
        box, body, title,
        open() { show(true); },
        remove() { box.hidden = true; tab.hidden = true; body.replaceChildren(); },
        get shown() { return !box.hidden; },
    };
}

// Whether a panel covers the picture now (then its keys are the panel's).
export const panelShown = () => document.querySelector('#view > .panel:not([hidden])') !== null;

// The step a key asks for: ',' '.' or Shift/Ctrl with the arrows step back and
// on, Home and End go to the first and last (not inside the tree, whose keys they are).
export function stepOf(event) {
    const target = event.target;
    if (target.closest?.('input, select, textarea, [contenteditable]')) return null;
    const modified = event.shiftKey || event.ctrlKey || event.metaKey;
    if (event.key === ',' || (modified && event.key === 'ArrowLeft')) return 'previous';
    if (event.key === '.' || (modified && event.key === 'ArrowRight')) return 'next';
    if (target.closest?.('#side')) return null;
    if (event.key === 'Home') return 'first';
    if (event.key === 'End') return 'last';
    return null;
}

// Buttons to the first, previous, next and last, each calling `go` with its step.
export const stepButtons = (go) => [['first', '|◀'], ['previous', '◀'], ['next', '▶'], ['last', '▶|']]
    .map(([step, text]) => element('button', { textContent: text, title: step, onclick: () => go(step) }));

// The position `step` leads to from `current` among `count`.
export function stepped(step, current, count) {
    const to = { previous: current - 1, next: current + 1, first: 0, last: count - 1 }[step];
    return Math.max(0, Math.min(count - 1, to));
}
