// The converter's thread: each run gets a fresh quillorn module (its own
// memory, freed with it) over the one compiled WebAssembly, and the map in
// its in-memory file system. Lines and progress go to the page as they come.
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

// A module whose output lines (or none, when quiet) and stage reports are
// posted to the page.
async function newModule(quiet) {
  const wasm = await compiledModule();
  return createQuillorn({
    print: (line) => { if (!quiet) postMessage({ type: 'line', stream: 'out', line }); },
    printErr: (line) => { if (!quiet) postMessage({ type: 'line', stream: 'err', line }); },
    onStageProgress: (label, percent) => {
      if (!quiet) postMessage({ type: 'progress', label, percent });
    },
    instantiateWasm: (imports, receive) => {
      WebAssembly.instantiate(wasm, imports).then((instance) => receive(instance));
      return {};
    },
  });
}

// The module for the next run, instantiated while the page waits for
// Convert rather than after it: { quiet, ready }.
let spare = null;

// A fresh module: the one made ahead where it has the wanted voice, and
// the next one started once this one is handed out.
function startModule(quiet) {
  const ready = spare && spare.quiet === quiet ? spare.ready : newModule(quiet);
  spare = null;
  return ready;
}

// Makes the next run's module now, while nothing runs.
function prepareModule(quiet) {
  if (spare) return;
  const ready = newModule(quiet);
  // A failure is the next run's to report.
  ready.catch(() => {});
  spare = { quiet, ready };
}

// Runs a command line; a module that aborts (out of memory where the tool
// could not say so itself) counts as a failure with its reason.
function run(module, args) {
  try {
    return { status: module.callMain(args) };
  } catch (failure) {
    return { status: -1, aborted: String(failure && failure.message || failure) };
  }
}

// A file's bytes as the in-memory file system holds them, its used part
// and not a copy (web/file_storage.js): the module is dropped after the
// run, and the bytes go to the page as they are.
function fileBytes(module, path) {
  return module.fileBytes(path);
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
      files.push({ name, bytes: fileBytes(module, path) });
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
  const module = await startModule(true);
  module.FS.mkdir('/work');
  module.FS.mkdir('/relief');
  writeInput(module, name, message);
  const dot = name.lastIndexOf('.');
  const extension = dot > 0 && !message.files ? name.slice(dot).toLowerCase() : '';
  const sink = '/work/nowhere' + (kStreamedFormats.includes(extension) ? extension : '.png');
  module.FS.symlink('/dev/null', sink);
  const result = run(module, ['/work/' + name, sink, ...readingArgs, '-view', kInputRelief]);
  if (result.status !== 0) return null;
  return pictureBlob(module, kInputRelief);
}

// A relief as a blob for the page's picture (made here, where its copy
// into the browser's storage keeps the page's thread free), or null.
function pictureBlob(module, path) {
  try {
    return new Blob([fileBytes(module, path)], { type: 'image/bmp' });
  } catch (missing) {
    return null;
  }
}

// Runs the command line on the map as <path> (a name the tool cannot take
// for a switch) in /work; the files it leaves there are the outputs.
async function convert(message) {
  const { name, path, outputPath, args } = message;
  postMessage({ type: 'stage', label: 'Reading the map…' });
  const module = await startModule(false);
  module.FS.mkdir('/work');
  module.FS.mkdir('/relief');
  writeInput(module, name, message);
  module.FS.chdir('/work');
  postMessage({ type: 'stage', label: 'Converting…' });
  const result = run(module, [path, outputPath, ...args, '-view', kResultRelief]);
  const files = result.status === 0 ? readFolder(module, '/work', name) : [];
  // One output goes to the page as the blob it downloads; several as their
  // bytes, which the page zips.
  if (files.length === 1) {
    files[0] = { name: files[0].name, blob: new Blob([files[0].bytes], { type: 'application/octet-stream' }) };
  }
  const { input, buffers } = handedBack(message);
  postMessage({ type: 'done', status: result.status, aborted: result.aborted, files, input },
    files.filter((file) => file.bytes).map((file) => file.bytes.buffer).concat(buffers));
  // The result's relief follows the download: it is not part of it.
  if (result.status === 0) {
    postMessage({ type: 'result-relief', run: message.run, relief: pictureBlob(module, kResultRelief) });
  }
}

onmessage = async (event) => {
  const message = event.data;
  try {
    if (message.type === 'version') {
      const lines = [];
      const module = await createQuillorn({
        print: (line) => lines.push(line), printErr: () => {},
        instantiateWasm: (imports, receive) => {
          compiledModule().then((wasm) => WebAssembly.instantiate(wasm, imports))
            .then((instance) => receive(instance));
          return {};
        },
      });
      module.callMain(['--version']);
      // The endings the picker accepts, from the module's format table.
      const endings = module.UTF8ToString(module._quillornReadEndings());
      postMessage({ type: 'version', lines, endings });
      prepareModule(false);
    } else if (message.type === 'prepare') {
      prepareModule(message.quiet);
    } else if (message.type === 'input-relief') {
      postMessage({ type: 'input-relief', relief: await inputRelief(message) });
      prepareModule(true);
    } else if (message.type === 'convert') {
      await convert(message);
      prepareModule(false);
    }
  } catch (failure) {
    const reason = String(failure && failure.message || failure);
    if (message.type !== 'convert') {
      postMessage({ type: 'failed', of: message.type, reason });
      return;
    }
    const { input, buffers } = handedBack(message);
    postMessage({ type: 'failed', of: message.type, reason, input }, buffers);
  }
};
