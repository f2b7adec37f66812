// The page: the form makes a quillorn command line, the worker runs it, and
// the page shows its lines, its progress, the reliefs and the download.
'use strict';

const $ = (id) => document.getElementById(id);
const worker = new Worker('worker.js');
// The input's relief is drawn by a worker of its own, beside a conversion
// rather than before it.
const reliefWorker = new Worker('worker.js');

// The largest map a module takes: its planes must be addressable as one
// block, at most PTRDIFF_MAX / 4 pixels in 32-bit WebAssembly (the tool's
// own limit); a map of that size and a resampled one beside it (3.5 and 3
// bytes per pixel, docs/performance.md) stay within the 4 GiB a module may
// grow to, where the browser allows it that much.
const kMaxPixels = Math.floor((2 ** 31 - 1) / 4);
const kSide = Math.floor(Math.sqrt(kMaxPixels));

// The picked map: { name, bytes } of one file, or { name, files: [{ name,
// bytes }] } of several, the tiles of one map, which go into a folder of
// that name and are read as the tool reads a folder. A conversion is handed
// the bytes themselves and hands them back when it ends (the page holds
// none meanwhile); the input's relief is drawn from a copy.
let map = null;
let prepared = null;        // { bytes, name, blob }: their download, its blob made once the page is free
let running = false;
let startedAt = 0;          // when Convert was pressed (performance.now())
let errorLine = '';         // the run's ERROR line, if any
let runOutput = '';         // the output the run was asked for
let reliefArgs = null;      // the reading switches the input's relief was drawn with
let inputReliefUrl = null;
let runNumber = 0;          // counts the runs, and the picks that end a run's showing
let runMap = null;          // the map the running conversion holds the bytes of
let resultReliefUrl = null;

// The name of the output: the map's own name with the format's extension
// (a folder's whole name), "_out" added where that would be the map's name
// itself.
function outputName() {
  const format = $('format').value;
  const base = !map ? 'map' : map.files ? map.name : map.name.replace(/\.[^.]*$/, '');
  const name = base + '.' + format;
  return map && name === map.name ? base + '_out.' + format : name;
}

// The switches that say how to read the input (raw size and byte order,
// elevation units, the nodata filling, a colour map's channel): also
// needed for the input's relief.
function readingArgs() {
  const args = [];
  if ($('dim').value.trim()) args.push('-dim', $('dim').value.trim());
  if ($('order').value) args.push('-order', $('order').value);
  if ($('unit').value.trim()) args.push('-unit', $('unit').value.trim());
  if ($('fill').value.trim()) args.push('-fill', $('fill').value.trim());
  if ($('channel').value) args.push('-channel', $('channel').value);
  return args;
}

// Every switch the form sets, in the order the command line takes them.
function switches() {
  const args = [];
  const heights = $('heights').value;
  if (heights === 'scale') args.push('-sca', $('scale').value.trim() || '1');
  if (heights === 'normalize') args.push('-sca', '0');
  const smooth = $('smooth').value.trim();
  if (smooth && smooth !== '0') args.push('-smo', smooth);
  if ($('minimum').value.trim()) args.push('-min', $('minimum').value.trim());
  for (const step of ['turn1', 'turn2', 'turn3']) {
    if ($(step).value) args.push(...$(step).value.split(' '));
  }
  if ($('size').value.trim()) args.push('-size', $('size').value.trim());
  if ($('filter').value) args.push('-filter', $('filter').value);
  if ($('fit').value) args.push('-fit', $('fit').value);
  if ($('tiles').value.trim()) args.push('-tiles', $('tiles').value.trim());
  if ($('world').checked) args.push('-world');
  // Only a TIFF has a choice of samples.
  if ($('depth').value && $('format').value === 'tif') {
    args.push('-depth', $('depth').value);
  }
  return args.concat(readingArgs());
}

