// The WebAssembly build under node: each command line converts a map to
// the same bytes as the native build's, and prints the same lines.
//
//   node --no-experimental-fetch smoke_test.cjs <quillorn.js> <native quillorn> <map folder> <work folder>
//
// The maps: see test_maps.cjs.
'use strict';
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const { zipSync } = require('fflate');
const { testMaps, reason, setupStatus } = require('./test_maps.cjs');

const [moduleFile, nativeTool, mapFolder, work] = process.argv.slice(2).map((p) => path.resolve(p));

// Input (a kind of map, test_maps.cjs), output name and switches; every
// file the run writes is compared.
const cases = [
  ['rg24', 'out.png', []],
  ['png16', 'out.r16', ['-fit', 'unreal', '-view', 'view.png']],
  ['png16', 'out.tif', ['-sca', '0', '-smo', '3', '-min', '7']],
  ['other', 'out.bmp', ['-size', '701x501', '-rotate', '90', '-tiles', '2x2']],
  ['png16', 'out.raw', ['-fit', 'unreal', '-flip', 'vertical']],
  ['gray8', 'out.pgm', ['-fit', 'godot', '-tiles', '2x1']],
  ['png16', 'out.exr', ['-fit', 'godot']],
  ['png16', 'out.png', ['-fit', 'bogus']],
  // The smoothing kernels' paths: both bases, widths that are no multiple
  // of a vector's lanes, bands cut short by the image's last row, and a
  // grey map whose white top wraps to 0.
  ['random', 'out.bmp', ['-smo', '3']],
  ['random', 'out.r16', ['-smo', '3']],
  ['grey', 'out.bmp', ['-smo', '2']],
  ['whiteLeft', 'out.bmp', ['-smo', '2']],
  ['rg24', 'out.bmp', ['-smo', '4']],
  // The relief's kernel, sixteen pixels a step, and the heights' pair rows
  // on a width that is no multiple of sixteen, in base 255.
  ['random', 'out.r16', ['-view', 'view.bmp']],
  // An SRTM tile as downloaded, read from its zip (where the build has
  // minizip, as both builds here do; else refused alike), placed by name.
  ['zippedTile', 'out.tif', ['-fit', 'unity']],
];

// Maps of odd shapes for the smoothing kernels, made by make_heightmap
// beside the native quillorn.
const kKernelMaps = {
  random: ['1001', '77', '--kind', 'random', '--seed', '3'],
  grey: ['509', '61', '--kind', 'grey', '--seed', '5'],
};

// A 24-bit bitmap whose left half is white (65280, every corner there with
// white neighbours, so that the first mean wraps to 0) and whose right half
// is random bytes.
function whiteLeftBitmap(file, width, height) {
  const stride = Math.ceil((width * 3) / 4) * 4;
  const bytes = Buffer.alloc(54 + stride * height);
  bytes.write('BM', 0, 'latin1');
  bytes.writeUInt32LE(bytes.length, 2);
  bytes.writeUInt32LE(54, 10);
  bytes.writeUInt32LE(40, 14);
  bytes.writeInt32LE(width, 18);
  bytes.writeInt32LE(height, 22);
  bytes.writeUInt16LE(1, 26);
  bytes.writeUInt16LE(24, 28);
  bytes.writeUInt32LE(stride * height, 34);
  let seed = 12345;
  for (let row = 0; row < height; row++) {
    for (let column = 0; column < width * 3; column++) {
      seed = (seed * 1103515245 + 12345) >>> 0;
      bytes[54 + row * stride + column] = column < (width >> 1) * 3 ? 255 : seed >>> 24;
    }
  }
  fs.writeFileSync(file, bytes);
  return file;
}

// An SRTM tile as it is downloaded: one .hgt of big-endian signed metres
// (negative ones among them), deflated in a zip named as NASA's are.
function zippedTile(file) {
  const side = 1201;
  const heights = Buffer.alloc(side * side * 2);
  for (let i = 0; i < side * side; i++) heights.writeInt16BE(((i * 7919) % 4001) - 500, 2 * i);
  fs.writeFileSync(file, zipSync({ 'N47W122.hgt': heights }));
  return file;
}

