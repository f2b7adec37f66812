// The page: the form makes a quillorn command line, the worker runs it, and
// the page shows its lines, its progress, the reliefs and the download.
'use strict';

const $ = (id) => document.getElementById(id);
const worker = new Worker('worker.js');

// The largest map a module takes: its planes must be addressable as one
// block, at most PTRDIFF_MAX / 4 pixels in 32-bit WebAssembly (the tool's
// own limit); a map of that size and a resampled one beside it (3.5 and 3
// bytes per pixel, docs/performance.md) stay within the 4 GiB a module may
// grow to, where the browser allows it that much.
const kMaxPixels = Math.floor((2 ** 31 - 1) / 4);
const kSide = Math.floor(Math.sqrt(kMaxPixels));

let map = null;             // { name, bytes } of the picked map
let outputs = [];           // the last successful run's files
let running = false;
let reliefArgs = null;      // the reading switches the input's relief was drawn with
let inputReliefUrl = null;
let resultReliefUrl = null;

// The name of the output: the map's own name with the format's extension,
// "_out" added where that would be the map's name itself.
function outputName() {
  const format = $('format').value;
  const base = map ? map.name.replace(/\.[^.]*$/, '') : 'map';
  const name = base + '.' + format;
  return map && name === map.name ? base + '_out.' + format : name;
}

// The switches that say how to read the input (raw size and byte order,
// elevation units): also needed for the input's relief.
function readingArgs() {
  const args = [];
  if ($('dim').value.trim()) args.push('-dim', $('dim').value.trim());
  if ($('order').value) args.push('-order', $('order').value);
  if ($('unit').value.trim()) args.push('-unit', $('unit').value.trim());
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
  return args.concat(readingArgs());
}

