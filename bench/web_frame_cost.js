// The browser build's frame cost beside the desktop's, on the same frames: a 640 x 480 clip with
// a bright square gliding over a texture, as Chromium's fake camera (the page's own
// performance.now() figures: camera picture in, toy frame, canvas out) and as the input of the
// desktop's tavlomi-replay (per frame, its start-up taken out).
//   NODE_PATH=build-web/test-deps/node_modules node bench/web_frame_cost.js [SECONDS]
// after scripts/test.sh (or scripts/web.sh --no-serve and npm ci of tests/web/package.json in
// build-web/test-deps), with the desktop build in build/.
'use strict';

const fs = require('node:fs');
const path = require('node:path');
const support = require('../tests/web/support');
const { chromium } = require('playwright-core');

const kWidth = 640;
const kHeight = 480;
const kClipFrames = 60;
const kLongRun = 310;
const seconds = Number(process.argv[2] || 5);
const work = support.scratchFolder();
const effects = [['plain view', 'Digit1', 49], ['water', 'Digit2', 50], ['fire', 'Digit3', 51]];

function gliding() {
  const next = support.numbers(5);
  const texture = Array.from({ length: kWidth * kHeight }, () => next(100));
  return (frame, x, y) => {
    const left = (frame * 9) % (kWidth - 96);
    const inside = x >= left && x < left + 96 && y >= 192 && y < 288;
    const shade = texture[y * kWidth + x];
    return inside ? [250, 240, 230] : [shade, (shade * 3) % 100, 100 - shade];
  };
}

const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1];

async function pageCosts(clip) {
  const { server, url } = await support.startServer();
  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: [
    '--no-sandbox', '--disable-gpu', '--use-fake-device-for-media-stream',
    '--use-fake-ui-for-media-stream', `--use-file-for-fake-video-capture=${clip}`] });
  try {
    const page = await browser.newPage();
    await page.goto(`${url}?size=${kWidth}x${kHeight}`);
    await page.waitForSelector('body[data-source=camera]', { timeout: 20000 });
    const costs = {};
    for (const [name, key] of effects) {
      await page.keyboard.press(key);
      await page.waitForTimeout(1000);
      const before = await page.evaluate(() => tavlomiPage.framesRun);
      await page.waitForTimeout(seconds * 1000);
      const [frames, after] = await page.evaluate(() => [[...tavlomiPage.frameCosts],
                                                         tavlomiPage.framesRun]);
      costs[name] = { median: median(frames), rate: (after - before) / seconds };
    }
    return costs;
  } finally {
    await browser.close();
    server.kill();
  }
}

// Milliseconds a frame of one replay tool, from a long and a short run on the same clip (past its
// end the last frame stays, as a still camera's would).
function replayCost(command, prefix, clip, key) {
  const events = path.join(work, 'events.txt');
  fs.writeFileSync(events, `0 key ${key}\n`);
  const time = (frames) => {
    const start = process.hrtime.bigint();
    const result = support.run(command, [...prefix, '--size', String(kWidth), String(kHeight),
      '--frames', String(frames), '--input', clip, '--events', events]);
    if (result.status !== 0) throw new Error(command + ': ' + result.stderr);
    return Number(process.hrtime.bigint() - start) / 1e6;
  };
  const short = Math.min(...[0, 1, 2].map(() => time(10)));
  const long = Math.min(...[0, 1, 2].map(() => time(kLongRun)));
  return (long - short) / (kLongRun - 10);
}

(async () => {
  const picture = gliding();
  const y4m = path.join(work, 'clip.y4m');
  const raw = path.join(work, 'clip.raw');
  fs.writeFileSync(y4m, support.y4mClip(kWidth, kHeight, kClipFrames, picture));
  fs.writeFileSync(raw, support.rawClip(kWidth, kHeight, kClipFrames, picture));
  const inPage = await pageCosts(y4m);
  console.log(`${kWidth} x ${kHeight}: milliseconds a frame in the page (median of its last ` +
              `240 frames) and its frames a second; the desktop replay's milliseconds a frame`);
  for (const [name, , key] of effects) {
    const desktop = replayCost(support.nativeReplay, [], raw, key);
    console.log(`${name.padEnd(11)} page ${inPage[name].median.toFixed(2).padStart(6)} ms ` +
                `${inPage[name].rate.toFixed(0).padStart(3)}/s   desktop ` +
                `${desktop.toFixed(2).padStart(6)} ms`);
  }
})().catch((error) => {
  console.error('web_frame_cost: ' + error.message);
  process.exit(1);
});
