// The browser build's smoothing under node: the processor time of the smoothing stage
// of -smo <passes> on a map, from its first progress report to the next
// stage's (best of five), and of the whole run, for comparing builds of
// the module (plain C++, WebAssembly SIMD). A map whose heights stop
// changing ends smoothing early: random heights (make_heightmap --kind
// random) keep every pass busy.
//
//   node --no-experimental-fetch bench/web_smoothing.cjs <quillorn.js> <map> [<passes>]
'use strict';
const fs = require('fs');
const path = require('path');

const [moduleFile, map, passes = '20'] = process.argv.slice(2);
const createQuillorn = require(path.resolve(moduleFile));
const bytes = fs.readFileSync(map);

// Processor time of this process, in seconds: on a machine others share,
// far steadier than the clock on the wall.
const now = () => {
  const used = process.cpuUsage();
  return (used.user + used.system) / 1e6;
};

// Seconds of the smoothing stage and of the whole run, in a fresh module.
async function seconds() {
  let smoothingFrom = 0;
  let smoothingTo = 0;
  const module = await createQuillorn({
    print: () => {}, printErr: () => {},
    onStageProgress: (label) => {
      if (label.startsWith('Smoothing')) {
        if (!smoothingFrom) smoothingFrom = now();
      } else if (smoothingFrom && !smoothingTo) {
        smoothingTo = now();
      }
    },
  });
  module.FS.writeFile('/map' + path.extname(map), bytes);
  const started = now();
  const status = module.callMain(['/map' + path.extname(map), '/out.r16', '-smo', passes]);
  const ended = now();
  if (status !== 0) throw new Error(`the run failed (${status})`);
  return { smoothing: (smoothingTo || ended) - smoothingFrom, run: ended - started };
}

(async () => {
  let smoothing = Infinity;
  let run = Infinity;
  for (let round = 0; round < 5; round++) {
    const times = await seconds();
    smoothing = Math.min(smoothing, times.smoothing);
    run = Math.min(run, times.run);
  }
  console.log(`${path.basename(map)} -smo ${passes}: smoothing ${smoothing.toFixed(3)} s, ` +
    `the run ${run.toFixed(3)} s (best of 5)`);
})();
