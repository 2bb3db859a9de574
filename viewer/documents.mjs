// The files the viewer holds open: one Reader each, tied to the page that opened
// it. A page holds at most `perPage` files (opening one more closes the one it used
// least recently), and a page that has not been heard of for `expirySeconds` (no
// heartbeat, no request on one of its files) loses its files: a tab closed without
// its `pagehide` close, a crashed browser, a script that never closes.
import path from 'node:path';
import { IxError, Reader } from './ixadapter.mjs';

export class HttpError extends Error {
    constructor(status, message) {
        super(message);
        this.status = status;
    }
}

// A long value text is sent in parts of this many characters at most.
export const textPartLength = Number(process.env.IX_VIEWER_TEXT_PART) || 4_000_000;

export class Documents {
    #open = new Map();     // id -> document
    #opening = new Map();  // ticket -> { page, reader, cancel }
    #pages = new Map();    // page -> when it was last heard of (ms)
    #nextId = 1;
    #timer;

    constructor({ perPage = 8, expirySeconds = 120 } = {}) {
        this.perPage = perPage;
        this.expiryMs = expirySeconds * 1000;
        this.#timer = setInterval(() => this.expire(), Math.min(this.expiryMs / 4, 10_000));
        this.#timer.unref();
    }

    /** A page is alive: its files stay open. Returns the ids of its files. */
    heard(page = '') {
        this.#pages.set(String(page), Date.now());
        return [...this.#open.values()].filter((d) => d.page === String(page)).map((d) => d.id);
    }

    /**
     * Opens `file` for `page` on a worker thread; `ticket` names the open for
     * cancel(). Resolves to the document; rejects with an HttpError (422 with
     * the library's message, 409 when cancelled).
     */
    async open({ file, name = file, as, options = [], page = '', ticket }) {
        page = String(page);
        if (typeof file !== 'string' || file === '' || file.includes('\0')) throw new HttpError(400, 'no file named');
        if (!Array.isArray(options) || !options.every((o) => o !== null && typeof o === 'object'))
            throw new HttpError(400, 'the reading options are not a list of { key, value }');
        if (ticket !== undefined && (typeof ticket !== 'string' || this.#opening.has(ticket)))
            throw new HttpError(400, 'an open needs a ticket of its own');
        const pending = [...this.#opening.values()].filter((o) => o.page === page).length;
        if (pending >= this.perPage) throw new HttpError(429, `a page opens at most ${this.perPage} files at once`);
        this.heard(page);
        const reader = new Reader();
        let cancel;
        const cancelled = new Promise((resolve) => { cancel = resolve; });
        const key = ticket ?? Symbol('open');
        this.#opening.set(key, { page, reader, cancel });
        const started = performance.now();
        try {
            const load = reader.open(file, { as, options });
            load.catch(() => {}); // a cancelled load's outcome is nobody's
            const root = await Promise.race([load, cancelled]);
            if (!root) throw new HttpError(409, `the open of ${name} was cancelled`);
            const loadMs = performance.now() - started;
            const closed = this.#makeRoom(page);
            const doc = { id: this.#nextId++, page, file, name, folder: path.dirname(file), kind: reader.lastLoadKind, reader, root,
                          loadMs, closed, lastUsed: Date.now(), nodes: new Map(), text: null, textPath: null };
            this.#open.set(doc.id, doc);
            this.heard(page);
            return doc;
        } catch (error) {
            reader.destroy(); // at once, or when the load returns
            if (error instanceof IxError) throw new HttpError(422, error.message);
            throw error;
        } finally {
            this.#opening.delete(key);
        }
    }

    /** Cancels the open `ticket`: it is answered at once, its reader destroyed when the load returns. */
    cancel(ticket) {
        const open = this.#opening.get(ticket);
        open?.cancel(null);
        return open !== undefined;
    }

    /** The open file `id`, its page heard of; 404 when there is none. */
    get(id) {
        const doc = this.#open.get(Number(id));
        if (!doc) throw new HttpError(404, 'no such open file (closed, or its page was gone too long)');
        doc.lastUsed = Date.now();
        this.heard(doc.page);
        return doc;
    }

    close(id) {
        const doc = this.#open.get(Number(id));
        if (!doc) return false;
        this.#open.delete(doc.id);
        doc.text?.then((held) => held.release(), () => {});
        doc.reader.destroy();
        return true;
    }

    /** Closes the files of pages not heard of for the expiry time. */
    expire(now = Date.now()) {
        // A page waiting for an open or for work on one of its files is there.
        for (const open of this.#opening.values()) this.#pages.set(open.page, now);
        for (const doc of this.#open.values()) if (doc.reader.busy) this.#pages.set(doc.page, now);
        const gone = (page) => now - (this.#pages.get(page) ?? 0) > this.expiryMs;
        for (const doc of [...this.#open.values()]) if (gone(doc.page)) this.close(doc.id);
        for (const page of [...this.#pages.keys()]) if (gone(page)) this.#pages.delete(page);
    }

    closeAll() {
        clearInterval(this.#timer);
        for (const open of this.#opening.values()) open.cancel(null);
        for (const id of [...this.#open.keys()]) this.close(id);
    }

    get size() {
        return this.#open.size;
    }

    // Closes the page's least recently used files until one more fits; their ids.
    #makeRoom(page) {
        const held = [...this.#open.values()].filter((d) => d.page === page).sort((a, b) => a.lastUsed - b.lastUsed);
        const closed = held.slice(0, Math.max(0, held.length - this.perPage + 1)).map((d) => d.id);
        for (const id of closed) this.close(id);
        return closed;
    }
}

// The node at `nodePath` of a document, found by the library (never by listing a
// node's children); the last few hundred found are kept.
const keptPaths = 256;
export async function nodeAt(doc, nodePath = '/') {
    let node = doc.nodes.get(nodePath);
    if (node) {
        doc.nodes.delete(nodePath); // most recently used last
    } else {
        node = await doc.reader.nodeAt(nodePath);
        if (!node) throw new HttpError(404, `no node at ${nodePath}`);
        if (doc.nodes.size >= keptPaths) doc.nodes.delete(doc.nodes.keys().next().value);
    }
    doc.nodes.set(nodePath, node);
    return node;
}

// Part of a node's full value text: { text, from, length }. A text longer than a
// part stays on a handle of its own while its parts are asked for (one per document).
export async function fullTextPart(doc, nodePath, from, count) {
    count = Math.min(count, textPartLength);
    const node = await nodeAt(doc, nodePath);
    if (doc.textPath !== nodePath) {
        doc.text?.then((held) => held.release(), () => {});
        doc.textPath = nodePath;
        doc.text = node.holdFullText();
    }
    const texts = doc.text;
    try {
        const held = await texts;
        const part = { text: held.part(from, count), from, length: held.length };
        if (held.length <= count) { // a short text is not kept (once the requests waiting for it have it)
            setImmediate(() => {
                if (doc.text !== texts) return;
                held.release();
                doc.text = doc.textPath = null;
            });
        }
        return part;
    } catch (error) {
        if (doc.text === texts) doc.text = doc.textPath = null;
        throw error;
    }
}