// A word as a shell would need it quoted.
function quoted(word) {
  return /^[\w.,:+=@%/-]+$/.test(word) ? word : "'" + word.replace(/'/g, "'\\''") + "'";
}

function showCommand() {
  const words = ['quillorn', map ? map.name : '<map>', outputName(), ...switches()];
  $('command').textContent = words.map(quoted).join(' ');
  $('convert').disabled = !map || running;
}

function logLine(text, diagnostic) {
  const line = document.createElement('span');
  line.textContent = text + '\n';
  if (diagnostic) line.className = 'diagnostic';
  $('log').appendChild(line);
  $('log').scrollTop = $('log').scrollHeight;
}

function setStatus(text) {
  $('status').textContent = text;
}

function showPicture(id, bytes, alt) {
  const image = $(id);
  const old = id === 'input-view' ? inputReliefUrl : resultReliefUrl;
  if (old) URL.revokeObjectURL(old);
  const url = bytes ? URL.createObjectURL(new Blob([bytes], { type: 'image/png' })) : null;
  if (id === 'input-view') inputReliefUrl = url; else resultReliefUrl = url;
  if (url) image.src = url; else image.removeAttribute('src');
  image.alt = alt;
}

function requestInputRelief() {
  if (!map) return;
  reliefArgs = readingArgs().join(' ');
  worker.postMessage({ type: 'input-relief', name: map.name, bytes: map.bytes.slice(0),
    readingArgs: readingArgs() });
}

async function pick(file) {
  if (!file) return;
  const bytes = await file.arrayBuffer();
  map = { name: file.name, bytes };
  outputs = [];
  $('download').disabled = true;
  $('picked').textContent = `${file.name}, ${bytes.byteLength.toLocaleString('en')} bytes`;
  showPicture('input-view', null, 'Relief of the input (being drawn)');
  showPicture('result-view', null, 'Relief of the result (none yet)');
  showCommand();
  requestInputRelief();
}

function convert(event) {
  event.preventDefault();
  if (!map || running) return;
  running = true;
  outputs = [];
  $('download').disabled = true;
  $('log').textContent = '';
  $('progress').value = 0;
  $('stage').textContent = 'Starting';
  setStatus('Converting…');
  showCommand();
  logLine('$ ' + $('command').textContent, false);
  showPicture('result-view', null, 'Relief of the result (none yet)');
  worker.postMessage({ type: 'convert', name: map.name, bytes: map.bytes.slice(0),
    output: outputName(), args: switches(), readingArgs: readingArgs() });
  if (readingArgs().join(' ') !== reliefArgs) requestInputRelief();
}

function finished(message) {
  running = false;
  showCommand();
  $('progress').value = message.status === 0 ? 100 : 0;
  $('stage').textContent = message.status === 0 ? 'Done' : 'Stopped';
  if (message.aborted) {
    logLine(`The converter stopped: ${message.aborted}`, true);
  }
  if (message.status !== 0) {
    const memory = message.aborted ||
      Array.from($('log').children).some((line) => /memory/i.test(line.textContent));
    setStatus(memory
      ? `The map does not fit in the memory this page can have: it takes maps of up ` +
        `to ${kMaxPixels.toLocaleString('en')} pixels (${kSide.toLocaleString('en')} × ` +
        `${kSide.toLocaleString('en')}), in as much memory as the browser gives it (at ` +
        `most 4 GiB).`
      : `The conversion was refused (exit status ${message.status}); nothing to download.`);
  } else {
    outputs = message.files;
    const names = outputs.map((file) => file.name).join(', ');
    const time = `in ${message.seconds.toFixed(1)} s`;
    setStatus(outputs.length > 1
      ? `Converted ${time}: ${outputs.length} files (${names}), downloaded as one zip.`
      : `Converted ${time}: ${names}.`);
    $('download').disabled = outputs.length === 0;
    showPicture('result-view', message.relief, 'Relief of the result');
  }
  $('status').focus();
}

// One file as it is; several (tiles, Unreal's size file) as one zip.
function download() {
  if (outputs.length === 0) return;
  let blob;
  let name;
  if (outputs.length === 1) {
    blob = new Blob([outputs[0].bytes], { type: 'application/octet-stream' });
    name = outputs[0].name;
  } else {
    const entries = {};
    for (const file of outputs) entries[file.name] = [file.bytes, { level: 0 }];
    blob = new Blob([fflate.zipSync(entries, { mtime: new Date(1980, 0, 1) })],
      { type: 'application/zip' });
    name = outputName().replace(/\.[^.]*$/, '') + '.zip';
  }
  const link = document.createElement('a');
  link.href = URL.createObjectURL(blob);
  link.download = name;
  document.body.appendChild(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

worker.onmessage = (event) => {
  const message = event.data;
  if (message.type === 'version') {
    if (message.lines[0]) $('version').textContent = message.lines[0].replace(/^Quillorn /, '');
    $('formats').textContent = message.lines.slice(1).join(' ');
  } else if (message.type === 'line') {
    logLine(message.line, message.stream === 'err');
  } else if (message.type === 'progress') {
    $('stage').textContent = `${message.label} ${message.percent}%`;
    $('progress').value = message.percent;
  } else if (message.type === 'done') {
    finished(message);
  } else if (message.type === 'input-relief') {
    showPicture('input-view', message.relief,
      message.relief ? 'Relief of the input' : 'Relief of the input (the map could not be read)');
  } else if (message.type === 'failed') {
    running = false;
    showCommand();
    logLine(`The converter could not run: ${message.reason}`, true);
    setStatus('The converter could not run.');
  }
};

$('form').addEventListener('submit', convert);
$('form').addEventListener('input', showCommand);
$('form').addEventListener('change', showCommand);
$('heights').addEventListener('change', () => {
  $('scale').disabled = $('heights').value !== 'scale';
});
$('map').addEventListener('change', () => pick($('map').files[0]));
$('download').addEventListener('click', download);
const drop = $('drop');
drop.addEventListener('dragover', (event) => { event.preventDefault(); drop.classList.add('over'); });
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', (event) => {
  event.preventDefault();
  drop.classList.remove('over');
  pick(event.dataTransfer.files[0]);
});
worker.postMessage({ type: 'version' });
showCommand();
