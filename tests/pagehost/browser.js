#!/usr/bin/env node
// A real browser posts the upload form: headless Chromium opens upload.asp on the page
// host, types a title, chooses a photo in the file field and submits; the thumbnail it
// gets back is written to OUT/<photo name>. Chromium is Debian's, driven by
// playwright-core.
//   node browser.js --port P --out DIR PHOTO...
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
const out = take('--out');
const modules = take('--modules');
const { chromium } = require(path.join(modules, 'playwright-core'));

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
