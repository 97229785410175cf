#!/usr/bin/env node
// Many clients at once against the page host's upload page, on 127.0.0.1 only. Uploads
// of mixed sizes (photos of 1 KB to 20 MB, files that are no photo), bodies of garbage,
// bodies cut off, and request heads the host must refuse; every response is checked.
// At checkpoints the traffic pauses, every connection closes, and the host's handle
// count and memory are read (from its status page and from /proc of its process), with
// the upload folder, which must then be empty.
//
//   node load.js --port P --photos DIR --uploads N [--clients C] [--checkpoints a,b]
//                [--pid PID] [--upload-dir DIR] [--mix load|bench] [--max-seconds S]
//                [--flat] [--json FILE] [--only KIND]
'use strict';
const fs = require('fs');
const http = require('http');
const net = require('net');
const path = require('path');

const opt = {
  port: 8080, photos: '', uploads: 300, clients: 64, checkpoints: [], pid: 0, uploadDir: '',
  mix: 'load', maxSeconds: 1800, flat: false, json: '', page: '/upload.asp', seed: 1, only: '',
};
for (let i = 2; i < process.argv.length; i += 2) {
  const k = process.argv[i].replace(/^--/, '').replace(/-(\w)/g, (_, c) => c.toUpperCase());
  const v = process.argv[i + 1];
  if (k === 'flat') { opt.flat = true; i -= 1; continue; }
  if (!(k in opt)) { console.error(`load: unknown option ${process.argv[i]}`); process.exit(2); }
  opt[k] = k === 'checkpoints' ? v.split(',').filter(Boolean).map(Number)
    : typeof opt[k] === 'number' ? Number(v) : v;
}

// A small deterministic generator, so that a failing run can be repeated.
let seed = opt.seed >>> 0;
function random() {
  seed = (seed + 0x6d2b79f5) >>> 0;
  let t = seed;
  t = Math.imul(t ^ (t >>> 15), t | 1);
  t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
  return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
}
function randomBytes(n) {
  const b = Buffer.alloc(n);
  for (let i = 0; i < n; i += 1) b[i] = (random() * 256) | 0;
  return b;
}

const BOUNDARY = '----kelvload7d3f9a';
function multipart(fileName, type, content) {
  return Buffer.concat([
    Buffer.from(`--${BOUNDARY}\r\nContent-Disposition: form-data; name="title"\r\n\r\nLoad test\r\n` +
      `--${BOUNDARY}\r\nContent-Disposition: form-data; name="photo"; filename="${fileName}"\r\n` +
      `Content-Type: ${type}\r\n\r\n`),
    content,
    Buffer.from(`\r\n--${BOUNDARY}--\r\n`),
  ]);
}

// The kinds of request and their shares of the mix.
const photo = (name) => fs.readFileSync(path.join(opt.photos, name));
const kinds = [];
function kind(name, weight, make) { kinds.push({ name, weight, ...make }); }
for (const [name, weight, bench] of [
  ['tiny.jpg', 14, 1], ['small.jpg', 22, 1], ['medium.jpg', 14, 1], ['progressive.jpg', 7, 0], ['grey.jpg', 7, 0],
  ['photo.jpg', 2, 1], ['padded5m.jpg', 5, 0], ['padded20m.jpg', 2, 0],
]) {
  if (opt.mix === 'bench' && !bench) continue;
  kind(name, weight, { body: multipart(`C:\\photos\\${name}`, 'image/jpeg', photo(name)), expect: 'thumb' });
}
if (opt.mix === 'load') {
  kind('notjpeg', 5, { body: multipart('notes.bin', 'application/octet-stream', photo('notjpeg.bin')), expect: 'refused' });
  kind('garbage', 6, { garbage: true, expect: 'refused' });
  kind('cutoff', 8, { cutoff: true, expect: 400 });
  kind('badhead', 3, { badhead: true });
}
// One kind alone (--only NAME), to see what a kind of request costs.
if (opt.only) kinds.splice(0, kinds.length, ...kinds.filter((k) => k.name === opt.only));
const totalWeight = kinds.reduce((s, k) => s + k.weight, 0);
function pick() {
  let r = random() * totalWeight;
  for (const k of kinds) if ((r -= k.weight) < 0) return k;
  return kinds[kinds.length - 1];
}

// A JPEG's size from its frame header, to check a reference thumbnail.
function jpegSize(b) {
  if (b.length < 4 || b[0] !== 0xff || b[1] !== 0xd8) return null;
  for (let i = 2; i + 9 < b.length;) {
    if (b[i] !== 0xff) return null;
    const m = b[i + 1];
    const len = b.readUInt16BE(i + 2);
    if (m >= 0xc0 && m <= 0xc2) return { h: b.readUInt16BE(i + 5), w: b.readUInt16BE(i + 7) };
    i += 2 + len;
  }
  return null;
}

let agent = new http.Agent({ keepAlive: true, maxSockets: opt.clients });
const reference = new Map();
const stats = { passed: 0, failed: 0, bytes: 0, byKind: {} };
const failures = [];
function fail(what) {
  stats.failed += 1;
  if (failures.length < 20) failures.push(what);
}

