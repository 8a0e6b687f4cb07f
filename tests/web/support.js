// What the web tests and the frame-cost benchmark share: where the builds are, scratch folders,
// clips in the replay tool's raw format and as .y4m for Chromium's fake camera, running a program,
// and a plain static server for the page.
'use strict';

const childProcess = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const root = path.resolve(__dirname, '..', '..');
const webBuild = path.resolve(process.env.TAVLOMI_WEB_BUILD || path.join(root, 'build-web'));
const nativeReplay = path.resolve(process.env.TAVLOMI_NATIVE_REPLAY ||
                                  path.join(root, 'build', 'tavlomi-replay'));

// A folder removed when the process ends, unless KEEP_WORK is set.
function scratchFolder() {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'tavlomi-web-'));
  process.on('exit', () => {
    if (process.env.KEEP_WORK) console.error('work: ' + folder);
    else fs.rmSync(folder, { recursive: true, force: true });
  });
  return folder;
}

// Small deterministic numbers in 0..bound-1, the same on every run.
function numbers(seed) {
  let state = seed >>> 0;
  return (bound) => {
    state = (Math.imul(state, 1103515245) + 12345) >>> 0;
    return (state >>> 8) % bound;
  };
}

// Frames of width x height for the replay tool: picture(frame, x, y) gives [r, g, b] as the
// camera sees it, top row first; the file holds B G R, bottom row first.
function rawClip(width, height, frames, picture) {
  const bytes = Buffer.alloc(frames * width * height * 3);
  let at = 0;
  for (let frame = 0; frame < frames; frame++) {
    for (let y = height - 1; y >= 0; y--) {
      for (let x = 0; x < width; x++) {
        const [r, g, b] = picture(frame, x, y);
        bytes[at++] = b;
        bytes[at++] = g;
        bytes[at++] = r;
      }
    }
  }
  return bytes;
}

// The same kind of picture as a 4:2:0 .y4m clip, the only kind Chromium's fake camera plays;
// width and height even. Full-range BT.601 (C420jpeg), each chroma sample from the top-left pixel
// of its 2 x 2 block.
function y4mClip(width, height, frames, picture) {
  const luma = ([r, g, b]) => Math.round(0.299 * r + 0.587 * g + 0.114 * b);
  const planes = [[1, luma], [2, (p) => 128 + (p[2] - luma(p)) * 0.564],
                  [2, (p) => 128 + (p[0] - luma(p)) * 0.713]];
  const parts = [Buffer.from(`YUV4MPEG2 W${width} H${height} F30:1 Ip A1:1 C420jpeg\n`)];
  for (let frame = 0; frame < frames; frame++) {
    parts.push(Buffer.from('FRAME\n'));
    for (const [step, value] of planes) {
      const bytes = [];
      for (let y = 0; y < height; y += step) {
        for (let x = 0; x < width; x += step) bytes.push(value(picture(frame, x, y)));
      }
      parts.push(Buffer.from(bytes.map((v) => Math.min(255, Math.max(0, Math.round(v))))));
    }
  }
  return Buffer.concat(parts);
}

// Runs a program to its end: { status, stdout, stderr }.
function run(command, args, options = {}) {
  const result = childProcess.spawnSync(command, args, { maxBuffer: 1 << 26, ...options });
  if (result.error) throw result.error;
  const [stdout, stderr] = [result.stdout.toString(), result.stderr.toString()];
  return { status: result.status, stdout, stderr };
}

// Python's static server on build-web/ at a free port: { server, url } once it listens. server.said
// keeps the end of what it wrote on stderr, for the message when it stops.
function startServer() {
  return new Promise((resolve, reject) => {
    const server = childProcess.spawn('python3', ['-u', '-m', 'http.server', '0', '--bind',
      '127.0.0.1', '--directory', webBuild], { stdio: ['ignore', 'pipe', 'pipe'] });
    server.said = '';
    server.stderr.on('data', (chunk) => { server.said = (server.said + chunk).slice(-2000); });
    server.on('error', reject);
    server.on('exit', () => reject(new Error('the static server did not start: ' + server.said)));
    let out = '';
    server.stdout.on('data', (chunk) => {
      out += chunk;
      const port = /port (\d+)/.exec(out);
      if (port) resolve({ server, url: `http://127.0.0.1:${port[1]}/` });
    });
  });
}

module.exports = { root, webBuild, nativeReplay, scratchFolder, numbers, rawClip, y4mClip, run,
                   startServer };
