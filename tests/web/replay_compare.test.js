// The browser build is the same toy: its Node replay (build-web/tavlomi-replay.js) and the
// desktop's tavlomi-replay get the same clips, events and arguments, and must give the same exit
// status, the same standard output and error, and the same screens, byte for byte. The clips
// carry motion and camera noise; the scripts go through every effect and mode, the overlay and
// the help, drags inside and outside the grid, on odd and tiny sizes.
'use strict';

const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { test } = require('node:test');
const { webBuild, nativeReplay, scratchFolder, numbers, rawClip, run } = require('./support');

const webReplay = path.join(webBuild, 'tavlomi-replay.js');
const work = scratchFolder();

// A dim texture with a bright square gliding over it; every seventh frame carries camera noise.
function movingSquare(width, height, seed) {
  const next = numbers(seed);
  const texture = Array.from({ length: width * height * 3 }, () => next(110));
  const side = Math.max(2, Math.floor(Math.min(width, height) / 5));
  return (frame, x, y) => {
    const left = (frame * 3) % Math.max(1, width - side);
    const top = (frame * 2) % Math.max(1, height - side);
    if (x >= left && x < left + side && y >= top && y < top + side) return [250, 235, 220];
    const at = (y * width + x) * 3;
    const noise = frame % 7 === 3 ? ((x * 31 + y * 17 + frame) % 41) - 20 : 0;
    return [0, 1, 2].map((c) => Math.min(255, Math.max(0, texture[at + c] + noise)));
  };
}

let caseNumber = 0;

// Runs both replays with args in which CLIP, EVENTS and SCREENS stand for files of this case.
function compare(args, { clip = null, events = '' } = {}) {
  const folder = path.join(work, String(++caseNumber));
  fs.mkdirSync(folder);
  const files = { CLIP: path.join(folder, 'clip.raw'), EVENTS: path.join(folder, 'events.txt') };
  if (clip) fs.writeFileSync(files.CLIP, clip);
  fs.writeFileSync(files.EVENTS, events);
  const results = {};
  for (const [name, command, prefix] of [['desktop', nativeReplay, []],
                                         ['web', process.execPath, [webReplay]]]) {
    const SCREENS = path.join(folder, name + '.screens');
    const named = { ...files, SCREENS };
    results[name] = run(command, [...prefix, ...args.map((arg) => named[arg] ?? arg)]);
    results[name].screens = fs.existsSync(SCREENS) ? fs.readFileSync(SCREENS) : null;
  }
  const { desktop, web } = results;
  assert.equal(web.status, desktop.status, 'exit status; desktop said: ' + desktop.stderr);
  assert.equal(web.stdout, desktop.stdout);
  assert.equal(web.stderr, desktop.stderr);
  assert.equal(web.screens?.length, desktop.screens?.length, 'length of the screens');
  const differs = desktop.screens?.findIndex((byte, i) => byte !== web.screens[i]) ?? -1;
  const [, width, height] = args.slice(args.indexOf('--size')).map(Number);
  assert.equal(differs, -1, `screens differ first in frame ${Math.floor(differs / 4 / width /
                                                                      height)}`);
  return desktop;
}

function replay(width, height, frames, { clipFrames = frames, seed = 1, events = '', overlay }) {
  const clip = rawClip(width, height, clipFrames, movingSquare(width, height, seed));
  const args = ['--size', String(width), String(height), '--frames', String(frames),
                '--input', 'CLIP', '--events', 'EVENTS', '--screens', 'SCREENS'];
  return compare(overlay ? [...args, '--overlay'] : args, { clip, events });
}

// One event a line: [frame, 'key', code] or [frame, 'down' | 'up' | 'move', x, y].
const script = (lines) => lines.map((line) => line.join(' ') + '\n').join('');
const drag = (frame, points) => [[frame, 'down', ...points[0]],
  ...points.slice(1).map((point, i) => [frame + 1 + i, 'move', ...point]),
  [frame + points.length, 'up', ...points[points.length - 1]]];