function post(body, contentType) {
  return new Promise((resolve) => {
    const req = http.request({
      host: '127.0.0.1', port: opt.port, path: opt.page, method: 'POST', agent,
      headers: { 'Content-Type': contentType, 'Content-Length': body.length },
    }, (res) => {
      const chunks = [];
      res.on('data', (d) => chunks.push(d));
      res.on('end', () => resolve({ status: res.statusCode, type: res.headers['content-type'], body: Buffer.concat(chunks) }));
      res.on('error', (e) => resolve({ error: String(e) }));
    });
    req.setTimeout(180000, () => req.destroy(new Error('timed out')));
    req.on('error', (e) => resolve({ error: String(e) }));
    req.end(body);
  });
}

// A raw exchange on a connection of its own: the request bytes, then the end of sending.
function raw(bytes) {
  return new Promise((resolve) => {
    const s = net.connect(opt.port, '127.0.0.1');
    const chunks = [];
    let done = false;
    const finish = (r) => { if (!done) { done = true; s.destroy(); resolve(r); } };
    s.setTimeout(180000, () => finish({ error: 'timed out' }));
    s.on('connect', () => { s.write(bytes); s.end(); });
    s.on('data', (d) => chunks.push(d));
    s.on('end', () => {
      const text = Buffer.concat(chunks).toString('latin1');
      const m = /^HTTP\/1\.[01] (\d{3})/.exec(text);
      finish(m ? { status: Number(m[1]) } : { error: `no status line (${JSON.stringify(text.slice(0, 40))})` });
    });
    s.on('error', (e) => finish({ error: String(e) }));
  });
}

async function one(k) {
  stats.byKind[k.name] = (stats.byKind[k.name] || 0) + 1;
  if (k.badhead) {
    const heads = [
      ['POST /upload.asp HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data\r\n\r\n', 411],
      ['\x16\x03\x01\x00\xa5\x01\x00\x00\xa1\x03\x03garbage\r\n\r\n', 400],
      [`GET /upload.asp HTTP/1.1\r\nX-Big: ${'x'.repeat(70000)}\r\n\r\n`, 431],
      ['POST /upload.asp HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n', 501],
      ['GET /../../windows/win.ini HTTP/1.1\r\n\r\n', 400],
    ];
    const [text, want] = heads[Math.floor(random() * heads.length)];
    const r = await raw(Buffer.from(text, 'latin1'));
    if (r.status === want) stats.passed += 1; else fail(`badhead: want ${want}, got ${r.status || r.error}`);
    return;
  }
  if (k.cutoff) {
    const full = multipart('cut.jpg', 'image/jpeg', photo(random() < 0.5 ? 'medium.jpg' : 'small.jpg'));
    const keep = Math.floor(full.length * (0.05 + 0.9 * random()));
    const head = `POST ${opt.page} HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: multipart/form-data; boundary=${BOUNDARY}\r\n` +
      `Content-Length: ${full.length}\r\n\r\n`;
    const r = await raw(Buffer.concat([Buffer.from(head), full.subarray(0, keep)]));
    stats.bytes += keep;
    if (r.status === 400) stats.passed += 1; else fail(`cutoff: want 400, got ${r.status || r.error}`);
    return;
  }
  const body = k.garbage ? randomBytes(1024 + Math.floor(random() * 200000)) : k.body;
  const r = await post(body, `multipart/form-data; boundary=${BOUNDARY}`);
  stats.bytes += body.length;
  if (r.error) return fail(`${k.name}: ${r.error}`);
  if (k.expect === 'refused') {
    const text = r.body.toString('latin1');
    if (r.status === 200 && text.startsWith('The upload could not be used (result ')) stats.passed += 1;
    else fail(`${k.name}: status ${r.status}, ${JSON.stringify(text.slice(0, 60))}`);
    return;
  }
  if (r.status !== 200 || r.type !== 'image/jpeg') {
    return fail(`${k.name}: status ${r.status} ${r.type} ${JSON.stringify(r.body.toString('latin1').slice(0, 200))}`);
  }
  const ref = reference.get(k.name);
  if (!ref) {
    const size = jpegSize(r.body);
    if (!size || size.w !== 160 || size.h !== 120) return fail(`${k.name}: the thumbnail is no 160x120 JPEG`);
    reference.set(k.name, r.body);
    stats.passed += 1;
  } else if (ref.equals(r.body)) {
    stats.passed += 1;
  } else {
    fail(`${k.name}: the thumbnail differs from the first one (${r.body.length} vs ${ref.length} bytes)`);
  }
}

let issued = 0;
async function runTo(count) {
  const workers = [];
  for (let c = 0; c < opt.clients; c += 1) {
    workers.push((async () => {
      while (issued < count) {
        issued += 1;
        await one(pick());
      }
    })());
  }
  await Promise.all(workers);
}

