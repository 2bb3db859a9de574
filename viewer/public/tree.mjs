// The open file's tree, an ARIA tree: each level fetched when it is opened, long
// lists in pages of the server's size with gaps that load on demand, keys to walk
// it, a filter over the labels loaded, and the way to any node by its path.
import { children, fullText, locate, session, status } from './api.mjs';
import { ARRAY, VALUE } from './kinds.mjs';
import { hideTable, showTable } from './table.mjs';
import { swatch } from './overlays.mjs';

const $ = (id) => document.getElementById(id);
const treeRoot = () => $('tree');

export const selected = new Set(); // paths of the selected nodes
let pageLength = 1;                 // the server's page of children, as a list cut short shows it; pages start at its multiples
let handlers = { show: async () => {}, selectionChanged: () => {} };

// `show(path)` draws a node chosen alone; `selectionChanged()` follows every change of the selection.
export function initTree(given) {
    handlers = { ...handlers, ...given };
    treeRoot().addEventListener('keydown', onKey);
    $('filter').oninput = applyFilter;
    $('copy-path').onclick = copyPath;
    $('goto').onsubmit = (event) => {
        event.preventDefault();
        const path = $('goto-path').value.trim();
        if (session.doc && path) reveal(path).catch((error) => status(error.message, true));
    };
}

export function clearTree() {
    selected.clear();
    treeRoot().replaceChildren();
    $('node-path').textContent = '';
    hideTable();
}

export function showRoot(root, page) {
    const li = nodeItem(root, 1, 0);
    li.tabIndex = 0;
    treeRoot().append(li);
    showChildren(li, page);
    writeLocation('/');
}

// ---- Items -------------------------------------------------------------

function span(className, text) {
    return Object.assign(document.createElement('span'), { className, textContent: text });
}

const levelOf = (li) => Number(li.getAttribute('aria-level'));
const groupOf = (li) => li.querySelector(':scope > ul.tree');
const parentItem = (li) => li.parentElement.closest('li[role=treeitem]');

// Whether a node's values, entries or rows read as a table.
const hasTable = (info) => (info.kind === VALUE && info.totalCount > 1) || (info.kind === ARRAY && info.childCount > 0)
    || info.objectClass === 'matrix';

function nodeItem(info, level, index) {
    const li = document.createElement('li');
    li.setAttribute('role', 'treeitem');
    li.setAttribute('aria-level', level);
    li.setAttribute('aria-selected', 'false');
    li.setAttribute('aria-label', [info.label, info.type, info.summary].filter(Boolean).join(', '));
    li.tabIndex = -1;
    Object.assign(li.dataset, { path: info.path, kind: info.kind, index, table: hasTable(info) ? '1' : '' });
    if (info.childCount > 0) {
        li.setAttribute('aria-expanded', 'false');
        li.classList.add('collapsed');
    }
    const row = document.createElement('div');
    row.className = 'row';
    row.title = info.path;
    const toggle = span('toggle', info.childCount > 0 ? '▸' : '');
    row.append(toggle, span('label', info.label), span('type', info.type), span('summary', info.summary));
    const mark = swatch(info); // a geometry node's colour on the canvas
    if (mark) toggle.after(mark);
    if (info.kind === VALUE) {
        const full = Object.assign(document.createElement('button'), { className: 'show-full', tabIndex: -1 });
        full.textContent = info.truncated ? 'all values' : 'full';
        full.onclick = (event) => { event.stopPropagation(); showFull(li); };
        row.append(' ', full);
    }
    row.onclick = (event) => {
        focusItem(li);
        if (event.target === toggle) return toggleItem(li);
        select(info.path, event.ctrlKey || event.metaKey);
    };
    row.ondblclick = () => toggleItem(li);
    li.append(row);
    if (info.details.length) {
        const details = Object.assign(document.createElement('ul'), { className: 'details' });
        details.setAttribute('role', 'none');
        for (const line of info.details) {
            const item = Object.assign(document.createElement('li'), { textContent: line });
            item.setAttribute('role', 'none');
            details.append(item);
        }
        li.append(details);
    }
    return li;
}

// The entries from..to-1 of a long list not loaded yet: a button loads the next
// page, a field the page holding an index.
function gapItem(level, from, to) {
    const li = Object.assign(document.createElement('li'), { className: 'more', tabIndex: -1 });
    li.setAttribute('role', 'treeitem');
    li.setAttribute('aria-level', level);
    li.setAttribute('aria-label', `${to - from} more entries, ${from} to ${to - 1}`);
    Object.assign(li.dataset, { from, to });
    const button = Object.assign(document.createElement('button'), { textContent: `${to - from} more (${from}–${to - 1})`, tabIndex: -1 });
    button.onclick = () => loadGap(li, from).catch((error) => status(error.message, true));
    const jump = Object.assign(document.createElement('input'), { type: 'number', min: from, max: to - 1, placeholder: 'index', className: 'jump' });
    jump.setAttribute('aria-label', 'go to the entry at index');
    jump.onkeydown = (event) => {
        if (event.key !== 'Enter' || jump.value === '') return;
        event.preventDefault();
        jumpTo(parentItem(li), Number(jump.value)).catch((error) => status(error.message, true));
    };
    li.append(button, ' ', jump);
    return li;
}

