// The browser build against the native one on the same maps and switches,
// side by side in one run: each case's wall time natively (the whole
// process) and in the module under node, with the module's time split into
// the copy of the map into its file system, its stages (from each stage's
// first progress report to the next one's) and the copy of the outputs out
// again, as the page's worker does them. Medians of <rounds> runs, the
// native and the module runs interleaved.
//
//   node --no-experimental-fetch bench/web_native.cjs <quillorn.js> <native quillorn>
//        <make_heightmap> <work folder> [<size> [<rounds>]]
//
// The maps (made once in the work folder): generated terrain and random
// bytes as bitmaps, and the terrain as a 16-bit PNG.
'use strict';
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');

const [moduleFile, nativeTool, makeHeightmap, work, sizeArg = '4097', roundsArg = '3'] =
  process.argv.slice(2);
const createQuillorn = require(path.resolve(moduleFile));
const size = Number(sizeArg);
const rounds = Number(roundsArg);
fs.mkdirSync(work, { recursive: true });

function makeMaps() {
  const maps = [];
  for (const kind of ['terrain', 'random']) {
    const file = path.join(work, `${kind}_${size}.bmp`);
    if (!fs.existsSync(file)) {
      execFileSync(makeHeightmap, [file, String(size), String(size), '--kind', kind]);
    }
    maps.push({ label: `${kind} BMP`, file });
  }
  const png = path.join(work, `terrain_${size}.png`);
  if (!fs.existsSync(png)) execFileSync(nativeTool, [maps[0].file, png]);
  maps.push({ label: 'terrain PNG', file: png });
  return maps;
}

// The cases: output and switches after the input.
const kCases = [
  { label: 'to .r16', output: 'out.r16', args: [] },
  { label: 'to .r16 -smo 4', output: 'out.r16', args: ['-smo', '4'] },
  { label: 'to .bmp -smo 4', output: 'out.bmp', args: ['-smo', '4'] },
  { label: 'to .r16 -smo 2 -view .png', output: 'out.r16', args: ['-smo', '2', '-view', 'relief.png'] },
  // The page's: its reliefs are bitmaps.
  { label: 'to .r16 -smo 2 -view .bmp', output: 'out.r16', args: ['-smo', '2', '-view', 'relief.bmp'] },
  // The input's relief as the page's worker draws it: the map converted to
  // the null device, the relief beside.
  { label: 'the input\'s relief', sink: true, args: ['-view', 'relief.bmp'] },
];

// A switch's argument that names a relief picture.
const isPicture = (arg) => /^relief\.(png|bmp)$/.test(arg);

// A case's output for a map: the null device, named as the input, for the
// input's relief.
function outputOf(map, c, folder, link) {
  if (!c.sink) return c.output;
  const name = 'nowhere' + path.extname(map.file);
  try { link(path.join(folder, name)); } catch (exists) { /* made before */ }
  return name;
}

function nativeSeconds(map, c) {
  const folder = path.join(work, 'native');
  fs.mkdirSync(folder, { recursive: true });
  const output = outputOf(map, c, folder, (at) => fs.symlinkSync('/dev/null', at));
  const args = [map.file, path.join(folder, output),
    ...c.args.map((a) => (isPicture(a) ? path.join(folder, a) : a))];
  const started = process.hrtime.bigint();
  execFileSync(nativeTool, args, { stdio: 'ignore' });
  return Number(process.hrtime.bigint() - started) / 1e9;
}

const clock = () => Number(process.hrtime.bigint()) / 1e9;

// A file's bytes as the worker takes them (web/worker.js): the file
// system's own array, its used part (web/file_storage.js).
function fileBytes(module, at) {
  return module.fileBytes(at);
}

// One run in a fresh module: the seconds of each part, and the outputs.
async function moduleSeconds(map, c, bytes) {
  const parts = {};
  let stage = null;
  let stageFrom = 0;
  const endStage = (at) => {
    if (stage) parts[stage] = (parts[stage] || 0) + at - stageFrom;
  };
  const module = await createQuillorn({
    print: () => {}, printErr: () => {},
    onStageProgress: (label) => {
      const name = label.replace(/ x\d+$/, '');
      if (name === stage) return;
      const at = clock();
      endStage(at);
      stage = name;
      stageFrom = at;
    },
  });
  const input = '/work/map' + path.extname(map.file);
  const started = clock();
  module.FS.mkdir('/work');
  module.FS.writeFile(input, bytes, { canOwn: true });
  module.FS.chdir('/work');
  const output = outputOf(map, c, '/work', (at) => module.FS.symlink('/dev/null', at));
  const ran = clock();
  parts['copy in'] = ran - started;
  const status = module.callMain([input, output, ...c.args]);
  const ended = clock();
  endStage(ended);
  if (status !== 0) throw new Error(`${map.label} ${c.label}: the module failed (${status})`);
  const outputs = [...(c.sink ? [] : [c.output]), ...c.args.filter(isPicture)]
    .map((name) => fileBytes(module, '/work/' + name));
  parts['copy out'] = clock() - ended;
  parts.run = ended - ran;
  parts.total = clock() - started;
  return { parts, outputs };
}

const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
};

(async () => {
  const rows = [];
  for (const map of makeMaps()) {
    const bytes = fs.readFileSync(map.file);
    for (const c of kCases) {
      const native = [];
      const web = [];
      for (let round = 0; round < rounds; round++) {
        native.push(nativeSeconds(map, c));
        const { parts, outputs } = await moduleSeconds(map, c, new Uint8Array(bytes));
        web.push(parts);
        if (round === 0) {
          const expected = fs.readFileSync(path.join(work, 'native', c.sink ? c.args.find(isPicture) : c.output));
          if (!Buffer.from(outputs[0]).equals(expected)) {
            throw new Error(`${map.label} ${c.label}: the module's output differs from the native one`);
          }
        }
      }
      const names = [...new Set(web.flatMap((parts) => Object.keys(parts)))];
      const parts = {};
      for (const name of names) parts[name] = median(web.map((p) => p[name] || 0));
      rows.push({ map: map.label, case: c.label, native: median(native), parts });
    }
  }
  console.log(`${size} x ${size}, wall time, medians of ${rounds} (module under node ${process.version})`);
  console.log('| map | case | native | module | ratio | the module\'s parts |');
  console.log('|---|---|---|---|---|---|');
  for (const row of rows) {
    const { total, run, ...rest } = row.parts;
    const split = Object.entries(rest).filter(([, s]) => s >= 0.005)
      .map(([name, s]) => `${name} ${s.toFixed(2)}`).join(', ');
    console.log(`| ${row.map} | ${row.case} | ${row.native.toFixed(2)} s | ${total.toFixed(2)} s | ` +
      `${(total / row.native).toFixed(2)} | ${split} |`);
  }
})().catch((failure) => {
  console.error(String(failure && failure.stack || failure));
  process.exit(1);
});
