// The page in headless Chromium, served from a local static server: maps
// picked and dropped, switches set, converted, downloaded, and every
// download compared byte for byte with the native build's output for the
// same map and switches. A refusal shows its ERROR line and downloads
// nothing; no request leaves the page's origin.
//
//   node browser_test.cjs <page folder> <native quillorn> <map folder> <work folder> [<bench file>]
//
// The maps: see test_maps.cjs. With a bench file, a 4097 x 4097 map is
// converted too and its time written there (not asserted).
'use strict';
const fs = require('fs');
const http = require('http');
const path = require('path');
const { execFileSync } = require('child_process');
const puppeteer = require('puppeteer-core');
const { unzipSync } = require('fflate');
const { testMaps, reason, setupStatus } = require('./test_maps.cjs');

const [pageFolder, nativeTool, mapFolder, work, benchFile] =
  process.argv.slice(2).map((p) => p && path.resolve(p));
const chromium = process.env.QUILLORN_CHROMIUM || '/usr/bin/chromium';

let failures = 0;
function check(condition, what) {
  console.log(`${condition ? 'ok  ' : 'FAIL'} ${what}`);
  if (!condition) failures += 1;
}

const kTypes = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
  '.wasm': 'application/wasm', '.md': 'text/plain', '.txt': 'text/plain' };

