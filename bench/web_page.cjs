// The page in headless Chromium beside the native tool on the same work:
// a 4097 x 4097 map converted from the press of Convert to the download
// ready (the time the page tells, and the wait seen from outside), against
// the native run with the page's relief (-view to a bitmap). Each case runs
// three times on the page: as a freshly opened page's first conversion,
// and on the page kept open (whose converter has converted before) right
// after the map is picked, the input's relief still being drawn, and once
// that relief is shown. Medians of <rounds>
// runs, native and page interleaved; every download's bytes are checked
// against the native output. BENCH_OLD_PAGE names another build's page
// folder to run interleaved with this one; BENCH_CASE picks the cases whose
// label holds it; BENCH_LOG shows the pages' console lines.
//
//   node bench/web_page.cjs <page folder> <native quillorn> <make_heightmap>
//        <work folder> [<rounds>]
//
// Chromium is $QUILLORN_CHROMIUM, else /usr/bin/chromium; puppeteer-core
// comes from web/node_modules (npm ci in web/).
'use strict';
const crypto = require('crypto');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');
const puppeteer = require(path.join(__dirname, '..', 'web', 'node_modules', 'puppeteer-core'));

const [pageFolder, nativeTool, makeHeightmap, work] = process.argv.slice(2, 6).map((p) => path.resolve(p));
const rounds = Number(process.argv[6] || 5);
const chromium = process.env.QUILLORN_CHROMIUM || '/usr/bin/chromium';
const kSize = 4097;

// The maps, as bench/web_native.cjs makes them: generated terrain as a
// bitmap and as a 16-bit PNG.
function makeMaps() {
  fs.mkdirSync(work, { recursive: true });
  const bmp = path.join(work, `terrain_${kSize}.bmp`);
  if (!fs.existsSync(bmp)) execFileSync(makeHeightmap, [bmp, String(kSize), String(kSize)]);
  const png = path.join(work, `terrain_${kSize}.png`);
  if (!fs.existsSync(png)) execFileSync(nativeTool, [bmp, png]);
  return { bmp, png };
}

const kTypes = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
  '.wasm': 'application/wasm' };

