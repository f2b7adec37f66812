// The converter's thread: one quillorn module over the one compiled
// WebAssembly, kept from run to run while its runs end as the tool ends
// them, and the map in its in-memory file system. Its memory, and the
// files' buffers it recycles (web/file_storage.js), were touched by the
// last run: a fresh module's pages, each cleared by the system as it is
// first written, took a 4097 x 4097 conversion longer than its sums.
// Lines and progress go to the page as they come.
'use strict';
importScripts('quillorn.js');

let compiled = null;

// The compiled module, fetched from the page's own folder once; compiled
// as it streams in where the server says it is WebAssembly, which also lets
// the browser keep the compiled code for the page's next visit.
function compiledModule() {
  if (!compiled) {
    compiled = fetch('quillorn.wasm').then((response) => {
      if (!response.ok) throw new Error('quillorn.wasm could not be loaded');
      const fallback = response.clone();
      return WebAssembly.compileStreaming(response)
        .catch(() => fallback.arrayBuffer().then((bytes) => WebAssembly.compile(bytes)));
    });
    compiled.catch(() => { compiled = null; });
  }
  return compiled;
}

// Where the running command's lines and stage reports go: to the page,
// or (quiet, the input's relief) nowhere, or to a caller's own hands.
let listener = { line() {}, progress() {} };

function tellPage() {
  return {
    line: (stream, line) => postMessage({ type: 'line', stream, line }),
    progress: (label, percent) => postMessage({ type: 'progress', label, percent }),
  };
}

async function newModule() {
  const wasm = await compiledModule();
  return createQuillorn({
    print: (line) => listener.line('out', line),
    printErr: (line) => listener.line('err', line),
    onStageProgress: (label, percent) => listener.progress(label, percent),
    instantiateWasm: (imports, receive) => {
      WebAssembly.instantiate(wasm, imports).then((instance) => receive(instance));
      return {};
    },
  });
}

// What a kept module may hold on to between runs: past it (a map near the
// page's limit) the memory goes back to the browser with the module.
const kMostKeptMemory = 1024 * 1024 * 1024;

// The worker's module (a promise of it), made ahead while the page waits
// for Convert; null until then, and after a run that ended it.
let kept = null;

function keptModule() {
  if (!kept) {
    kept = newModule();
    // A failure is the next run's to report, and the next run's to retry.
    kept.catch(() => { kept = null; });
  }
  return kept;
}

// The module goes unless the run ended as the tool ends one (its status
// returned) in memory the page can spare: an abort leaves a module that
// runs nothing more.
function afterRun(module, result) {
  if (result.aborted || module.HEAP8.length > kMostKeptMemory) kept = null;
}

// The folders a run works in, emptied of what the last run left: the
// outputs' buffers recycled, the input's handed back already.
function freshFolders(module) {
  for (const folder of ['/work', '/relief']) {
    if (!module.FS.analyzePath(folder).exists) {
      module.FS.mkdir(folder);
      continue;
    }
    removeAll(module, folder);
  }
  module.FS.chdir('/');
}

function removeAll(module, folder) {
  for (const name of module.FS.readdir(folder)) {
    if (name === '.' || name === '..') continue;
    const path = folder + '/' + name;
    const mode = module.FS.lstat(path).mode;
    if (module.FS.isDir(mode)) {
      removeAll(module, path);
      module.FS.rmdir(path);
    } else if (module.FS.isFile(mode)) {
      module.recycleFile(path);
    } else {
      module.FS.unlink(path);
    }
  }
}

// Runs a command line; a module that aborts (out of memory where the tool
// could not say so itself) counts as a failure with its reason.
function run(module, args) {
  try {
    return { status: module.runMain(args) };
  } catch (failure) {
    return { status: -1, aborted: String(failure && failure.message || failure) };
  }
}

// The map into the file system without a copy: the file system keeps the
// array the worker was handed, which the tool only reads.
function writeMap(module, path, bytes) {
  module.FS.writeFile(path, new Uint8Array(bytes), { canOwn: true });
}

// The input into /work as <name>: one file ({ bytes }), or several ({ files })
// in a folder of that name, which the tool reads as the tiles of one map.
function writeInput(module, name, message) {
  if (!message.files) {
    writeMap(module, '/work/' + name, message.bytes);
    return;
  }
  module.FS.mkdir('/work/' + name);
  for (const file of message.files) {
    writeMap(module, '/work/' + name + '/' + file.name, file.bytes);
  }
}

// The map's bytes as a conversion hands them back to the page once its
// module is done with them ({ input, buffers }): the page keeps no copy.
function handedBack(message) {
  const input = message.files ? { files: message.files } : { bytes: message.bytes };
  const buffers = message.files ? message.files.map((file) => file.bytes) : [message.bytes];
  return { input, buffers: buffers.filter((buffer) => buffer && buffer.byteLength > 0) };
}