// The page's own origin: its folder, and a list of what was asked of it.
function serve(served) {
  const server = http.createServer((request, response) => {
    served.push(request.url);
    const file = path.join(pageFolder, decodeURIComponent(request.url.split('?')[0]));
    if (!file.startsWith(pageFolder) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      const index = path.join(file, 'index.html');
      if (fs.existsSync(index)) {
        response.writeHead(200, { 'Content-Type': 'text/html' });
        response.end(fs.readFileSync(index));
        return;
      }
      response.writeHead(404);
      response.end();
      return;
    }
    response.writeHead(200, { 'Content-Type': kTypes[path.extname(file)] || 'application/octet-stream' });
    response.end(fs.readFileSync(file));
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// Every request the browser sends anywhere else comes here (the browser's
// proxy) and is refused.
function trap(strays) {
  const server = http.createServer((request, response) => {
    strays.push(request.url);
    response.writeHead(403);
    response.end();
  });
  server.on('connect', (request, socket) => {
    strays.push(request.url);
    socket.end('HTTP/1.1 403 Forbidden\r\n\r\n');
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// A file name as a path, never a switch ("-h" as "./-h"), as the page gives it.
function asPath(name) {
  return name.startsWith('-') ? './' + name : name;
}

// The name the page gives the output: the map's with the format's
// extension, "_out" added where that is the map's own name.
function outputFor(map, format) {
  const base = path.basename(map).replace(/\.[^.]*$/, '');
  const name = `${base}.${format}`;
  return name === path.basename(map) ? `${base}_out.${format}` : name;
}

// The native run's standard output lines and files (named as the page names them).
function runNative(input, output, switches) {
  const folder = path.join(work, 'native');
  fs.rmSync(folder, { recursive: true, force: true });
  fs.mkdirSync(folder, { recursive: true });
  fs.copyFileSync(input, path.join(folder, path.basename(input)));
  let stdout;
  let status = 0;
  try {
    stdout = execFileSync(nativeTool, [asPath(path.basename(input)), asPath(output), ...switches],
      { cwd: folder, stdio: ['ignore', 'pipe', 'pipe'] }).toString();
  } catch (failure) {
    status = failure.status;
    stdout = failure.stdout.toString();
  }
  const files = {};
  for (const name of fs.readdirSync(folder)) {
    if (name !== path.basename(input)) files[name] = fs.readFileSync(path.join(folder, name));
  }
  return { status, lines: stdout.split('\n').filter((line) => line), files };
}

// A 16-bit greyscale PNG of side x side pixels, all 0: a few megabytes
// however large, since deflate packs rows of zeros a thousandfold.
function writeZeroPng(file, side) {
  const zlib = require('zlib');
  const table = Array.from({ length: 256 }, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    return c >>> 0;
  });
  const crc32 = (bytes) => {
    let crc = 0xffffffff;
    for (const byte of bytes) crc = table[(crc ^ byte) & 0xff] ^ (crc >>> 8);
    return (crc ^ 0xffffffff) >>> 0;
  };
  const chunk = (type, data) => {
    const length = Buffer.alloc(4);
    length.writeUInt32BE(data.length);
    const body = Buffer.concat([Buffer.from(type), data]);
    const crc = Buffer.alloc(4);
    crc.writeUInt32BE(crc32(body));
    return Buffer.concat([length, body, crc]);
  };
  const header = Buffer.alloc(13);
  header.writeUInt32BE(side, 0);
  header.writeUInt32BE(side, 4);
  header[8] = 16;
  const deflate = zlib.createDeflate({ level: 9 });
  const parts = [];
  deflate.on('data', (part) => parts.push(part));
  const row = Buffer.alloc(side * 2 + 1);
  return new Promise((resolve) => {
    deflate.on('end', () => {
      fs.writeFileSync(file, Buffer.concat([Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]),
        chunk('IHDR', header), chunk('IDAT', Buffer.concat(parts)), chunk('IEND', Buffer.alloc(0))]));
      resolve();
    });
    let rows = 0;
    const pump = () => {
      while (rows < side) {
        rows += 1;
        if (!deflate.write(row)) {
          deflate.once('drain', pump);
          return;
        }
      }
      deflate.end();
    };
    pump();
  });
}

// Sets the form's fields (id: value) as a person would: selects chosen,
// text typed.
async function setForm(page, fields) {
  await page.evaluate(() => document.getElementById('form').reset());
  await page.evaluate(() => document.getElementById('heights').dispatchEvent(new Event('change', { bubbles: true })));
  for (const [id, value] of Object.entries(fields)) {
    const tag = await page.$eval('#' + id, (element) => element.type === 'checkbox' ? 'CHECKBOX' : element.tagName);
    if (tag === 'CHECKBOX') {
      if (value) await page.click('#' + id);
    } else if (tag === 'SELECT') {
      await page.select('#' + id, value);
    } else {
      await page.$eval('#' + id, (element) => { element.value = ''; });
      await page.type('#' + id, value);
    }
  }
}

// Picks several files at once, which the page takes as the tiles of one
// map in its folder "tiles".
async function pickFiles(page, files) {
  const input = await page.$('#map');
  await page.$eval('#picked', (element) => { element.textContent = ''; });
  await input.uploadFile(...files);
  await page.waitForFunction((count) => document.getElementById('picked').textContent.startsWith(`tiles, ${count} files,`),
    {}, files.length);
}

async function pickFile(page, file) {
  const input = await page.$('#map');
  await page.$eval('#picked', (element) => { element.textContent = ''; });
  await input.uploadFile(file);
  await page.waitForFunction((name) => document.getElementById('picked').textContent.startsWith(name + ','),
    {}, path.basename(file));
}

// Drops the file on the drop zone, as a drag from the desktop does.
async function dropFile(page, file) {
  await page.$eval('#picked', (element) => { element.textContent = ''; });
  const bytes = fs.readFileSync(file).toString('base64');
  await page.evaluate((name, base64) => {
    const data = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
    const transfer = new DataTransfer();
    transfer.items.add(new File([data], name));
    const zone = document.getElementById('drop');
    zone.dispatchEvent(new DragEvent('dragover', { dataTransfer: transfer, bubbles: true, cancelable: true }));
    zone.dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true }));
  }, path.basename(file), bytes);
  await page.waitForFunction((name) => document.getElementById('picked').textContent.startsWith(name + ','),
    {}, path.basename(file));
}

