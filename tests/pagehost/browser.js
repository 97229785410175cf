#!/usr/bin/env node
// A real browser posts the upload form: headless Chromium opens upload.asp on the page
// host, types a title, chooses a photo in the file field and submits; the thumbnail it
// gets back is written to OUT/<photo name>. With --utf8 it then opens the UTF-8 page
// upload-utf8.asp, types a title in Chinese and Turkish letters, chooses that photo (a
// file name in any script) and checks that the page shows both back exactly. Chromium is
// Debian's, driven by playwright-core.
//   node browser.js --port P --out DIR --modules DIR [--utf8 PHOTO] PHOTO...
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');

const args = process.argv.slice(2);
const take = (name) => {
  const i = args.indexOf(name);
  if (i < 0) return undefined;
  const v = args[i + 1];
  args.splice(i, 2);
  return v;
};
const port = take('--port');
const out = take('--out');
const modules = take('--modules');
const utf8Photo = take('--utf8');
const { chromium } = require(path.join(modules, 'playwright-core'));

const utf8Title = '\u5199\u771F Foto\u011Fraf \u0131\u015F\u0131k \u0130stanbul';

// The UTF-8 page's round trip; the number of checks that failed.
async function utf8Upload(page, photo) {
  let failed = 0;
  const check = (ok, what) => {
    console.log(`utf-8 page: ${ok ? 'ok  ' : 'FAIL'} ${what}`);
    if (!ok) failed += 1;
  };
  await page.goto(`http://127.0.0.1:${port}/upload-utf8.asp`, { timeout: 60000 });
  await page.fill('input[name=title]', utf8Title);
  await page.setInputFiles('input[name=photo]', photo);
  await Promise.all([page.waitForNavigation({ timeout: 300000 }), page.click('input[type=submit]')]);
  const text = async (id) => (await page.textContent(`#${id}`)) || '';
  check((await text('code')) === '0', `the upload is complete (${await text('code')})`);
  check((await text('title')) === utf8Title, `the title comes back exactly: ${await text('title')}`);
  check((await text('file')) === path.basename(photo), `the file name comes back exactly: ${await text('file')}`);
  check((await text('bytes')) === String(fs.statSync(photo).size), `the file's bytes arrived (${await text('bytes')})`);
  return failed;
}

async function main() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'kelv-chromium-'));
  // Flags for a machine without a network beyond the loopback address: nothing in the
  // background may try to reach out.
  // A new empty profile for each run.
  const browser = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    timeout: 120000,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  let failed = 0;
  try {
    const page = await browser.newPage();
    for (const file of args) {
      await page.goto(`http://127.0.0.1:${port}/upload.asp`, { timeout: 60000 });
      await page.fill('input[name=title]', `Holiday at the lake (${path.basename(file)})`);
      await page.setInputFiles('input[name=photo]', file);
      const [response] = await Promise.all([
        page.waitForResponse((r) => r.url().endsWith('/upload.asp') && r.request().method() === 'POST', { timeout: 300000 }),
        page.click('input[type=submit]'),
      ]);
      const body = await response.body();
      const type = response.headers()['content-type'];
      fs.writeFileSync(path.join(out, path.basename(file)), body);
      console.log(`${path.basename(file)}: ${response.status()} ${type}, ${body.length} bytes`);
      if (response.status() !== 200 || type !== 'image/jpeg') failed += 1;
    }
    if (utf8Photo) failed += await utf8Upload(page, utf8Photo);
  } finally {
    await browser.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  process.exit(failed ? 1 : 0);
}

main().catch((e) => {
  console.error(`browser: ${e.stack || e}`);
  process.exit(1);
});
