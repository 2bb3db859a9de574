// A node's values as a table: a tuple's values, an array's entries or a
// matrix's rows, a page at a time, with the minimum, maximum and mean of a
// numeric one (computed by the server over every value).
import { status, table } from './api.mjs';

const $ = (id) => document.getElementById(id);
const pageRows = 100;
let shown = null; // the path of the node in the table

// A number as the table writes it: at most 6 significant digits, the same in every locale.
const number = (value) => String(Number(value.toPrecision(6)));

function cell(tag, text) {
    return Object.assign(document.createElement(tag), { textContent: text });
}

function line(...parts) {
    const div = document.createElement('div');
    div.append(...parts);
    return div;
}

export function hideTable() {
    shown = null;
    $('table').hidden = true;
    $('table').replaceChildren();
}

export async function showTable(path, from = 0) {
    shown = path;
    let page;
    try {
        page = await table(path, from, pageRows);
    } catch (error) {
        return status(error.message, true);
    }
    if (shown !== path) return; // another node was chosen meanwhile
    const { header, total, available, rows, stats } = page;
    const last = from + rows.length - 1;
    const step = (label, to) => Object.assign(document.createElement('button'), {
        textContent: label, disabled: to < 0 || to >= available || to === from, onclick: () => showTable(path, to),
    });
    const jump = Object.assign(document.createElement('input'), { type: 'number', min: 0, max: available - 1, placeholder: 'index', id: 'table-index' });
    jump.setAttribute('aria-label', 'show the table from index');
    jump.onkeydown = (event) => {
        if (event.key === 'Enter' && jump.value !== '') showTable(path, Math.min(Math.max(0, Number(jump.value)), available - 1));
    };
    const parts = [line(`${rows.length ? `${from}–${last}` : 'none'} of ${total} `, step('◀', Math.max(0, from - pageRows)),
                        step('▶', from + pageRows), ' ', jump)];
    if (stats) {
        const summary = line(`min ${number(stats.min)} · max ${number(stats.max)} · mean ${number(stats.mean)} (${stats.count} values)`);
        summary.className = 'stats';
        parts.push(summary);
    }
    if (available < total) parts.push(line(`the node holds the first ${available} of ${total} values: "all values" shows every one`));
    const grid = document.createElement('table');
    grid.createTHead().insertRow().append(cell('th', 'index'), ...header.map((name) => cell('th', name)));
    const body = grid.createTBody();
    rows.forEach((cells, k) => body.insertRow().append(cell('th', String(from + k)), ...cells.map((text) => cell('td', text))));
    $('table').replaceChildren(...parts, grid);
    $('table').hidden = false;
}
