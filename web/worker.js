// The converter's thread: each run gets a fresh quillorn module (its own
// memory, freed with it) over the one compiled WebAssembly, and the map in
// its in-memory file system. Lines and progress go to the page as they come.
'use strict';
importScripts('quillorn.js');

let compiled = null;

// The compiled module, fetched from the page's own folder once.
async function compiledModule() {
  if (!compiled) {
    const response = await fetch('quillorn.wasm');
    if (!response.ok) throw new Error('quillorn.wasm could not be loaded');
    compiled = await WebAssembly.compile(await response.arrayBuffer());
  }
  return compiled;
}

// A module whose output lines (or none, when quiet) and stage reports are
// posted to the page.
async function startModule(quiet) {
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
// and not a copy: the module is dropped after the run, and the bytes go to
// the page as they are.
function fileBytes(module, path) {
  const node = module.FS.lookupPath(path).node;
  if (node.contents && node.contents.subarray) return node.contents.subarray(0, node.usedBytes);
  return module.FS.readFile(path);
}

// The map into the file system without a copy: the file system keeps the
// array the worker was handed, which nothing else uses.
function writeMap(module, path, bytes) {
  module.FS.writeFile(path, bytes, { canOwn: true });
}

// The input into /work as <name>: one file ({ bytes }), or several ({ files })
// in a folder of that name, which the tool reads as the tiles of one map.
function writeInput(module, name, message) {
  if (!message.files) {
    writeMap(module, '/work/' + name, new Uint8Array(message.bytes));
    return;
  }
  module.FS.mkdir('/work/' + name);
  for (const file of message.files) {
    writeMap(module, '/work/' + name + '/' + file.name, new Uint8Array(file.bytes));
  }
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
  try {
    return fileBytes(module, kInputRelief);
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
  let relief = null;
  if (result.status === 0) {
    try { relief = fileBytes(module, kResultRelief); } catch (missing) { relief = null; }
  }
  postMessage({ type: 'done', status: result.status, aborted: result.aborted, files, relief },
    files.map((file) => file.bytes.buffer).concat(relief ? [relief.buffer] : []));
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
    } else if (message.type === 'input-relief') {
      const relief = await inputRelief(message);
      postMessage({ type: 'input-relief', relief }, relief ? [relief.buffer] : []);
    } else if (message.type === 'convert') {
      await convert(message);
    }
  } catch (failure) {
    postMessage({ type: 'failed', of: message.type, reason: String(failure && failure.message || failure) });
  }
};
