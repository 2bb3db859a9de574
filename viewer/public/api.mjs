// The page's calls to its server, and the status line that reports them.
// A failed call throws an Error carrying the server's message and status.

const statusLine = () => document.getElementById('status');

// The open file ({ id, file, kind }), or null; the node calls below are about it.
// `page` names this page to the server, which holds the files each page opens.
export const session = { doc: null, page: crypto.randomUUID() };

// A POST always carries a JSON body: the server takes no other.
export async function api(method, url, body = {}) {
    const post = method === 'POST';
    const response = await fetch(url, {
        method,
        headers: post ? { 'Content-Type': 'application/json' } : {},
        body: post ? JSON.stringify(body) : undefined,
    });
    const value = await response.json();
    if (!response.ok) throw Object.assign(new Error(value.error), { status: response.status });
    // An answer clears the error of an earlier action; a message that is not an error stays.
    if (statusLine().className === 'error') status('');
    return value;
}

// A save or conversion; replacing an existing file is asked first.
export async function write(url, body) {
    try {
        return await api('POST', url, body);
    } catch (error) {
        if (error.status !== 409 || !confirm(`${error.message}. Replace it?`)) throw error;
        return api('POST', url, { ...body, overwrite: true });
    }
}

// The URL of a call about the node at `path` of the open file.
export function nodeUrl(route, path, extra = {}) {
    const query = new URLSearchParams({ doc: session.doc.id, path, ...extra });
    return `/api/${route}?${query}`;
}

export const children = (path, from = 0) => api('GET', nodeUrl('children', path, from ? { from } : {}));
// A part of the node's whole value text from character `from` on: { text, from, length }.
export const fullText = (path, from = 0) => api('GET', nodeUrl('full', path, from ? { from } : {}));
export const locate = (path) => api('GET', nodeUrl('locate', path));
export const table = (path, from, count) => api('GET', nodeUrl('table', path, { from, count }));

export function status(text, isError = false) {
    statusLine().textContent = text;
    statusLine().className = isError ? 'error' : '';
}