// Shows a page of children under `li`, the entries after it as a gap.
function showChildren(li, { total, from, children: items }) {
    let ul = groupOf(li);
    if (!ul) {
        ul = Object.assign(document.createElement('ul'), { className: 'tree' });
        ul.setAttribute('role', 'group');
        li.append(ul);
    }
    const level = levelOf(li) + 1;
    ul.append(...items.map((info, k) => nodeItem(info, level, from + k)));
    if (from + items.length < total) {
        pageLength = items.length;
        ul.append(gapItem(level, from + items.length, total));
    }
    setExpanded(li, true);
    applyFilter();
}

// Loads the page of a gap's entries that starts at `start`; the rest stays a gap on either side.
async function loadGap(gap, start) {
    const parent = parentItem(gap);
    const [from, to] = [Number(gap.dataset.from), Number(gap.dataset.to)];
    const page = await children(parent.dataset.path, start);
    if (!gap.isConnected) return;
    const level = levelOf(gap);
    const items = page.children.slice(0, to - start).map((info, k) => nodeItem(info, level, start + k));
    const end = start + items.length;
    const wasActive = document.activeElement === gap;
    gap.replaceWith(...[start > from && gapItem(level, from, start), ...items, end < to && gapItem(level, end, to)].filter(Boolean));
    if (wasActive && items.length) focusItem(items[0]);
    applyFilter();
}

function setExpanded(li, open) {
    if (!li.hasAttribute('aria-expanded')) return;
    li.setAttribute('aria-expanded', String(open));
    li.classList.toggle('collapsed', !open);
    li.querySelector(':scope > .row > .toggle').textContent = open ? '▾' : '▸';
}

// Opens a node (its children fetched the first time) or closes it.
async function toggleItem(li, open = li.getAttribute('aria-expanded') !== 'true') {
    if (!li.hasAttribute('aria-expanded')) return;
    if (!open || groupOf(li)) return setExpanded(li, open);
    li.setAttribute('aria-busy', 'true');
    try {
        showChildren(li, await children(li.dataset.path));
    } catch (error) {
        status(error.message, true);
    } finally {
        li.removeAttribute('aria-busy');
    }
}

// The item of entry `index` of `parent`'s children, loading the page that holds it.
async function itemAt(parent, index) {
    if (!groupOf(parent)) await toggleItem(parent, true);
    setExpanded(parent, true);
    const ul = groupOf(parent);
    const find = () => ul?.querySelector(`:scope > li[data-index="${index}"]`);
    if (find()) return find();
    const gap = [...(ul?.querySelectorAll(':scope > li.more') ?? [])]
        .find((g) => Number(g.dataset.from) <= index && index < Number(g.dataset.to));
    if (!gap) throw new Error(`${parent.dataset.path} has no entry ${index}`);
    await loadGap(gap, Math.max(Number(gap.dataset.from), index - (index % pageLength)));
    return find();
}

async function jumpTo(parent, index) {
    const li = await itemAt(parent, index);
    focusItem(li);
    await select(li.dataset.path, false);
}

// Expands the ancestors of the node at `path` (the server finds each one's
// position), then focuses and selects it.
export async function reveal(path) {
    const { steps } = await locate(path);
    let li = treeRoot().firstChild;
    for (const step of steps) li = await itemAt(li, step.index);
    focusItem(li);
    await select(li.dataset.path, false);
}

// A long text comes in the server's parts: the rest is fetched by a "more" button under it.
async function showFull(li) {
    const shown = li.querySelector(':scope > .full');
    if (shown) return shown.remove();
    const box = Object.assign(document.createElement('div'), { className: 'full' });
    const pre = document.createElement('pre');
    const more = Object.assign(document.createElement('button'), { className: 'more-text', hidden: true });
    box.append(pre, more);
    let from = 0;
    const next = async () => {
        more.disabled = true;
        try {
            const { text, length } = await fullText(li.dataset.path, from);
            pre.append(text);
            from += text.length;
            more.hidden = from >= length;
            more.textContent = `more (${from.toLocaleString()} of ${length.toLocaleString()} characters shown)`;
            return true;
        } catch (error) {
            status(error.message, true);
            return false;
        } finally {
            more.disabled = false;
        }
    };
    more.onclick = (event) => { event.stopPropagation(); next(); };
    if (await next()) li.querySelector(':scope > .row').after(box);
}