function readFolder(module, folder, skip) {
  const files = [];
  for (const name of module.FS.readdir(folder)) {
    if (name === '.' || name === '..' || name === skip) continue;
    const path = folder + '/' + name;
    if (module.FS.isFile(module.FS.stat(path).mode)) {
      // As they are: the page moves a resizable buffer to a fixed one once
      // it is free.
      files.push({ name, bytes: module.fileBytes(path, true) });
    }
  }
  return files.sort((a, b) => (a.name < b.name ? -1 : 1));
}

// Formats written front to back, which the null device takes; TIFF
// seeks back, and SRTM tiles are read only: their reliefs go through PNG.
const kStreamedFormats = ['.bmp', '.png', '.pgm', '.raw', '.r16'];

// The reliefs are drawn as bitmaps, in a folder of their own: the browser
// shows a bitmap as it does a PNG, and its rows are written as they are
// shaded, where a PNG's deflate took the module longer than the shading
// and the rest of a 4097 x 4097 conversion together.
const kInputRelief = '/relief/input.bmp';
const kResultRelief = '/relief/result.bmp';

// The relief of the input alone: the map converted to nowhere (a link to
// the null device, named with the input's extension so that its format is
// the input's where it can be), with the input's own reading switches.
async function inputRelief(message) {
  const { name, readingArgs } = message;
  const module = await keptModule();
  freshFolders(module);
  writeInput(module, name, message);
  const dot = name.lastIndexOf('.');
  const extension = dot > 0 && !message.files ? name.slice(dot).toLowerCase() : '';
  const sink = '/work/nowhere' + (kStreamedFormats.includes(extension) ? extension : '.png');
  module.FS.symlink('/dev/null', sink);
  listener = { line() {}, progress() {} };
  const result = run(module, ['/work/' + name, sink, ...readingArgs, '-view', kInputRelief]);
  afterRun(module, result);
  if (result.status !== 0) return null;
  return pictureBlob(module, kInputRelief);
}

// A relief as a blob for the page's picture (made here, where its copy
// into the browser's storage keeps the page's thread free), or null.
function pictureBlob(module, path) {
  try {
    return new Blob([module.fileBytes(path)], { type: 'image/bmp' });
  } catch (missing) {
    return null;
  }
}

// Runs the command line on the map as <path> (a name the tool cannot take
// for a switch) in /work; the files it leaves there are the outputs.
async function convert(message) {
  const { name, path, outputPath, args } = message;
  postMessage({ type: 'stage', label: 'Reading the map…' });
  const module = await keptModule();
  freshFolders(module);
  writeInput(module, name, message);
  module.FS.chdir('/work');
  postMessage({ type: 'stage', label: 'Converting…' });
  listener = tellPage();
  const result = run(module, [path, outputPath, ...args, '-view', kResultRelief]);
  afterRun(module, result);
  const files = result.status === 0 ? readFolder(module, '/work', name) : [];
  // The outputs go to the page as they are, without a copy; the page
  // hands their buffers back once it has made its download of them.
  const { input, buffers } = handedBack(message);
  postMessage({ type: 'done', status: result.status, aborted: result.aborted, files, input },
    files.map((file) => file.bytes.buffer).concat(buffers));
  // The result's relief follows the download: it is not part of it.
  if (result.status === 0) {
    postMessage({ type: 'result-relief', run: message.run, relief: pictureBlob(module, kResultRelief) });
  }
}

// The tool's version lines and the endings its picker accepts, from the
// module's format table.
async function version() {
  const module = await keptModule();
  const lines = [];
  listener = { line: (stream, line) => { if (stream === 'out') lines.push(line); }, progress() {} };
  const result = run(module, ['--version']);
  afterRun(module, result);
  const endings = module.UTF8ToString(module._quillornReadEndings());
  postMessage({ type: 'version', lines, endings });
}

onmessage = async (event) => {
  const message = event.data;
  try {
    if (message.type === 'version') {
      await version();
    } else if (message.type === 'prepare') {
      keptModule().catch(() => {});
    } else if (message.type === 'input-relief') {
      postMessage({ type: 'input-relief', relief: await inputRelief(message) });
    } else if (message.type === 'convert') {
      await convert(message);
    } else if (message.type === 'recycle') {
      const module = await keptModule();
      for (const buffer of message.buffers) module.recycleBuffer(buffer);
    }
  } catch (failure) {
    // Whatever threw may have left the module half way: the next run
    // gets a fresh one.
    kept = null;
    const reason = String(failure && failure.message || failure);
    if (message.type !== 'convert') {
      postMessage({ type: 'failed', of: message.type, reason });
      return;
    }
    const { input, buffers } = handedBack(message);
    postMessage({ type: 'failed', of: message.type, reason, input }, buffers);
  }
};
