// The maps the page's tests convert: the Puget Sound and Vulkan terrain
// maps of the test data where it is ($QUILLORN_TESTDATA/heightmaps first,
// then the folder CMake passes, ../shared/testdata/heightmaps by default),
// otherwise maps of the same kinds and sizes made here by make_heightmap
// (built beside the native quillorn) and the native quillorn itself.
'use strict';
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');

// Each map the tests use: its name in the test data, and how one of the
// same kind is made (a bitmap by make_heightmap, or the native quillorn's
// conversion of a made bitmap).
const kMaps = {
  rg24: { real: 'puget_sound_1025_rg24.bmp', made: 'terrain_1025_rg24.bmp',
    heightmap: ['1025', '1025', '--seed', '7'] },
  gray8: { real: 'puget_sound_1025_gray8.bmp', made: 'terrain_1025_gray8.bmp',
    heightmap: ['1025', '1025', '--8bit', '--kind', 'grey', '--seed', '7'] },
  png16: { real: 'puget_sound_1025_16bit.png', made: 'terrain_1025_16bit.png', from: 'rg24' },
  other: { real: 'vulkan_terrain_1024_rg24.bmp', made: 'terrain_1024_rg24.bmp',
    heightmap: ['1024', '1024', '--seed', '11'] },
};

// A failure of the tests' own set-up, told in one line.
class SetupError extends Error {}

// The folder of real maps to look in, and where the choice came from.
function realFolder(given) {
  const testdata = process.env.QUILLORN_TESTDATA;
  if (testdata) return { folder: path.resolve(testdata, 'heightmaps'), from: '$QUILLORN_TESTDATA' };
  return { folder: given, from: 'the folder CMake gave (QUILLORN_WEB_TEST_MAPS)' };
}

// The maps by kind ({ rg24, gray8, png16, other: absolute paths }), and
// one line saying which they are; made in <work>/maps when the real ones
// are not all there.
function testMaps(given, nativeTool, work) {
  const { folder, from } = realFolder(given);
  const real = Object.fromEntries(Object.entries(kMaps).map(([kind, map]) => [kind, path.join(folder, map.real)]));
  if (Object.values(real).every((file) => fs.existsSync(file))) {
    return { maps: real, told: `the test data's maps, from ${folder} (${from})` };
  }
  const maker = path.join(path.dirname(nativeTool), 'make_heightmap');
  if (!fs.existsSync(maker)) {
    throw new SetupError(`no test maps in ${folder} (${from}) and no ${maker} to make them with ` +
      '(cmake --build build/release --target make_heightmap)');
  }
  const madeFolder = path.join(work, 'maps');
  fs.mkdirSync(madeFolder, { recursive: true });
  const made = {};
  for (const [kind, map] of Object.entries(kMaps)) {
    made[kind] = path.join(madeFolder, map.made);
    if (map.heightmap) execFileSync(maker, [made[kind], ...map.heightmap], { stdio: ['ignore', 'ignore', 'pipe'] });
  }
  for (const [kind, map] of Object.entries(kMaps)) {
    if (map.from) execFileSync(nativeTool, [made[map.from], made[kind]], { stdio: ['ignore', 'ignore', 'pipe'] });
  }
  return { maps: made, told: `maps made by make_heightmap in ${madeFolder}, as ${folder} (${from}) has not all of ` +
    Object.values(kMaps).map((map) => map.real).join(', ') };
}

// The one line to print for a failure: its message, never a stack or the
// source line it was thrown from (a minified module's is one huge line).
function reason(failure) {
  if (failure && failure.stderr && failure.stderr.length) {
    return `${failure.message.split('\n')[0]}: ${failure.stderr.toString().trim().split('\n').pop()}`;
  }
  return String(failure && failure.message || failure).split('\n')[0];
}

// How a failure ends the test, and the line it prints: a missing map or
// tool skips it (77, which CTest reports as skipped) except under CI,
// where all must be there; anything else fails it.
function setupStatus(failure) {
  if (!(failure instanceof SetupError)) return { code: 1, line: `FAIL ${reason(failure)}` };
  const ci = /^(1|true|yes|on)$/i.test(process.env.CI || '');
  return { code: ci ? 1 : 77, line: `${ci ? 'FAIL' : 'skipped:'} ${reason(failure)}` };
}

module.exports = { testMaps, reason, setupStatus };