export async function select(path, add) {
    if (!add) selected.clear();
    if (add && selected.has(path)) selected.delete(path);
    else selected.add(path);
    for (const li of treeRoot().querySelectorAll('li[data-path]')) {
        const on = selected.has(li.dataset.path);
        li.setAttribute('aria-selected', String(on));
        li.querySelector(':scope > .row').classList.toggle('selected', on);
    }
    handlers.selectionChanged();
    document.dispatchEvent(new CustomEvent('ix:selected', { detail: { path, add } }));
    if (add) return;
    $('node-path').textContent = path;
    writeLocation(path);
    const li = treeRoot().querySelector(`li[data-path="${CSS.escape(path)}"]`);
    await Promise.all([handlers.show(path), li?.dataset.table ? showTable(path) : hideTable()]);
}

// ---- Keys --------------------------------------------------------------

// Roving focus: the one item that Tab reaches is the last one focused.
function focusItem(li) {
    for (const other of treeRoot().querySelectorAll('li[tabindex="0"]')) other.tabIndex = -1;
    li.tabIndex = 0;
    li.focus({ preventScroll: true });
    (li.querySelector(':scope > .row') ?? li).scrollIntoView({ block: 'nearest' });
}

const visibleItems = () => [...treeRoot().querySelectorAll('li[role=treeitem]')].filter((li) => li.checkVisibility());
const labelOf = (li) => (li.querySelector(':scope > .row > .label')?.textContent ?? '').toLowerCase();

let typed = { text: '', at: 0 };

function onKey(event) {
    const li = event.target.closest?.('li[role=treeitem]');
    if (!li || event.target !== li || event.altKey) return;
    const items = visibleItems();
    const at = items.indexOf(li);
    const move = (to) => to && focusItem(to);
    const expanded = li.getAttribute('aria-expanded');
    switch (event.key) {
    case 'ArrowDown': move(items[at + 1]); break;
    case 'ArrowUp': move(items[at - 1]); break;
    case 'Home': move(items[0]); break;
    case 'End': move(items.at(-1)); break;
    case 'ArrowRight':
        if (expanded === 'false') toggleItem(li, true);
        else if (expanded === 'true') move(items[at + 1]?.parentElement.closest('li') === li ? items[at + 1] : null);
        break;
    case 'ArrowLeft':
        if (expanded === 'true') setExpanded(li, false);
        else move(parentItem(li));
        break;
    case 'Enter':
        if (li.classList.contains('more')) loadGap(li, Number(li.dataset.from)).catch((error) => status(error.message, true));
        else select(li.dataset.path, event.ctrlKey || event.metaKey);
        break;
    default: {
        if (event.key.length !== 1 || event.ctrlKey || event.metaKey) return;
        // Type-ahead: the next item whose label starts with what was typed in the
        // last moment; one letter typed again goes on to its next item.
        const now = Date.now();
        typed = { text: (now - typed.at < 700 ? typed.text : '') + event.key.toLowerCase(), at: now };
        const again = [...typed.text].every((c) => c === typed.text[0]);
        const prefix = again ? typed.text[0] : typed.text;
        const order = [...items.slice(at + (again ? 1 : 0)), ...items.slice(0, at + (again ? 1 : 0))];
        move(order.find((item) => labelOf(item).startsWith(prefix)));
    }
    }
    event.preventDefault();
}

// ---- Filter, path, address ---------------------------------------------

// Hides the loaded items whose label does not hold the filter's text, keeping
// the ancestors of those that do (and showing them inside closed nodes).
function applyFilter() {
    const text = $('filter').value.trim().toLowerCase();
    const items = treeRoot().querySelectorAll('li[role=treeitem]');
    treeRoot().classList.toggle('filtering', text !== '');
    for (const li of items) li.classList.toggle('filtered-out', text !== '');
    if (!text) return;
    for (const li of items) {
        if (!li.dataset.path || !labelOf(li).includes(text)) continue;
        for (let up = li; up && up.classList.contains('filtered-out'); up = parentItem(up)) up.classList.remove('filtered-out');
    }
}

async function copyPath() {
    const path = $('node-path').textContent;
    if (!path) return;
    try {
        await navigator.clipboard.writeText(path);
        status(`copied ${path}`);
    } catch (error) {
        status(`the path could not be copied: ${error.message}`, true);
    }
}

// The open file and node in the address's fragment (never its query, which held
// the launch token), so that a link or a reload opens them again.
export function locationState() {
    const state = new URLSearchParams(location.hash.slice(1));
    return { file: state.get('file'), as: state.get('as') ?? '', path: state.get('path') ?? '/' };
}

function writeLocation(path) {
    if (!session.doc) return;
    const state = new URLSearchParams({ file: session.doc.file });
    if (session.doc.as) state.set('as', session.doc.as);
    state.set('path', path);
    history.replaceState(null, '', `${location.pathname}#${state}`);
}