// Converts with the keyboard (Convert focused, Enter) and waits for the
// run's outcome; also how long that took on the page's clock, from the key
// to the outcome shown.
async function convert(page) {
  await page.waitForFunction(() => !document.getElementById('convert').disabled);
  await page.focus('#convert');
  await page.evaluate(() => {
    window.waited = { from: null, to: null };
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
  await page.waitForFunction(() => document.getElementById('status').dataset.outcome,
    { timeout: 600000 });
  const shown = await page.evaluate(() => {
    const lines = (stream) => Array.from(document.querySelectorAll(`#log span[data-stream="${stream}"]`))
      .map((s) => s.textContent.replace(/\n$/, ''));
    return {
      status: document.getElementById('status').textContent,
      outcome: document.getElementById('status').dataset.outcome,
      out: [document.querySelector('#log span').textContent.replace(/\n$/, '')].concat(lines('out')),
      err: lines('err'),
      // Each line's class, and whether it has the log's own colour.
      looks: Array.from(document.querySelectorAll('#log span')).map((s) => ({
        text: s.textContent.replace(/\n$/, ''), className: s.className,
        plain: getComputedStyle(s).color === getComputedStyle(document.getElementById('log')).color })),
      command: document.getElementById('command').textContent,
      downloadable: !document.getElementById('download').disabled,
      waited: (window.waited.to - window.waited.from) / 1000,
    };
  });
  return shown;
}

// Clicks Download and waits for the file to land in the download folder.
async function download(page, folder) {
  fs.rmSync(folder, { recursive: true, force: true });
  fs.mkdirSync(folder, { recursive: true });
  await page.click('#download');
  const deadline = Date.now() + 60000;
  while (Date.now() < deadline) {
    const names = fs.readdirSync(folder).filter((name) => !name.endsWith('.crdownload'));
    if (names.length === 1) {
      await new Promise((resolve) => setTimeout(resolve, 200));
      return { name: names[0], bytes: fs.readFileSync(path.join(folder, names[0])) };
    }
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  return null;
}

// The files in a download: itself, or the entries of its zip.
function downloadedFiles(downloaded) {
  if (!downloaded.name.endsWith('.zip')) return { [downloaded.name]: downloaded.bytes };
  const files = {};
  for (const [name, bytes] of Object.entries(unzipSync(new Uint8Array(downloaded.bytes)))) {
    files[name] = Buffer.from(bytes);
  }
  return files;
}

function sameFiles(got, expected) {
  const names = Object.keys(expected).sort();
  if (Object.keys(got).sort().join() !== names.join()) return false;
  return names.every((name) => got[name].equals(expected[name]));
}

// One conversion through the page, checked against the native build; the
// lines the page showed are kept in shown[label].
async function conversionCase(page, downloads, { map, how, fields, switches, label }, shown = {}) {
  const input = map;
  const output = outputFor(map, fields.format);
  map = path.basename(map);
  if (how === 'drop') await dropFile(page, input); else await pickFile(page, input);
  await setForm(page, fields);
  const run = await convert(page);
  shown[label] = run;
  const seconds = Number((/ in ([\d.]+) s/.exec(run.status) || [])[1]);
  const native = runNative(input, output, switches);
  check(run.command === ['quillorn', asPath(map), asPath(output), ...switches].join(' '),
    `${label}: the command line shown (${run.command})`);
  check(run.out.slice(1).join('\n') === native.lines.join('\n'),
    `${label}: standard output lines as the command line's`);
  check(run.outcome === (native.status === 0 ? 'converted' : 'refused'),
    `${label}: the outcome follows the exit status ${native.status} (${run.status})`);
  if (native.status !== 0) {
    fs.rmSync(downloads, { recursive: true, force: true });
    fs.mkdirSync(downloads, { recursive: true });
    const error = native.lines.find((line) => line.startsWith('ERROR: ')) || 'no ERROR line';
    check(!run.downloadable, `${label}: refused, nothing to download`);
    check(run.status.includes(error.replace(/^ERROR: /, '')), `${label}: the status gives the ERROR line`);
    await page.evaluate(() => document.getElementById('download').click());
    await new Promise((resolve) => setTimeout(resolve, 1000));
    check(fs.readdirSync(downloads).length === 0, `${label}: no download`);
    return seconds;
  }
  const relief = await page.waitForFunction(() => document.getElementById('input-view').src,
    { timeout: 60000 }).then(() => true, () => false);
  check(relief, `${label}: the input's relief is shown`);
  // The time runs from Convert to the download ready: all of the wait
  // (told to a tenth of a second, rounded; the status shown a moment after).
  check(seconds >= run.waited * 0.97 - 0.1, `${label}: ${seconds} s told for a wait of ${run.waited.toFixed(3)} s`);
  const downloaded = await download(page, downloads);
  check(downloaded !== null, `${label}: downloaded`);
  if (downloaded) {
    const files = downloadedFiles(downloaded);
    check(sameFiles(files, native.files),
      `${label}: ${downloaded.name} holds the native build's bytes (${Object.keys(files).join(', ')})`);
  }
  return seconds;
}

async function main() {
  fs.mkdirSync(work, { recursive: true });
  const { maps, told } = testMaps(mapFolder, nativeTool, work);
  console.log(`     ${told}`);
  const served = [];
  const strays = [];
  const server = await serve(served);
  const proxy = await trap(strays);
  const origin = `http://127.0.0.1:${server.address().port}`;
  const browser = await puppeteer.launch({
    executablePath: chromium,
    headless: true,
    args: ['--no-sandbox', `--proxy-server=http://127.0.0.1:${proxy.address().port}`,
      '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--disable-default-apps'],
  });
  let exitCode = 1;
  try {
    const page = await browser.newPage();
    const pageErrors = [];
    page.on('pageerror', (error) => pageErrors.push(String(error)));
    page.on('console', (message) => console.log(`     console: ${message.text()}`));
    // Every request the page and its worker make, as the browser sees them.
    const requested = [];
    page.on('request', (request) => requested.push(request.url()));
    page.on('workercreated', (worker) => {
      worker.client.on('Network.requestWillBeSent', (event) => requested.push(event.request.url));
      worker.client.send('Network.enable').catch(() => {});
    });
    page.on('workercreated', (created) => created.on('console', (message) => console.log(`     worker: ${message.text()}`)));
    const downloads = path.join(work, 'downloads');
    fs.rmSync(downloads, { recursive: true, force: true });
    fs.mkdirSync(downloads, { recursive: true });
    const session = await page.createCDPSession();
    await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
    // Requests after the browser's own start-up are the page's.
    strays.length = 0;
    await page.goto(origin + '/', { waitUntil: 'load' });
    await page.waitForFunction(() => /Formats/.test(document.getElementById('formats').textContent));
    const heading = await page.$eval('h1', (element) => element.textContent);
    check(/Quillorn v\d+\.\d+/.test(heading), `the page shows the version (${heading})`);
    check(await page.$eval('a[href="README.md"]', (element) => element.textContent) === 'README',
      'the page links to the README');
    const unlabelled = await page.evaluate(() => Array.from(document.querySelectorAll('input, select'))
      .filter((control) => !control.labels || control.labels.length === 0).map((control) => control.id));
    check(unlabelled.length === 0, `every control is labelled (${unlabelled.join(', ') || 'all'})`);

    // Every format the build reads can be picked.
    const exr = /OpenEXR/.test(await page.$eval('#formats', (element) => element.textContent));
    const accepted = (await page.$eval('#map', (element) => element.accept)).split(',');
    const hidden = ['.bmp', '.png', '.pgm', '.pfm', '.r16', '.raw', '.r32', '.tif', '.tiff', '.hgt']
      .concat(exr ? ['.exr'] : []).filter((extension) => !accepted.includes(extension));
    check(hidden.length === 0, `the picker offers every format read (${hidden.join(', ') || 'all'})`);

    // The libraries behind the formats read have their licences in the notices.
    const notices = await page.evaluate(async () => (await fetch('THIRD-PARTY-NOTICES.txt')).text());
    const unlicensed = ['libspng', 'libtiff'].concat(exr ? ['OpenEXR', 'Imath'] : [])
      .filter((library) => !new RegExp(`\n${library}\n={78}\n\n(?!\\()`).test(notices));
    check(unlicensed.length === 0, `the notices give the licences of the libraries (${unlicensed.join(', ') || 'all'})`);

    // Maps made natively: a plain TIFF of heights (its relief cannot go
    // through a TIFF written to the null device), raw floats and a float
    // OpenEXR; a
    // damaged bitmap whose name speaks of memory, and a map named as a
    // switch.
    const made = (name) => path.join(work, name);
    const quiet = { stdio: ['ignore', 'ignore', 'pipe'] };
    execFileSync(nativeTool, [maps.png16, made('terrain_1025.tif')], quiet);
    execFileSync(nativeTool, [maps.png16, made('terrain_1025.r32')], quiet);
    if (exr) execFileSync(nativeTool, [maps.png16, made('terrain_1025.exr')], quiet);
    fs.writeFileSync(made('memory.bmp'), fs.readFileSync(maps.rg24).subarray(0, 3000));
    fs.copyFileSync(maps.rg24, made('-h'));
    const cases = [
      { label: 'a TIFF fitted to Godot', map: made('terrain_1025.tif'), how: 'pick',
        fields: { format: 'png', fit: 'godot' }, switches: ['-fit', 'godot'] },
      { label: 'a 16-bit PNG fitted to Unreal', map: maps.png16, how: 'pick',
        fields: { format: 'png', fit: 'unreal' }, switches: ['-fit', 'unreal'] },
      { label: 'a bitmap dropped, normalized, smoothed, lifted, as TIFF', map: maps.rg24,
        how: 'drop', fields: { format: 'tif', heights: 'normalize', smooth: '2', minimum: '10' },
        switches: ['-sca', '0', '-smo', '2', '-min', '10'] },
      { label: 'a bitmap resized, flipped, turned and tiled to raw', map: maps.other,
        how: 'pick', fields: { format: 'r16', turn1: '-flip horizontal', turn2: '-rotate 90', turn3: '-flip horizontal', size: '701x501',
          filter: 'linear', tiles: '2x2' },
        switches: ['-flip', 'horizontal', '-rotate', '90', '-flip', 'horizontal', '-size', '701x501', '-filter',
          'linear', '-tiles', '2x2'] },
      { label: 'Unreal raw with its size file, scaled, big-endian, the size ignored', map: maps.png16,
        how: 'drop', fields: { format: 'raw', fit: 'unreal', heights: 'scale', scale: '0.5', order: 'big', size: '2049x2049' },
        switches: ['-sca', '0.5', '-size', '2049x2049', '-fit', 'unreal', '-order', 'big'] },
      { label: 'a damaged bitmap named memory.bmp', map: made('memory.bmp'), how: 'pick',
        fields: { format: 'png' }, switches: [] },
      { label: 'a map named -h, read as a file', map: made('-h'), how: 'pick',
        fields: { format: 'png' }, switches: [] },
      { label: 'raw floats (.r32), nodata filled less, a world file asked for', map: made('terrain_1025.r32'),
        how: 'pick', fields: { format: 'png', world: true, fill: '5' }, switches: ['-world', '-fill', '5'] },
      ...(exr ? [{ label: 'a float OpenEXR fitted to Unity', map: made('terrain_1025.exr'), how: 'drop',
        fields: { format: 'raw', fit: 'unity' }, switches: ['-fit', 'unity'] }] : []),
      { label: 'a refusal (tiles that cannot share their edges)', map: maps.gray8,
        how: 'pick', fields: { format: 'png', size: '700x500', tiles: '2x2' },
        switches: ['-size', '700x500', '-tiles', '2x2'] },
    ];
    const shown = {};
    for (const testCase of cases) await conversionCase(page, downloads, testCase, shown);

    // Errors red, warnings marked, everything else (the engine's values
    // to type in) in the text's own colour.
    const looks = [
      ['a refusal (tiles that cannot share their edges)', /^ERROR: /, 'error', false],
      ['a 16-bit PNG fitted to Unreal', /^quillorn: {3}\S/, '', true],
      ['Unreal raw with its size file, scaled, big-endian, the size ignored', /^quillorn: warning: /, 'warning', false],
      ['a 16-bit PNG fitted to Unreal', /^Done!$/, '', true],
    ];
    for (const [label, pattern, className, plain] of looks) {
      const line = shown[label].looks.find((look) => pattern.test(look.text));
      check(line && line.className === className && line.plain === plain,
        `${label}: ${pattern} shown ${className || 'plain'} (${line ? `${line.className || 'plain'}: ${line.text}` : 'no such line'})`);
    }

    // The reliefs are the native -view pictures of the input and the result.
    const reliefs = await page.evaluate(async () => {
      const bytes = async (id) => {
        const image = document.getElementById(id);
        if (!image.src) return null;
        return (await (await fetch(image.src)).arrayBuffer()).byteLength;
      };
      return { input: await bytes('input-view'), result: await bytes('result-view') };
    });
    check(reliefs.input > 0, 'the input relief is shown beside the (refused) result');
    check(reliefs.result === null, 'no result relief after a refusal');

    await pickFile(page, maps.png16);
    await setForm(page, { format: 'r16', smooth: '1' });
    await convert(page);
    await page.waitForFunction(() => document.getElementById('input-view').src &&
      document.getElementById('result-view').src);
    const pictures = await page.evaluate(async () => {
      const bytes = async (id) => {
        const buffer = await (await fetch(document.getElementById(id).src)).arrayBuffer();
        return Array.from(new Uint8Array(buffer));
      };
      return { input: await bytes('input-view'), result: await bytes('result-view') };
    });
    const viewFolder = path.join(work, 'views');
    fs.mkdirSync(viewFolder, { recursive: true });
    const input = maps.png16;
    execFileSync(nativeTool, [input, path.join(viewFolder, 'same.png'), '-view', path.join(viewFolder, 'input.bmp')]);
    execFileSync(nativeTool, [input, path.join(viewFolder, 'out.r16'), '-smo', '1', '-view', path.join(viewFolder, 'result.bmp')]);
    check(Buffer.from(pictures.input).equals(fs.readFileSync(path.join(viewFolder, 'input.bmp'))),
      'the input relief is the native -view picture (a bitmap)');
    check(Buffer.from(pictures.result).equals(fs.readFileSync(path.join(viewFolder, 'result.bmp'))),
      'the result relief is the native -view picture (a bitmap)');

    // Several files picked: the tiles the tool cut from a map, read back as
    // one from their folder, as the native tool reads the same folder.
    const tileFolder = path.join(work, 'tileset', 'tiles');
    fs.rmSync(path.dirname(tileFolder), { recursive: true, force: true });
    fs.mkdirSync(tileFolder, { recursive: true });
    execFileSync(nativeTool, [maps.png16, path.join(tileFolder, 'terrain.png'), '-tiles', '2x2'], quiet);
    const tiles = fs.readdirSync(tileFolder).sort().map((name) => path.join(tileFolder, name));
    check(tiles.length === 4, `the map cut into four tiles (${tiles.map((tile) => path.basename(tile)).join(', ')})`);
    await pickFiles(page, tiles);
    await setForm(page, { format: 'r16', smooth: '1' });
    const joined = await convert(page);
    check(joined.command === 'quillorn tiles tiles.r16 -smo 1', `several files: the command line shown (${joined.command})`);
    let joinedLines = '';
    try {
      joinedLines = execFileSync(nativeTool, ['tiles', 'tiles.r16', '-smo', '1'],
        { cwd: path.dirname(tileFolder), stdio: ['ignore', 'pipe', 'pipe'] }).toString();
    } catch (failure) {
      joinedLines = `status ${failure.status}: ${failure.stdout}`;
    }
    check(joined.outcome === 'converted' && joined.out.slice(1).join('\n') === joinedLines.trim(),
      `several files: converted, standard output lines as the native run on their folder (${joined.status})`);
    const joinedDownload = await download(page, downloads);
    check(joinedDownload !== null && joinedDownload.name === 'tiles.r16' &&
      joinedDownload.bytes.equals(fs.readFileSync(path.join(path.dirname(tileFolder), 'tiles.r16'))),
      `several files: one output, the native build's bytes for their folder (${joinedDownload && joinedDownload.name})`);
    await page.waitForFunction(() => document.getElementById('input-view').src, { timeout: 60000 });

    // A map larger than a module's memory: the tool's ERROR line, and the
    // page says what size fits. Never run natively (it might fit there).
    const huge = path.join(work, 'zero_36000.png');
    if (!fs.existsSync(huge)) await writeZeroPng(huge, 36000);
    await pickFile(page, huge);
    await setForm(page, { format: 'r16' });
    fs.rmSync(downloads, { recursive: true, force: true });
    fs.mkdirSync(downloads, { recursive: true });
    const refused = await convert(page);
    check(refused.out.some((line) => /^ERROR: .*memory/.test(line)),
      `a map too large for the memory: its ERROR line (${refused.out.slice(-1)})`);
    check(refused.outcome === 'memory' &&
      /does not fit in the memory.*536,870,911 pixels \(23,170 × 23,170\)/.test(refused.status) &&
      !refused.downloadable,
      `a map too large for the memory: the size that fits said, nothing to download (${refused.status})`);

    // The bar follows the stages of a conversion.
    await pickFile(page, maps.png16);
    await setForm(page, { format: 'png', smooth: '3', size: '2049x2049' });
    await page.evaluate(() => {
      window.stagesSeen = [];
      new MutationObserver(() => window.stagesSeen.push(document.getElementById('stage').textContent))
        .observe(document.getElementById('stage'), { childList: true, characterData: true, subtree: true });
    });
    await convert(page);
    const stages = await page.evaluate(() => window.stagesSeen);
    check(/^(Reading the map|Drawing the input's relief)…$/.test(stages[0]) &&
      stages.some((text) => /^Reading \d+%$/.test(text)) && stages.some((text) => /^Smoothing x3 \d+%$/.test(text)),
      `the progress bar shows the stages from the start (${[...new Set(stages.map((t) => t.replace(/ \d+%$/, '')))].join(', ')})`);

    if (benchFile) {
      // A 4097 x 4097 map, made natively from the test map.
      const big = path.join(work, path.basename(maps.png16).replace(/\.png$/, '_4097.png'));
      if (!fs.existsSync(big)) {
        execFileSync(nativeTool, [maps.png16, big, '-size', '4097x4097'], quiet);
      }
      const seconds = await conversionCase(page, downloads, {
        label: 'a 4097 x 4097 map smoothed twice', map: big, how: 'pick',
        fields: { format: 'r16', smooth: '2' }, switches: ['-smo', '2'] });
      // Natively with the page's relief, a bitmap, and with a PNG's.
      const nativeSeconds = (picture) => {
        const started = Date.now();
        execFileSync(nativeTool, [big, path.join(work, 'native_4097.r16'), '-smo', '2',
          '-view', path.join(work, 'native_4097_view.' + picture)], quiet);
        return (Date.now() - started) / 1000;
      };
      const asBitmap = nativeSeconds('bmp');
      const asPng = nativeSeconds('png');
      const line = `${new Date().toISOString()} 4097x4097 16-bit PNG -> r16 -smo 2: page ${seconds.toFixed(1)} s ` +
        `(from Convert to the download ready; the result's relief follows it), native ${asBitmap.toFixed(1)} s ` +
        `with -view .bmp (the page's), ${asPng.toFixed(1)} s with -view .png\n`;
      fs.appendFileSync(benchFile, line);
      console.log('     ' + line.trim());
    }

    check(pageErrors.length === 0, `no script errors (${pageErrors.join('; ')})`);
    // The browser's own traffic (updates, sign-in, autofill) goes to the
    // trap too: it is not the page's, and only counted.
    const foreign = requested.filter((url) => !url.startsWith(origin + '/') &&
      !url.startsWith('blob:' + origin + '/') && !url.startsWith('data:'));
    check(requested.some((url) => url === origin + '/quillorn.wasm'),
      "the worker's requests are watched (quillorn.wasm seen)");
    check(foreign.length === 0,
      `no request left the page's origin (${foreign.join(', ') || 'none'}; ` +
      `${requested.length} requests, ${served.length} served, ` +
      `${strays.length} of the browser's own trapped)`);
    exitCode = failures ? 1 : 0;
  } finally {
    await browser.close();
    server.close();
    proxy.close();
  }
  return exitCode;
}

// A failure is told in one line, its message.
main().then((code) => process.exit(code), (failure) => {
  const { code, line } = setupStatus(failure);
  console.log(line);
  process.exit(code);
});