const kF1 = 282, kF11 = 292, kF12 = 293, kSpace = 32, kF = 102, kPlus = 270, kMinus = 269;
const kFireOnMotion = '< Fire responding to Movement >';
const everyMode = script([
  [0, 'key', kF1], [4, 'key', 61], [5, 'key', kPlus], [6, 'key', 45], [7, 'key', kMinus],
  [10, 'key', kF1],
  [14, 'key', 50], ...drag(15, [[20, 20], [26, 22], [33, 30], [40, 31], [47, 40]]),
  [30, 'key', kF], [38, 'key', kF], [40, 'key', kSpace], [60, 'key', kF], [66, 'key', kF1],
  [70, 'key', kF], [72, 'key', kF1],
  [80, 'key', 51], ...drag(82, [[80, 50], [60, 30], [10, 10]]), [95, 'key', kSpace],
  [110, 'key', kF], [125, 'key', kSpace], [135, 'key', kF], [140, 'key', kF1],
  [146, 'key', kF1], [150, 'key', 49], [151, 'key', kSpace], [152, 'key', kF],
  [153, 'key', 52], [154, 'key', 97], [155, 'key', kF11], [156, 'key', kF12],
  ...drag(160, [[65535, 65535], [0, 0], [5, 5]]), [170, 'key', 50], [171, 'key', kSpace],
  ...drag(175, [[60, 40], [61, 41]]), [190, 'key', 51], [200, 'key', 61], [200, 'key', 61],
]);

// [what, width, height, frames, options]; stdout, when given, is a line the run must print, so
// that the script is known to reach the last effect and mode it means to compare.
const tinyScript = script([[0, 'key', kF1], [2, 'key', 50], ...drag(3, [[0, 0], [2, 1]]),
  [8, 'key', kSpace], [12, 'key', 51], [14, 'key', kSpace], [18, 'key', kF], [20, 'key', 49],
  [22, 'key', kF1]]);
const runs = [
  ['every effect and mode with the overlay and the help, on an odd size', 97, 61, 230,
   { events: everyMode, overlay: true, stdout: kFireOnMotion }],
  ['every effect and mode without the overlay, the clip shorter than the run', 320, 240, 230,
   { clipFrames: 50, seed: 7, events: everyMode, stdout: kFireOnMotion }],
  ...[[1, 1], [3, 2], [9, 31], [41, 7]].map(([width, height]) => [
    `a tiny or narrow grid, ${width} x ${height}`, width, height, 30,
    { seed: width, events: tinyScript, overlay: true, stdout: kFireOnMotion }]),
  ['quit by event part way through', 64, 48, 30,
   { events: script([[3, 'key', 50], [12, 'quit']]) }],
  ['Escape part way through', 64, 48, 30,
   { events: script([[5, 'key', 27], [5, 'key', 51]]), overlay: true }],
];
for (const [what, width, height, frames, options] of runs) {
  test(what, () => {
    const desktop = replay(width, height, frames, options);
    assert.equal(desktop.status, 0, desktop.stderr);
    if (options.stdout) assert.ok(desktop.stdout.includes(options.stdout + '\n'));
  });
}

test('bad command lines and inputs', () => {
  const clip = rawClip(8, 6, 2, movingSquare(8, 6, 3));
  const good = ['--size', '8', '6', '--frames', '3', '--input', 'CLIP'];
  // The messages are the desktop's (tests/e2e); here, that files are read and written alike.
  const cases = [
    [[]], [['--help']], [['--size', '8', '7', '--frames', '3', '--input', 'CLIP']],
    [['--size', '8', '6', '--frames', '3', '--input', '/nonexistent/clip.raw']],
    [[...good, '--events', 'EVENTS'], '1 jump 3\n'],
    [[...good, '--events', '/nonexistent/events.txt']],
    [[...good, '--screens', '/nonexistent/folder/screens.raw']],
    [[...good, '--frames', '0', '--screens', 'SCREENS']],
  ];
  const statuses = cases.map(([args, events = '']) => compare(args, { clip, events }).status);
  assert.deepEqual(statuses, [2, 0, 2, 2, 2, 2, 1, 0]);
});

// Beyond the desktop's: a WebAssembly heap stops at 4 GB, whatever the machine has, and a grid it
// cannot hold is refused as the desktop refuses one its memory cannot hold.
test('a grid larger than the WebAssembly heap is refused before the clip is read', () => {
  const web = run(process.execPath, [webReplay, '--size', '16383', '16383', '--frames', '1',
                                     '--input', '/nonexistent/clip.raw']);
  assert.equal(web.status, 1);
  assert.match(web.stderr, new RegExp('^tavlomi-replay: not enough memory for a 16383 x ' +
    '16383 grid: it needs about 13\\.4 GB, [\\d.]+ [GM]B can be had\n$'));
});
