// The viewer's server: node:http, the library in process, one static page.
//   node server.mjs [--port N]   (port 0 or none: a free port; the URL is printed)
// It holds the user's files, so it answers only its own page: a request must name
// this server as its Host, come from no other origin, and, for the API, carry the
// token of this launch (a cookie set when the printed URL is opened).
// The files it holds are in documents.mjs, the requests it answers in routes.mjs.
import http from 'node:http';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { projectRoot } from './ixadapter.mjs';
import { Documents, HttpError } from './documents.mjs';
import { routes, send } from './routes.mjs';

const publicDir = path.join(projectRoot, 'viewer/public');

// A request body is a few paths and options; a longer one is refused before it fills the memory.
const maxBodyBytes = 1 << 20;
async function readJson(req) {
    const chunks = [];
    let size = 0;
    for await (const chunk of req) {
        size += chunk.length;
        if (size > maxBodyBytes) throw new HttpError(413, 'the request is too long');
        chunks.push(chunk);
    }
    let value;
    try {
        value = JSON.parse(Buffer.concat(chunks).toString('utf8') || '{}');
    } catch {
        throw new HttpError(400, 'the request is not JSON');
    }
    if (value === null || typeof value !== 'object' || Array.isArray(value)) throw new HttpError(400, 'the request is not a JSON object');
    return value;
}

const contentTypes = { '.html': 'text/html; charset=utf-8', '.json': 'application/json', '.mjs': 'text/javascript', '.js': 'text/javascript', '.css': 'text/css' };

function sendStatic(res, pathname) {
    const file = path.join(publicDir, pathname === '/' ? 'index.html' : pathname);
    if (!file.startsWith(publicDir + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile())
        throw new HttpError(404, 'not found');
    const body = fs.readFileSync(file);
    res.writeHead(200, { 'Content-Type': contentTypes[path.extname(file)] ?? 'application/octet-stream' });
    res.end(body);
}

// The headers of a local app, on every answer: only its own scripts, styles and
// frames, nothing cached, nothing told to other sites.
const safetyHeaders = {
    'Content-Security-Policy': "default-src 'self'; img-src 'self' data: blob:; frame-ancestors 'none'; base-uri 'none'; form-action 'self'",
    'X-Content-Type-Options': 'nosniff',
    'Referrer-Policy': 'no-referrer',
    'Cross-Origin-Resource-Policy': 'same-origin',
    'Cache-Control': 'no-store',
};

const digest = (text) => crypto.createHash('sha256').update(String(text)).digest();
// Equal digests, compared in constant time: neither the token nor its length leaks through timing.
const isToken = (text, launch) => typeof text === 'string' && crypto.timingSafeEqual(digest(text), launch.tokenDigest);

function cookieOf(req, name) {
    for (const part of (req.headers.cookie ?? '').split(';')) {
        const cut = part.indexOf('=');
        if (part.slice(0, cut).trim() === name) return part.slice(cut + 1).trim();
    }
    return undefined;
}

// Refuses what does not come from this server's own page: another Host (a DNS name
// rebound to 127.0.0.1), another Origin, and, for the API, a request another site
// started, one without this launch's token, or a POST body that is not JSON (which
// no form and no request without a preflight can send).
function checkRequest(req, url, launch) {
    const host = req.headers.host;
    if (!launch.hosts.includes(host)) throw new HttpError(403, `this server answers only as ${launch.hosts.join(', ')}`);
    const origin = req.headers.origin;
    const site = req.headers['sec-fetch-site'];
    const api = url.pathname.startsWith('/api/');
    const foreign = (origin !== undefined && origin !== `http://${host}`)
        || (api && site !== undefined && !['same-origin', 'none'].includes(site));
    if (foreign) throw new HttpError(403, 'a page of another origin may not use the viewer');
    if (!api) return;
    if (!isToken(cookieOf(req, launch.cookie), launch))
        throw new HttpError(403, "the request lacks this launch's token: open the URL the viewer printed");
    const type = (req.headers['content-type'] ?? '').split(';')[0].trim().toLowerCase();
    if (req.method === 'POST' && type !== 'application/json') throw new HttpError(415, 'a request body must be application/json');
}

// The printed URL: its token becomes a cookie of the page, and the address loses it.
function welcome(res, url, launch) {
    if (!isToken(url.searchParams.get('token'), launch)) throw new HttpError(403, "the token is not this launch's: open the URL the viewer printed");
    res.writeHead(303, { 'Set-Cookie': `${launch.cookie}=${launch.token}; HttpOnly; SameSite=Strict; Path=/`, Location: url.pathname });
    res.end();
}

async function handle(req, res, launch) {
    const url = new URL(req.url, 'http://localhost');
    for (const [name, value] of Object.entries(safetyHeaders)) res.setHeader(name, value);
    checkRequest(req, url, launch);
    const handler = routes[`${req.method} ${url.pathname}`];
    if (handler) {
        const answer = await handler({ req, res, query: url.searchParams, documents: launch.documents, body: () => readJson(req) });
        if (answer !== undefined) send.json(res, 200, answer);
        return;
    }
    if (req.method !== 'GET') throw new HttpError(405, 'method not allowed');
    if (url.searchParams.has('token')) return welcome(res, url, launch);
    return sendStatic(res, url.pathname);
}

// Starts the server on 127.0.0.1; `server.url` is the address to open, with this launch's token.
export async function startServer(port = 0) {
    const token = crypto.randomBytes(32).toString('base64url');
    // The files each page holds: at most IX_VIEWER_FILES_PER_PAGE (8), closed
    // IX_VIEWER_EXPIRY_SECONDS (120) after the page was last heard of.
    const documents = new Documents({ perPage: Number(process.env.IX_VIEWER_FILES_PER_PAGE) || 8,
                                      expirySeconds: Number(process.env.IX_VIEWER_EXPIRY_SECONDS) || 120 });
    const launch = { token, tokenDigest: digest(token), documents };
    const server = http.createServer((req, res) => {
        handle(req, res, launch).catch((error) => {
            if (res.headersSent) return res.destroy();
            if (error.status === 413) res.setHeader('Connection', 'close'); // the rest of the body is not read
            send.json(res, error.status ?? 500, { error: error.message });
        });
    });
    server.on('close', () => documents.closeAll());
    await new Promise((resolve) => server.listen(port, '127.0.0.1', resolve));
    const bound = server.address().port;
    launch.hosts = ['127.0.0.1', 'localhost', '[::1]'].map((name) => `${name}:${bound}`);
    launch.cookie = `ixviewer-${bound}`; // cookies do not tell ports apart; two viewers keep their own
    server.url = `http://127.0.0.1:${bound}/?token=${token}`;
    return server;
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
    const portArg = process.argv.indexOf('--port');
    const server = await startServer(portArg > 0 ? Number(process.argv[portArg + 1]) : 0);
    console.log(`ixadapter viewer: ${server.url}`);
}