function serve(folder) {
  const server = http.createServer((request, response) => {
    let file = path.join(folder, decodeURIComponent(request.url.split('?')[0]));
    if (fs.existsSync(file) && fs.statSync(file).isDirectory()) file = path.join(file, 'index.html');
    if (!file.startsWith(folder) || !fs.existsSync(file)) {
      response.writeHead(404);
      response.end();
      return;
    }
    response.writeHead(200, { 'Content-Type': kTypes[path.extname(file)] || 'application/octet-stream' });
    response.end(fs.readFileSync(file));
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

const sha256 = (bytes) => crypto.createHash('sha256').update(bytes).digest('hex');

// The native run of a case: seconds, and the output's digest.
function nativeRun(map, c) {
  const output = path.join(work, 'native_page.' + c.format);
  const args = [map, output, ...c.args, '-view', path.join(work, 'native_page_view.bmp')];
  const started = process.hrtime.bigint();
  execFileSync(nativeTool, args, { stdio: 'ignore' });
  const seconds = Number(process.hrtime.bigint() - started) / 1e9;
  return { seconds, digest: sha256(fs.readFileSync(output)) };
}

// Waits for the input's relief to be on the page, its picture decoded as
// a person looking at it would have it: the browser's decoding of a
// 4097 x 4097 picture would otherwise run beside the conversion timed.
async function reliefShown(page) {
  await page.waitForFunction(() => document.getElementById('input-view').src, { timeout: 600000 });
  await page.evaluate(() => document.getElementById('input-view').decode().catch(() => {}));
}

// Picks the map (waiting, if asked, for its relief), sets the form, presses
// Convert and waits for the outcome: the seconds told, the wait from the key
// to the outcome, and the download's digest.
async function pageRun(page, map, c, reliefFirst) {
  await page.evaluate(() => {
    document.getElementById('picked').textContent = '';
    document.getElementById('input-view').removeAttribute('src');
  });
  await (await page.$('#map')).uploadFile(map);
  await page.waitForFunction((name) => document.getElementById('picked').textContent.startsWith(name + ','),
    {}, path.basename(map));
  await page.evaluate(() => document.getElementById('form').reset());
  await page.select('#format', c.format);
  await page.$eval('#smooth', (element, value) => {
    element.value = value;
    element.dispatchEvent(new Event('input', { bubbles: true }));
  }, c.smooth);
  if (reliefFirst) await reliefShown(page);
  await page.focus('#convert');
  await page.evaluate(() => {
    window.waited = { from: 0, to: 0 };
    document.addEventListener('keydown', () => { window.waited.from = performance.now(); },
      { capture: true, once: true });
    const observer = new MutationObserver(() => {
      if (document.getElementById('status').dataset.outcome) {
        window.waited.to = performance.now();
        observer.disconnect();
      }
    });
    observer.observe(document.getElementById('status'), { attributes: true });
  });
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => document.getElementById('status').dataset.outcome, { timeout: 600000 });
  const shown = await page.evaluate(async () => {
    const status = document.getElementById('status').textContent;
    if (!prepared) return { status };
    // A build before the download's blob was made once the page is free has it ready.
    const blob = typeof downloadBlob === 'function' ? downloadBlob(prepared) : prepared.blob;
    const bytes = new Uint8Array(await blob.arrayBuffer());
    const digest = Array.from(new Uint8Array(await crypto.subtle.digest('SHA-256', bytes)))
      .map((b) => b.toString(16).padStart(2, '0')).join('');
    return { status, digest,
      waited: (window.waited.to - window.waited.from) / 1000 };
  });
  const told = Number((/ in ([\d.]+) s/.exec(shown.status) || [])[1]);
  if (!Number.isFinite(told)) throw new Error(`${c.label}: not converted (${shown.status})`);
  // Between runs, the relief of the input drawn (its worker free again).
  await reliefShown(page);
  return { told, waited: shown.waited, digest: shown.digest };
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

const kCases = [
  { label: 'terrain PNG to .r16 -smo 2', map: 'png', format: 'r16', smooth: '2', args: ['-smo', '2'] },
  { label: 'terrain BMP to .r16', map: 'bmp', format: 'r16', smooth: '', args: [] },
];

// A tab on a page folder, served on a port of its own, its start-up done.
async function openPage(browser, folder) {
  const server = await serve(folder);
  const page = await browser.newPage();
  page.on('pageerror', (error) => console.error(`page: ${error}`));
  // BENCH_LOG=1: the page's and its workers' console lines too.
  if (process.env.BENCH_LOG) {
    page.on('console', (message) => console.log(`page: ${message.text()}`));
  }
  await page.goto(`http://127.0.0.1:${server.address().port}/`, { waitUntil: 'load' });
  await page.waitForFunction(() => /Formats/.test(document.getElementById('formats').textContent));
  return { server, page, folder };
}

// The medians of a build's runs of a case, as a table's cells.
function cells(times, native) {
  const m = (name) => median(times[name]);
  return `${m('freshWait').toFixed(2)} s (told ${m('fresh').toFixed(1)}) | ` +
    `${(m('freshWait') / native).toFixed(2)} | ` +
    `${m('pickedWait').toFixed(2)} s (told ${m('picked').toFixed(1)}) | ` +
    `${(m('pickedWait') / native).toFixed(2)} | ${m('drawnWait').toFixed(2)} s ` +
    `(told ${m('drawn').toFixed(1)}) | ${(m('drawnWait') / native).toFixed(2)}`;
}

async function main() {
  const maps = makeMaps();
  const browser = await puppeteer.launch({ executablePath: chromium, headless: true,
    args: ['--no-sandbox', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--disable-default-apps'] });
  // BENCH_OLD_PAGE: another build's page folder, run interleaved with this one.
  const folders = [pageFolder].concat(process.env.BENCH_OLD_PAGE ? [path.resolve(process.env.BENCH_OLD_PAGE)] : []);
  const tabs = [];
  const rows = [];
  try {
    for (const folder of folders) tabs.push(await openPage(browser, folder));
    const loads = [os.loadavg()[0]];
    const only = process.env.BENCH_CASE;
    for (const c of kCases.filter((c) => !only || c.label.includes(only))) {
      const native = [];
      const times = tabs.map(() => ({ fresh: [], freshWait: [], picked: [], pickedWait: [], drawn: [], drawnWait: [] }));
      for (let round = 0; round < rounds; round++) {
        const reference = nativeRun(maps[c.map], c);
        native.push(reference.seconds);
        for (const [index, tab] of tabs.entries()) {
          const opened = await openPage(browser, tab.folder);
          try {
            const first = await pageRun(opened.page, maps[c.map], c, false);
            if (first.digest !== reference.digest) throw new Error(`${c.label}: the download differs from the native output`);
            times[index].fresh.push(first.told);
            times[index].freshWait.push(first.waited);
          } finally {
            await opened.page.close();
            opened.server.close();
          }
          await tab.page.bringToFront();
          for (const reliefFirst of [false, true]) {
            const run = await pageRun(tab.page, maps[c.map], c, reliefFirst);
            if (run.digest !== reference.digest) throw new Error(`${c.label}: the download differs from the native output`);
            times[index][reliefFirst ? 'drawn' : 'picked'].push(run.told);
            times[index][reliefFirst ? 'drawnWait' : 'pickedWait'].push(run.waited);
          }
        }
        loads.push(os.loadavg()[0]);
      }
      rows.push({ label: c.label, native: median(native), times });
    }
    console.log(`${kSize} x ${kSize}, medians of ${rounds}, Chromium ${await browser.version()}; ` +
      `load (1 min) ${Math.min(...loads).toFixed(1)} to ${Math.max(...loads).toFixed(1)} on ${os.cpus().length} cores`);
    const builds = folders.map((folder, index) => (index ? 'other' : 'this'));
    console.log('| case | native (-view .bmp) | ' + builds.map((build) =>
      `${build}: a fresh page's first | ratio | ${build}: right after the pick | ratio | ` +
      `${build}: the input's relief drawn | ratio`).join(' | ') + ' |');
    console.log('|---|---|' + builds.map(() => '---|---|---|---|---|---|').join(''));
    for (const row of rows) {
      console.log(`| ${row.label} | ${row.native.toFixed(2)} s | ` +
        row.times.map((times) => cells(times, row.native)).join(' | ') + ' |');
    }
    if (process.env.BENCH_ALL) console.log(JSON.stringify(rows));
  } finally {
    await browser.close();
    for (const tab of tabs) tab.server.close();
  }
}

main().catch((failure) => {
  console.error(String(failure && failure.stack || failure));
  process.exit(1);
});