// A file name as a path the tool cannot take for a switch (a map named
// "-h" would otherwise ask for the help).
function asPath(name) {
  return name.startsWith('-') ? './' + name : name;
}

// A word as a shell would need it quoted.
function quoted(word) {
  return /^[\w.,:+=@%/-]+$/.test(word) ? word : "'" + word.replace(/'/g, "'\\''") + "'";
}

function showCommand() {
  const words = ['quillorn', map ? asPath(map.name) : '<map>', asPath(outputName()), ...switches()];
  $('command').textContent = words.map(quoted).join(' ');
  $('convert').disabled = !map || running;
}

// The reasons after "quillorn: <path>: " that report what a file's values
// mean, not a fault.
const kReports = [/^its samples stand for values of /, /^[\d,]+ samples were nodata /,
  /^heights from its values: /, /^every valid sample is /,
  /^the samples kept as nodata are written as /, /^each height is written as its value/];

// A line's class: "error" for the ERROR line and for a file's failure
// ("quillorn: <path>: <reason>"), "warning" for a warning, none for the
// rest (the stages, the values to enter in an engine, the reports).
function lineClass(text, stream) {
  if (stream === 'out') return text.startsWith('ERROR: ') ? 'error' : '';
  if (text.startsWith('quillorn: warning: ')) return 'warning';
  const named = runPaths && runPaths.exec(text);
  if (!named) return '';
  const reason = text.slice(named[0].length);
  return kReports.some((report) => report.test(reason)) ? '' : 'error';
}

// The start of a line naming one of the run's files: its input, its output
// and the tiles and world files beside it, its relief, standard output.
let runPaths = null;

function escaped(text) {
  return text.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
}

function namePaths(input, output) {
  const base = output.replace(/\.[^.]*$/, '');
  const files = [input, output, '/relief/result.bmp', 'standard output'].map(escaped);
  const beside = [base, asPath(base)].map((head) => escaped(head) + '[^:]*');
  runPaths = new RegExp(`^quillorn: (${files.concat(beside).join('|')}): `);
}

function logLine(text, stream) {
  const line = document.createElement('span');
  line.textContent = text + '\n';
  line.dataset.stream = stream;
  const kind = stream === 'page' ? 'error' : lineClass(text, stream);
  if (kind) line.className = kind;
  if (stream === 'out' && text.startsWith('ERROR: ') && !errorLine) errorLine = text;
  $('log').appendChild(line);
  $('log').scrollTop = $('log').scrollHeight;
}

// What the bar says before the tool's own stages: the bar moves with no
// measure of its own.
function setStage(text) {
  $('stage').textContent = text;
  $('progress').removeAttribute('value');
}

// The status line, and its outcome (converted, refused, memory, failed)
// once the run has ended.
function setStatus(text, outcome) {
  $('status').textContent = text;
  if (outcome) $('status').dataset.outcome = outcome; else delete $('status').dataset.outcome;
}

// Shows a relief, a blob the worker made (or none).
function showPicture(id, blob, alt) {
  const image = $(id);
  const old = id === 'input-view' ? inputReliefUrl : resultReliefUrl;
  if (old) URL.revokeObjectURL(old);
  const url = blob ? URL.createObjectURL(blob) : null;
  if (id === 'input-view') inputReliefUrl = url; else resultReliefUrl = url;
  if (url) image.src = url; else image.removeAttribute('src');
  image.alt = alt;
}

// The map's bytes for a worker, and the buffers to hand over: { bytes } of
// one file, { files } of several; copies of them where asked.
function mapMessage(copied) {
  const take = (bytes) => (copied ? bytes.slice(0) : bytes);
  if (!map.files) {
    const bytes = take(map.bytes);
    return { part: { bytes }, buffers: [bytes] };
  }
  const files = map.files.map((file) => ({ name: file.name, bytes: take(file.bytes) }));
  return { part: { files }, buffers: files.map((file) => file.bytes) };
}

// Puts back the bytes a conversion hands back into the map they came from.
function takeBack(from, returned) {
  if (!returned) return;
  if (returned.bytes) from.bytes = returned.bytes;
  if (returned.files) from.files = returned.files;
}

function requestInputRelief() {
  if (!map) return;
  reliefArgs = readingArgs().join(' ');
  const { part, buffers } = mapMessage(true);
  reliefWorker.postMessage({ type: 'input-relief', name: map.name, ...part, readingArgs: readingArgs() }, buffers);
}

// The folder several picked files go into: the picker names none.
const kPickedFolder = 'tiles';

// Takes one file as the map, or the files of a folder (files: [{ name,
// file }], one or more) as the tiles of one in the folder named folder.
async function pick(file, folder = kPickedFolder, files = null) {
  if (!file && !files) return;
  if (files && !files.length) {
    $('picked').textContent = `The folder ${folder} holds no files.`;
    return;
  }
  if (file) {
    $('picked').textContent = `Reading ${file.name}…`;
    const bytes = await file.arrayBuffer();
    map = { name: file.name, bytes };
    $('picked').textContent = `${file.name}, ${bytes.byteLength.toLocaleString('en')} bytes`;
  } else {
    $('picked').textContent = `Reading ${files.length} files…`;
    const read = await Promise.all(files.map(async (entry) => ({ name: entry.name, bytes: await entry.file.arrayBuffer() })));
    read.sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
    map = { name: folder, files: read };
    const total = read.reduce((sum, entry) => sum + entry.bytes.byteLength, 0);
    $('picked').textContent = `${folder}, ${read.length} files, ${total.toLocaleString('en')} bytes`;
  }
  prepared = null;
  runNumber += 1;
  $('download').disabled = true;
  showPicture('input-view', null, 'Relief of the input (being drawn)');
  showPicture('result-view', null, 'Relief of the result (none yet)');
  showCommand();
  requestInputRelief();
}

function convert(event) {
  event.preventDefault();
  if (!map || running) return;
  running = true;
  startedAt = performance.now();
  prepared = null;
  errorLine = '';
  $('download').disabled = true;
  $('log').textContent = '';
  setStage('Reading the map…');
  setStatus('Converting…');
  showCommand();
  const output = outputName();
  runOutput = output;
  namePaths(asPath(map.name), asPath(output));
  logLine('$ ' + $('command').textContent, 'command');
  showPicture('result-view', null, 'Relief of the result (none yet)');
  // The relief's copy first: the conversion takes the bytes themselves.
  if (readingArgs().join(' ') !== reliefArgs) requestInputRelief();
  runNumber += 1;
  runMap = map;
  const { part, buffers } = mapMessage(false);
  worker.postMessage({ type: 'convert', run: runNumber, name: map.name, path: asPath(map.name), ...part,
    output, outputPath: asPath(output), args: switches(), readingArgs: readingArgs() }, buffers);
}

// The tool's own words for a map beyond the memory it can have; an abort
// of the module for want of memory says so too.
const kOutOfMemory = /^ERROR: (Not enough memory|Image is too large for this system's memory)/;

function memoryStatus() {
  return `The map does not fit in the memory this page can have: it takes maps of up ` +
    `to ${kMaxPixels.toLocaleString('en')} pixels (${kSide.toLocaleString('en')} × ` +
    `${kSide.toLocaleString('en')}), in as much memory as the browser gives it (at ` +
    `most 4 GiB).`;
}

// The run's outputs: the output itself or, with tiles, files beside it.
function wroteOutputs(files) {
  const base = runOutput.replace(/\.[^.]*$/, '');
  return files.some((file) => file.name === runOutput || file.name.startsWith(base));
}

// The outcome follows the exit status, the ERROR line and the files
// written: a success is status 0 with its outputs there.
function finished(message) {
  running = false;
  showCommand();
  const converted = message.status === 0 && !message.aborted && wroteOutputs(message.files);
  $('progress').value = converted ? 100 : 0;
  $('stage').textContent = converted ? 'Done' : 'Stopped';
  if (message.aborted) logLine(`The converter stopped: ${message.aborted}`, 'page');
  if (message.aborted && /memory|OOM/i.test(message.aborted) || message.status !== 0 && kOutOfMemory.test(errorLine)) {
    setStatus(memoryStatus(), 'memory');
  } else if (message.aborted) {
    setStatus(`The converter stopped (${message.aborted}); nothing to download.`, 'failed');
  } else if (message.status !== 0) {
    const reason = errorLine ? `: ${errorLine.replace(/^ERROR: /, '')}` : '';
    // As a shell shows it: -1 returned from main is status 255.
    setStatus(`Refused (exit status ${message.status & 255})${reason}. Nothing to download.`, 'refused');
  } else if (!converted) {
    setStatus('The converter ended without writing the output; nothing to download.', 'failed');
  } else {
    const outputs = message.files;
    prepared = prepareDownload(outputs);
    $('download').disabled = false;
    const names = outputs.map((file) => file.name).join(', ');
    // From Convert to the download ready: the map's way into the
    // converter, the run and the download's blob included; the result's
    // relief is shown after it.
    const time = `in ${((performance.now() - startedAt) / 1000).toFixed(1)} s`;
    setStatus(outputs.length > 1
      ? `Converted ${time}: ${outputs.length} files (${names}), downloaded as one zip.`
      : `Converted ${time}: ${names}.`, 'converted');
  }
  $('status').focus();
}

// One file as it is; several (tiles, Unreal's size file) as one zip. The
// download is ready with its bytes: their blob, a copy into the browser's
// storage, is made once the page is free again, or on Download if that
// comes first.
function prepareDownload(files) {
  let download;
  if (files.length === 1) {
    download = { bytes: files[0].bytes, name: files[0].name, blob: null };
  } else {
    const entries = {};
    for (const file of files) entries[file.name] = [file.bytes, { level: 0 }];
    download = { bytes: fflate.zipSync(entries, { mtime: new Date(1980, 0, 1) }),
      name: runOutput.replace(/\.[^.]*$/, '') + '.zip', blob: null };
    giveBack(files.map((file) => file.bytes));
  }
  // After the status is painted; a hidden page, which paints nothing,
  // after a moment.
  const make = () => downloadBlob(download);
  requestAnimationFrame(() => setTimeout(make, 0));
  setTimeout(make, 100);
  return download;
}

// The blob of a download, made once; its bytes then go back to the
// converter, whose next files are written into them.
function downloadBlob(download) {
  if (!download.blob) {
    const type = download.name.endsWith('.zip') ? 'application/zip' : 'application/octet-stream';
    // A file grown in place comes in its resizable buffer, which a blob
    // does not take: moved to a fixed one first, in place where it can be.
    let bytes = download.bytes;
    if (bytes.buffer.resizable) {
      bytes = new Uint8Array(bytes.buffer.transferToFixedLength
        ? bytes.buffer.transferToFixedLength(bytes.byteLength) : bytes.slice());
      download.bytes = bytes;
    }
    download.blob = new Blob([bytes], { type });
    giveBack([download.bytes]);
    download.bytes = null;
  }
  return download.blob;
}

// Arrays the page is done with, handed to the converter to write in.
function giveBack(arrays) {
  const buffers = arrays.map((array) => array.buffer).filter((buffer) => buffer.byteLength > 0);
  if (buffers.length) worker.postMessage({ type: 'recycle', buffers }, buffers);
}

function download() {
  if (!prepared) return;
  const link = document.createElement('a');
  link.href = URL.createObjectURL(downloadBlob(prepared));
  link.download = prepared.name;
  document.body.appendChild(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

function received(event) {
  const message = event.data;
  if (message.type === 'version') {
    if (message.lines[0]) $('version').textContent = message.lines[0].replace(/^Quillorn /, '');
    $('formats').textContent = message.lines.slice(1).join(' ');
    // The picker offers what the module reads; the outputs OpenEXR where
    // this build has it.
    $('map').accept = message.endings;
    const exr = /OpenEXR \(/.test($('formats').textContent);
    const exrOutput = $('format').querySelector('option[value="exr"]');
    if (!exr && exrOutput) exrOutput.remove();
  } else if (message.type === 'line') {
    logLine(message.line, message.stream);
  } else if (message.type === 'stage') {
    if (running) setStage(message.label);
  } else if (message.type === 'progress') {
    $('stage').textContent = `${message.label} ${message.percent}%`;
    $('progress').value = message.percent;
  } else if (message.type === 'done') {
    takeBack(runMap, message.input);
    finished(message);
  } else if (message.type === 'result-relief') {
    // Only the last run's, and not once another map is picked.
    if (message.relief && message.run === runNumber) showPicture('result-view', message.relief, 'Relief of the result');
  } else if (message.type === 'input-relief') {
    showPicture('input-view', message.relief,
      message.relief ? 'Relief of the input' : 'Relief of the input (the map could not be read)');
  } else if (message.type === 'failed') {
    if (message.of === 'input-relief') {
        showPicture('input-view', null, 'Relief of the input (the converter could not run)');
      return;
    }
    takeBack(runMap, message.input);
    running = false;
    showCommand();
    $('stage').textContent = 'Stopped';
    $('progress').value = 0;
    logLine(`The converter could not run: ${message.reason}`, 'page');
    setStatus('The converter could not run.', 'failed');
  }
}
worker.onmessage = received;
reliefWorker.onmessage = received;

$('form').addEventListener('submit', convert);
$('form').addEventListener('input', showCommand);
$('form').addEventListener('change', showCommand);
$('heights').addEventListener('change', () => {
  $('scale').disabled = $('heights').value !== 'scale';
});
$('map').addEventListener('change', () => {
  const picked = Array.from($('map').files);
  if (picked.length > 1) pick(null, kPickedFolder, picked.map((file) => ({ name: file.name, file })));
  else pick(picked[0]);
});
$('download').addEventListener('click', download);
const drop = $('drop');
drop.addEventListener('dragover', (event) => { event.preventDefault(); drop.classList.add('over'); });
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
// The files of a dropped folder (not of its subfolders, as the tool reads
// a folder), as [{ name, file }].
async function folderFiles(folder) {
  const reader = folder.createReader();
  const entries = [];
  for (;;) {
    // readEntries gives a folder's entries a batch at a time, then none.
    const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
    if (!batch.length) break;
    entries.push(...batch.filter((entry) => entry.isFile));
  }
  return Promise.all(entries.map((entry) =>
    new Promise((resolve, reject) => entry.file((file) => resolve({ name: entry.name, file }), reject))));
}

drop.addEventListener('drop', async (event) => {
  event.preventDefault();
  drop.classList.remove('over');
  // The entries are only there while the event is handled.
  const entries = Array.from(event.dataTransfer.items || [])
    .map((item) => (item.webkitGetAsEntry ? item.webkitGetAsEntry() : null));
  const files = Array.from(event.dataTransfer.files);
  if (entries.length === 1 && entries[0] && entries[0].isDirectory) {
    try {
      pick(null, entries[0].name, await folderFiles(entries[0]));
    } catch (failure) {
      $('picked').textContent = `The folder ${entries[0].name} could not be read: ${failure && failure.message || failure}`;
    }
  } else if (files.length > 1) {
    pick(null, kPickedFolder, files.map((file) => ({ name: file.name, file })));
  } else {
    pick(files[0]);
  }
});
worker.postMessage({ type: 'version' });
reliefWorker.postMessage({ type: 'prepare' });
showCommand();
