// The peer: busboy decoding the same body from a file stream, writing each file part to
// a file in the output folder. Prints seconds.
const fs = require('fs');
const path = require('path');
const busboy = require('busboy');
const [body, outdir, boundary] = process.argv.slice(2);
const t0 = process.hrtime.bigint();
const bb = busboy({ headers: { 'content-type': 'multipart/form-data; boundary=' + boundary } });
let n = 0, pending = 0, ended = false;
const done = () => { if (ended && pending === 0) console.log((Number(process.hrtime.bigint() - t0) / 1e9).toFixed(6), n); };
bb.on('file', (name, stream) => {
  pending++;
  const out = fs.createWriteStream(path.join(outdir, 'bb' + (n++) + '.bin'));
  stream.pipe(out);
  out.on('finish', () => { pending--; done(); });
});
bb.on('field', () => {});
bb.on('close', () => { ended = true; done(); });
fs.createReadStream(body, { highWaterMark: 65536 }).pipe(bb);