function kernelMaps(folder) {
  const maker = path.join(path.dirname(nativeTool), 'make_heightmap');
  fs.mkdirSync(folder, { recursive: true });
  const made = {};
  for (const [kind, args] of Object.entries(kKernelMaps)) {
    made[kind] = path.join(folder, `${kind}_${args[0]}x${args[1]}.bmp`);
    execFileSync(maker, [made[kind], ...args], { stdio: ['ignore', 'ignore', 'pipe'] });
  }
  made.whiteLeft = whiteLeftBitmap(path.join(folder, 'white_left_203x50.bmp'), 203, 50);
  made.zippedTile = zippedTile(path.join(folder, 'N47W122.SRTMGL1.hgt.zip'));
  return made;
}

// The lines a run prints and the files it leaves, natively.
function runNative(input, output, switches, folder) {
  fs.rmSync(folder, { recursive: true, force: true });
  fs.mkdirSync(folder, { recursive: true });
  let status = 0;
  let stdout;
  try {
    stdout = execFileSync(nativeTool, [input, output, ...switches],
      { cwd: folder, stdio: ['ignore', 'pipe', 'pipe'] }).toString();
  } catch (failure) {
    status = failure.status;
    stdout = failure.stdout.toString();
  }
  const files = {};
  for (const name of fs.readdirSync(folder)) {
    files[name] = fs.readFileSync(path.join(folder, name));
  }
  return { status: status === 255 ? -1 : status, lines: stdout.split('\n').filter((l) => l), files };
}

// The same in a fresh module, in its in-memory file system.
async function runWeb(createQuillorn, input, output, switches) {
  const lines = [];
  const module = await createQuillorn({ print: (line) => lines.push(line), printErr: () => {} });
  module.FS.mkdir('/maps');
  module.FS.mkdir('/out');
  module.FS.writeFile('/maps/' + path.basename(input), fs.readFileSync(input));
  module.FS.chdir('/out');
  const status = module.callMain(['/maps/' + path.basename(input), output, ...switches]);
  const files = {};
  for (const name of module.FS.readdir('/out')) {
    if (name !== '.' && name !== '..') files[name] = Buffer.from(module.FS.readFile('/out/' + name));
  }
  return { status, lines, files };
}

async function main() {
  const { maps: testData, told } = testMaps(mapFolder, nativeTool, work);
  console.log(`     ${told}`);
  const maps = { ...testData, ...kernelMaps(path.join(work, 'kernel_maps')) };
  const createQuillorn = require(moduleFile);
  let failures = 0;
  for (const [kind, output, switches] of cases) {
    const input = maps[kind];
    const label = `${path.basename(input)} -> ${output} ${switches.join(' ')}`;
    const native = runNative(input, output, switches, path.join(work, 'native'));
    const web = await runWeb(createQuillorn, input, output, switches);
    const problems = [];
    if (web.status !== native.status) problems.push(`status ${web.status}, natively ${native.status}`);
    if (web.lines.join('\n') !== native.lines.join('\n')) {
      problems.push(`lines differ:\n${web.lines.join('\n')}\n-- natively --\n${native.lines.join('\n')}`);
    }
    const names = Object.keys(native.files).sort();
    if (Object.keys(web.files).sort().join() !== names.join()) {
      problems.push(`files ${Object.keys(web.files).sort()}, natively ${names}`);
    }
    for (const name of names) {
      if (web.files[name] && !web.files[name].equals(native.files[name])) problems.push(`${name} differs`);
    }
    if (native.status === 0 && names.length === 0) problems.push('the native run wrote nothing');
    console.log(`${problems.length ? 'FAIL' : 'ok  '} ${label} (${names.length} files)`);
    for (const problem of problems) console.log('     ' + problem);
    failures += problems.length ? 1 : 0;
  }
  return failures ? 1 : 0;
}

// A failure is told by its message alone: the module's own handlers would
// otherwise print the line it was rethrown from, the whole minified module.
main().then((code) => process.exit(code), (failure) => {
  const { code, line } = setupStatus(failure);
  console.log(line);
  process.exit(code);
});
