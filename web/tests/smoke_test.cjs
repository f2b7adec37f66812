// The WebAssembly build under node: each command line converts a map to
// the same bytes as the native build's, and prints the same lines.
//
//   node --no-experimental-fetch smoke_test.cjs <quillorn.js> <native quillorn> <map folder> <work folder>
'use strict';
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');

const [moduleFile, nativeTool, maps, work] = process.argv.slice(2).map((p) => path.resolve(p));
const createQuillorn = require(moduleFile);

// Input, output name and switches; every file the run writes is compared.
const cases = [
  ['puget_sound_1025_rg24.bmp', 'out.png', []],
  ['puget_sound_1025_16bit.png', 'out.r16', ['-fit', 'unreal', '-view', 'view.png']],
  ['puget_sound_1025_16bit.png', 'out.tif', ['-sca', '0', '-smo', '3', '-min', '7']],
  ['vulkan_terrain_1024_rg24.bmp', 'out.bmp', ['-size', '701x501', '-rotate', '90', '-tiles', '2x2']],
  ['puget_sound_1025_16bit.png', 'out.raw', ['-fit', 'unreal', '-flip', 'vertical']],
  ['puget_sound_1025_gray8.bmp', 'out.pgm', ['-fit', 'godot', '-tiles', '2x1']],
  ['puget_sound_1025_16bit.png', 'out.png', ['-fit', 'bogus']],
];

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
async function runWeb(input, output, switches) {
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

(async () => {
  let failures = 0;
  for (const [map, output, switches] of cases) {
    const input = path.join(maps, map);
    const label = `${map} -> ${output} ${switches.join(' ')}`;
    const native = runNative(input, output, switches, path.join(work, 'native'));
    const web = await runWeb(input, output, switches);
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
  process.exit(failures ? 1 : 0);
})();
