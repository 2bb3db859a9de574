// The open file's tree: each level fetched when it is opened, long lists in pages.
import { children, fullText, status } from './api.mjs';
import { VALUE } from './kinds.mjs';

const treeRoot = () => document.getElementById('tree');

export const selected = new Set(); // paths of the selected nodes
let handlers = { show: async () => {}, selectionChanged: () => {} };

// `show(path)` draws a node chosen alone; `selectionChanged()` follows every change of the selection.
export function initTree(given) {
    handlers = { ...handlers, ...given };
}

export function clearTree() {
    selected.clear();
    treeRoot().replaceChildren();
}

export function showRoot(root, page) {
    treeRoot().append(nodeItem(root));
    showChildren(treeRoot().firstChild, page);
}

function span(className, text) {
    const s = document.createElement('span');
    s.className = className;
    s.textContent = text;
    return s;
}

function nodeItem(info) {
    const li = document.createElement('li');
    li.dataset.path = info.path;
    li.dataset.kind = info.kind;
    const row = document.createElement('div');
    row.className = 'row';
    const toggle = span('toggle', info.childCount > 0 ? '▸' : '');
    row.append(toggle, span('label', info.label), span('type', info.type), span('summary', info.summary));
    if (info.kind === VALUE) {
        const full = document.createElement('button');
        full.className = 'show-full';
        full.textContent = info.truncated ? 'all values' : 'full';
        full.onclick = (event) => { event.stopPropagation(); showFull(li); };
        row.append(' ', full);
    }
    row.onclick = (event) => {
        if (event.target === toggle) return expand(li);
        select(info.path, event.ctrlKey || event.metaKey);
    };
    row.ondblclick = () => expand(li);
    li.append(row);
    if (info.details.length) {
        const details = document.createElement('ul');
        details.className = 'details';
        for (const line of info.details) details.append(Object.assign(document.createElement('li'), { textContent: line }));
        li.append(details);
    }
    return li;
}

async function expand(li) {
    const toggle = li.querySelector(':scope > .row > .toggle');
    if (!toggle.textContent) return;
    const open = li.querySelector(':scope > ul.tree');
    if (open) {
        open.remove();
        toggle.textContent = '▸';
        return;
    }
    try {
        showChildren(li, await children(li.dataset.path));
    } catch (error) {
        status(error.message, true);
    }
}

// Appends a page of children under `li`; a long list ends in a button for the next page.
function showChildren(li, { total, from, children: items }) {
    let ul = li.querySelector(':scope > ul.tree');
    if (!ul) {
        ul = Object.assign(document.createElement('ul'), { className: 'tree' });
        li.append(ul);
        li.querySelector(':scope > .row > .toggle').textContent = '▾';
    }
    ul.querySelector(':scope > li.more')?.remove();
    ul.append(...items.map(nodeItem));
    const shown = from + items.length;
    if (shown < total) {
        const more = Object.assign(document.createElement('li'), { className: 'more' });
        const button = Object.assign(document.createElement('button'), { textContent: `${total - shown} more` });
        button.onclick = async () => {
            try {
                showChildren(li, await children(li.dataset.path, shown));
            } catch (error) {
                status(error.message, true);
            }
        };
        more.append(button);
        ul.append(more);
    }
}

async function showFull(li) {
    const shown = li.querySelector(':scope > pre.full');
    if (shown) return shown.remove();
    try {
        const { text } = await fullText(li.dataset.path);
        const pre = Object.assign(document.createElement('pre'), { className: 'full', textContent: text });
        li.querySelector(':scope > .row').after(pre);
    } catch (error) {
        status(error.message, true);
    }
}

export async function select(path, add) {
    if (!add) selected.clear();
    if (add && selected.has(path)) selected.delete(path);
    else selected.add(path);
    for (const row of document.querySelectorAll('.row.selected')) row.classList.remove('selected');
    for (const li of document.querySelectorAll('#tree li')) {
        if (selected.has(li.dataset.path)) li.querySelector(':scope > .row').classList.add('selected');
    }
    handlers.selectionChanged();
    if (!add) await handlers.show(path);
}