function getStatus() {
  return new Promise((resolve) => {
    http.get({ host: '127.0.0.1', port: opt.port, path: '/.pagehost/status', agent: false }, (res) => {
      const chunks = [];
      res.on('data', (d) => chunks.push(d));
      res.on('end', () => { try { resolve(JSON.parse(Buffer.concat(chunks).toString())); } catch (e) { resolve({}); } });
    }).on('error', () => resolve({}));
  });
}

function procFigures() {
  if (!opt.pid) return {};
  try {
    const status = fs.readFileSync(`/proc/${opt.pid}/status`, 'utf8');
    const kb = (name) => { const m = new RegExp(`^${name}:\\s+(\\d+) kB`, 'm').exec(status); return m ? Number(m[1]) * 1024 : 0; };
    return { rss: kb('VmRSS'), rss_anon: kb('RssAnon'), fds: fs.readdirSync(`/proc/${opt.pid}/fd`).length };
  } catch (e) {
    return {};
  }
}

const checkpoints = [];
async function checkpoint(label) {
  // Every connection closes, and the host gets a moment to see them go.
  agent.destroy();
  agent = new http.Agent({ keepAlive: true, maxSockets: opt.clients });
  await new Promise((r) => setTimeout(r, 1500));
  const s = await getStatus();
  const p = procFigures();
  let left = [];
  if (opt.uploadDir && fs.existsSync(opt.uploadDir)) left = fs.readdirSync(opt.uploadDir);
  const c = { label, uploads: issued, handles: s.handles, private_bytes: s.private_bytes, working_set: s.working_set,
    rss: p.rss, rss_anon: p.rss_anon, fds: p.fds, files_left: left.length };
  checkpoints.push(c);
  const mb = (x) => (x === undefined ? '-' : (x / 1048576).toFixed(1));
  console.log(`checkpoint ${label.padEnd(6)} uploads ${String(issued).padStart(6)}  handles ${c.handles}  ` +
    `fds ${c.fds ?? '-'}  rss ${mb(c.rss)} MB  anon ${mb(c.rss_anon)} MB  working set ${mb(c.working_set)} MB  ` +
    `upload files left ${c.files_left}`);
  if (left.length) fail(`files left in the upload folder at ${label}: ${left.slice(0, 5).join(' ')}`);
  if (s.page_objects) fail(`${s.page_objects} Request, Response or Server objects alive at ${label}`);
}

async function main() {
  const timer = setTimeout(() => {
    console.log(`load: stopped after ${opt.maxSeconds} s with ${issued} of ${opt.uploads} requests issued`);
    console.log(`${stats.passed} passed, ${stats.failed + 1} failed`);
    process.exit(1);
  }, opt.maxSeconds * 1000);
  console.log(`load: ${opt.clients} clients, ${opt.uploads} requests, mix ${opt.mix}: ` +
    kinds.map((k) => `${k.name} ${Math.round((100 * k.weight) / totalWeight)}%`).join(', '));
  // Warm-up: each kind once, one at a time, which also takes the reference thumbnails.
  for (const k of kinds) { issued += 1; await one(k); }
  await checkpoint('start');
  const t0 = process.hrtime.bigint();
  const bytes0 = stats.bytes;
  const start = issued;
  for (const at of [...opt.checkpoints, opt.uploads]) {
    if (at <= issued) continue;
    await runTo(at);
    if (at !== opt.uploads) await checkpoint(String(at));
  }
  const seconds = Number(process.hrtime.bigint() - t0) / 1e9;
  await checkpoint('end');
  const n = issued - start;
  const summary = {
    requests: issued, seconds, uploads_per_s: n / seconds, mb_per_s: (stats.bytes - bytes0) / 1048576 / seconds,
    by_kind: stats.byKind, checkpoints,
  };
  console.log(`load: ${n} requests in ${seconds.toFixed(1)} s: ${summary.uploads_per_s.toFixed(1)} requests/s, ` +
    `${summary.mb_per_s.toFixed(1)} MB/s of request bodies`);
  console.log(`load: by kind ${JSON.stringify(stats.byKind)}`);
  if (opt.flat && checkpoints.length >= 3) {
    // After warm-up the figures must not grow with the number of uploads: compared
    // between the first checkpoint after the start and the end.
    const a = checkpoints[1], b = checkpoints[checkpoints.length - 1];
    if (b.handles > a.handles + 8) fail(`handles grew from ${a.handles} to ${b.handles}`);
    if (b.fds > a.fds + 8) fail(`open descriptors grew from ${a.fds} to ${b.fds}`);
    const slack = Math.max(8 * 1048576, a.rss_anon * 0.1);
    if (b.rss_anon > a.rss_anon + slack) fail(`private memory grew from ${a.rss_anon} to ${b.rss_anon} bytes`);
  }
  if (opt.json) fs.writeFileSync(opt.json, JSON.stringify(summary, null, 2));
  for (const f of failures) console.log(`FAILED: ${f}`);
  console.log(`${stats.passed} passed, ${stats.failed} failed`);
  clearTimeout(timer);
  process.exit(stats.failed ? 1 : 0);
}

main();
