#!/usr/bin/env node
// A real browser on a UTF-8 page: headless Chromium opens upload-utf8.asp on the page
// host, types a title in Chinese and Turkish letters, chooses a photo whose file name is
// Cyrillic and submits; the page it gets back must show both exactly.
//   node browser-utf8.js --port P --modules DIR PHOTO
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');

const args = process.argv.slice(2);
const take = (name) => {
  const i = args.indexOf(name);
  const v = args[i + 1];
  args.splice(i, 2);
  return v;
};
const port = take('--port');
const modules = take('--modules');
const photo = args[0];
const { chromium } = require(path.join(modules, 'playwright-core'));

const title = '\u5199\u771F Foto\u011Fraf \u0131\u015F\u0131k \u0130stanbul';

async function main() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'kelv-chromium-'));
  const browser = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    timeout: 120000,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  let failed = 0;
  const check = (ok, what) => {
    console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
    if (!ok) failed += 1;
  };
  try {
    const page = await browser.newPage();
    await page.goto(`http://127.0.0.1:${port}/upload-utf8.asp`, { timeout: 60000 });
    await page.fill('input[name=title]', title);
    await page.setInputFiles('input[name=photo]', photo);
    await Promise.all([page.waitForNavigation({ timeout: 300000 }), page.click('input[type=submit]')]);
    const text = async (id) => (await page.textContent(`#${id}`)) || '';
    check((await text('code')) === '0', `the upload is complete (${await text('code')})`);
    check((await text('title')) === title, `the title comes back exactly: ${await text('title')}`);
    check((await text('file')) === path.basename(photo), `the file name comes back exactly: ${await text('file')}`);
    check((await text('bytes')) === String(fs.statSync(photo).size), `the file's bytes arrived (${await text('bytes')})`);
  } finally {
    await browser.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  process.exit(failed ? 1 : 0);
}

main().catch((e) => {
  console.error(`browser-utf8: ${e.stack || e}`);
  process.exit(1);
});
