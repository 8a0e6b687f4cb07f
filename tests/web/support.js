// What the web tests share: where the builds are, scratch folders, clips in the replay tool's raw
// format and as .y4m for Chromium's fake camera, running a program, and reading a PNG.
'use strict';

const childProcess = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const zlib = require('node:zlib');

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
  const luma = (r, g, b) => Math.round(0.299 * r + 0.587 * g + 0.114 * b);
  const clamp = (v) => Math.min(255, Math.max(0, Math.round(v)));
  const parts = [Buffer.from(`YUV4MPEG2 W${width} H${height} F30:1 Ip A1:1 C420jpeg\n`)];
  for (let frame = 0; frame < frames; frame++) {
    const y = Buffer.alloc(width * height);
    const u = Buffer.alloc(width * height / 4);
    const v = Buffer.alloc(width * height / 4);
    for (let row = 0; row < height; row++) {
      for (let x = 0; x < width; x++) {
        const [r, g, b] = picture(frame, x, row);
        const l = luma(r, g, b);
        y[row * width + x] = l;
        if (row % 2 === 0 && x % 2 === 0) {
          const at = (row / 2) * (width / 2) + x / 2;
          u[at] = clamp(128 + (b - l) * 0.564);
          v[at] = clamp(128 + (r - l) * 0.713);
        }
      }
    }
    parts.push(Buffer.from('FRAME\n'), y, u, v);
  }
  return Buffer.concat(parts);
}

// Runs a program to its end: { status, stdout, stderr }.
function run(command, args, options = {}) {
  const result = childProcess.spawnSync(command, args, { maxBuffer: 1 << 26, ...options });
  if (result.error) throw result.error;
  return { status: result.status, stdout: result.stdout.toString(), stderr: result.stderr.toString() };
}

// A PNG as { width, height, pixel(x, y) -> [r, g, b] } (8-bit RGB or RGBA, not interlaced, as
// Chromium's screenshots are).
function decodePng(bytes) {
  let at = 8;
  let header = null;
  const data = [];
  while (at < bytes.length) {
    const length = bytes.readUInt32BE(at);
    const type = bytes.toString('ascii', at + 4, at + 8);
    const body = bytes.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') header = { width: body.readUInt32BE(0), height: body.readUInt32BE(4),
                                    depth: body[8], colour: body[9], interlace: body[12] };
    if (type === 'IDAT') data.push(body);
    at += 12 + length;
  }
  if (!header || header.depth !== 8 || ![2, 6].includes(header.colour) || header.interlace) {
    throw new Error('not an 8-bit RGB(A) PNG');
  }
  const channels = header.colour === 6 ? 4 : 3;
  const stride = header.width * channels;
  const raw = zlib.inflateSync(Buffer.concat(data));
  const out = Buffer.alloc(stride * header.height);
  for (let row = 0; row < header.height; row++) {
    const filter = raw[row * (stride + 1)];
    const line = raw.subarray(row * (stride + 1) + 1, (row + 1) * (stride + 1));
    for (let i = 0; i < stride; i++) {
      const left = i >= channels ? out[row * stride + i - channels] : 0;
      const up = row > 0 ? out[(row - 1) * stride + i] : 0;
      const upLeft = row > 0 && i >= channels ? out[(row - 1) * stride + i - channels] : 0;
      let predicted = 0;
      if (filter === 1) predicted = left;
      else if (filter === 2) predicted = up;
      else if (filter === 3) predicted = (left + up) >> 1;
      else if (filter === 4) {
        const p = left + up - upLeft;
        const [pa, pb, pc] = [Math.abs(p - left), Math.abs(p - up), Math.abs(p - upLeft)];
        predicted = pa <= pb && pa <= pc ? left : pb <= pc ? up : upLeft;
      }
      out[row * stride + i] = (line[i] + predicted) & 0xFF;
    }
  }
  return {
    width: header.width,
    height: header.height,
    pixel(x, y) {
      const i = y * stride + x * channels;
      return [out[i], out[i + 1], out[i + 2]];
    },
  };
}

module.exports = { root, webBuild, nativeReplay, scratchFolder, numbers, rawClip, y4mClip, run,
                   decodePng };
