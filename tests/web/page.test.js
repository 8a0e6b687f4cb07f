// The page in Debian's Chromium, headless, from a plain static server, with Chromium's fake camera
// playing a clip made here: four coloured quadrants, so that mirroring, the effects and the ball
// all show in screenshots taken by this script. The server and the browser are checked to be
// running before every step, so that a helper that died reads as itself.
'use strict';

const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { test, before, after } = require('node:test');
const { chromium } = require('playwright-core');
const { scratchFolder, startServer, y4mClip } = require('./support');

const kWidth = 320;
const kHeight = 240;
const work = scratchFolder();
const clipPath = path.join(work, 'quadrants.y4m');
// The camera's view: blue top left, green top right, red bottom left, grey bottom right.
const kQuadrants = [[0, 0, 200], [0, 160, 0], [200, 0, 0], [128, 128, 128]];
const quadrantAt = (x, y) => kQuadrants[(y < kHeight / 2 ? 0 : 2) + (x < kWidth / 2 ? 0 : 1)];
const kFlags = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--force-color-profile=srgb', '--use-fake-device-for-media-stream',
  `--use-file-for-fake-video-capture=${clipPath}`];

let server = null;
let url = '';
const browsers = [];

function checkHelpers() {
  assert.ok(server && server.exitCode === null && server.signalCode === null,
            'the static server stopped: ' + server?.said);
  for (const { launched, browser } of browsers) {
    const { exitCode, signalCode } = launched.process();
    assert.ok(exitCode === null && signalCode === null && browser.isConnected(),
              'the browser stopped');
  }
}

async function launch(extraFlags) {
  const launched = await chromium.launchServer({ executablePath: '/usr/bin/chromium',
                                                 args: [...kFlags, ...extraFlags] });
  const browser = await chromium.connect(launched.wsEndpoint());
  browsers.push({ launched, browser });
  checkHelpers();
  const page = await browser.newPage({ viewport: { width: 800, height: 600 } });
  page.on('pageerror', (error) => console.error('page error: ' + error.message));
  await page.goto(url);
  await page.waitForSelector('body[data-state=running]', { timeout: 20000 });
  return page;
}

// A PNG as { width, height, pixel(x, y) -> [r, g, b] }, decoded by the browser itself.
async function decodePng(page, png) {
  const { width, height, rgba } = await page.evaluate(async (base64) => {
    const image = new Image();
    image.src = 'data:image/png;base64,' + base64;
    await image.decode();
    const context = new OffscreenCanvas(image.width, image.height).getContext('2d');
    context.drawImage(image, 0, 0);
    const { data } = context.getImageData(0, 0, image.width, image.height);
    return { width: image.width, height: image.height, rgba: Array.from(data) };
  }, png.toString('base64'));
  const at = (x, y) => 4 * (y * width + x);
  return { width, height, pixel: (x, y) => rgba.slice(at(x, y), at(x, y) + 3) };
}

async function screenshot(page) {
  checkHelpers();
  // The canvas's own pixels: its box may start part way into a screen pixel.
  const box = await page.locator('#screen').boundingBox();
  const clip = { x: Math.round(box.x), y: Math.round(box.y), width: kWidth, height: kHeight };
  const png = await page.screenshot({ clip });
  if (process.env.KEEP_WORK) fs.writeFileSync(path.join(work, `shot-${++shots}.png`), png);
  const shot = await decodePng(page, png);
  assert.deepEqual([shot.width, shot.height], [kWidth, kHeight], 'the canvas at one pixel a cell');
  return shot;
}

// Waits for what the next frames draw.
const frames = (page, milliseconds = 300) => page.waitForTimeout(milliseconds);
const near = (pixel, colour, tolerance = 40) =>
  pixel.every((value, i) => Math.abs(value - colour[i]) <= tolerance);
const isMagenta = ([r, g, b]) => r > 200 && g < 70 && b > 200;

// Drags the ball in steps, one frame apart, in grid cells (the canvas shows one cell a pixel).
async function drag(page, points) {
  const box = await page.locator('#screen').boundingBox();
  const at = ([x, y]) => [box.x + x + 0.5, box.y + y + 0.5];
  await page.mouse.move(...at(points[0]));
  await page.mouse.down();
  for (const point of points.slice(1)) {
    await page.mouse.move(...at(point));
    await frames(page, 40);
  }
  await page.mouse.up();
}

// The cells of the area [x0, y0] to (x1, y1), every step-th in each direction, as { x, y, pixel }.
function cells(shot, [x0, y0, x1, y1], step = 1) {
  const all = [];
  for (let y = y0; y < y1; y += step) {
    for (let x = x0; x < x1; x += step) all.push({ x, y, pixel: shot.pixel(x, y) });
  }
  return all;
}
const count = (shot, area, keep) => cells(shot, area).filter(({ pixel }) => keep(pixel)).length;
const isWhite = (pixel) => pixel.every((value) => value > 240);
// Flames' yellow and orange: much red, some green, little blue. Neither the green quadrant where
// the tests play nor any lighter or darker shade of it is like that.
const isFlame = ([r, g, b]) => r > 150 && g > 40 && b < r - 80;

// The centre of the ball's cross, the mean of its magenta pixels; null when there is none.
function crossCentre(shot) {
  const magenta = cells(shot, [0, 0, kWidth, kHeight]).filter(({ pixel }) => isMagenta(pixel));
  const mean = (axis) => Math.round(magenta.reduce((sum, cell) => sum + cell[axis], 0) /
                                    magenta.length);
  return magenta.length < 60 ? null : { x: mean('x'), y: mean('y') };
}

let page;
let shots = 0;
before(async () => {
  fs.writeFileSync(clipPath, y4mClip(kWidth, kHeight, 30, (frame, x, y) => quadrantAt(x, y)));
  ({ server, url } = await startServer());
  const [index, wasm] = await Promise.all(['index.html', 'tavlomi.wasm'].map(
    (file) => fetch(url + file)));
  assert.deepEqual([index.status, wasm.status, wasm.headers.get('content-type')],
                   [200, 200, 'application/wasm']);
  page = await launch(['--use-fake-ui-for-media-stream']);
});

after(async () => {
  for (const { launched } of browsers) await launched.close();
  server?.removeAllListeners('exit').kill();
});

test('the page shows the camera mirrored at the grid size', { timeout: 30000 }, async () => {
  assert.equal(await page.evaluate(() => document.body.dataset.source), 'camera');
  await page.waitForFunction(() => tavlomiPage.frameCosts.length > 20);
  const shot = await screenshot(page);
  for (const [x, y] of [[80, 60], [240, 60], [80, 180], [240, 180]]) {
    assert.ok(near(shot.pixel(x, y), quadrantAt(kWidth - 1 - x, y)),
              `(${x}, ${y}) shows ${shot.pixel(x, y)}, the camera's (${kWidth - 1 - x}, ${y})`);
  }
  // The camera's first picture is motion all over, so the ball need not stay in the middle.
  assert.ok(crossCentre(shot), 'the ball is shown');
});

// How the overlay draws is the same as in the replay (replay_compare.test.js); here, that the
// keys reach the toy.
test('the threshold keys print their lines on the page', { timeout: 30000 }, async () => {
  const keys = ['Equal', 'NumpadAdd', 'Minus', 'NumpadSubtract', 'Minus'];
  for (const key of keys) await page.keyboard.press(key);
  const expected = [15, 16, 15, 14, 13].map((n) => `< Threshold is now: ${n} >`).join('\n');
  await page.waitForFunction((text) => document.getElementById('status').textContent.endsWith(text),
                             expected, { timeout: 5000 });
});

test('F1 shows the help and hides it', { timeout: 30000 }, async () => {
  const whiteText = [];
  for (let i = 0; i < 2; i++) {
    await page.keyboard.press('F1');
    await frames(page);
    whiteText.push(count(await screenshot(page), [0, 0, kWidth, 60], isWhite));
  }
  assert.ok(whiteText[0] > 300 && whiteText[1] === 0, `white pixels of text: ${whiteText}`);
});

test('a drag moves the magenta cross to the dragged place, in full screen too',
     { timeout: 30000 }, async () => {
  await drag(page, [[160, 120], [120, 90], [60, 50], [150, 130], [250, 170]]);
  await frames(page);
  assert.deepEqual(crossCentre(await screenshot(page)), { x: 250, y: 170 });
  // F11 goes full screen, where the mouse still finds its cells, and back.
  await page.keyboard.press('F11');
  await page.waitForFunction(() => document.fullscreenElement !== null);
  // The viewport is 800 x 600: two and a half screen pixels a cell.
  await page.mouse.click(200, 300);
  await page.keyboard.press('F11');
  await page.waitForFunction(() => document.fullscreenElement === null);
  await frames(page);
  assert.deepEqual(crossCentre(await screenshot(page)), { x: 80, y: 120 });
});

test("'2' and '3' change the picture the way water and fire do", { timeout: 60000 }, async () => {
  const plain = await screenshot(page);
  const band = [20, 30, 140, 90];
  await page.keyboard.press('Digit2');
  await drag(page, [[30, 60], [50, 60], [70, 62], [90, 58], [110, 60], [130, 60]]);
  await frames(page);
  const water = await screenshot(page);
  const changed = cells(water, band).filter(({ x, y, pixel }) =>
    !isMagenta(pixel) && !near(pixel, plain.pixel(x, y), 6) && !isFlame(pixel));
  assert.ok(changed.length > 500, `ripples: ${changed.length} pixels changed`);

  await page.keyboard.press('Digit3');
  await drag(page, [[130, 60], [100, 100]]);
  await frames(page, 800);
  const fire = await screenshot(page);
  const flames = count(fire, [80, 50, 120, 95], isFlame);
  assert.ok(flames > 60, `flames above the ball: ${flames} pixels`);
  await page.keyboard.press('Digit1');
});

test('F12 saves the screen as a PNG; Escape ends the toy and lets the camera go',
     { timeout: 30000 }, async () => {
  const [download] = await Promise.all([page.waitForEvent('download'), page.keyboard.press('F12')]);
  assert.match(download.suggestedFilename(), /^tavlomi-\d{4}(-\d\d){5}\.png$/);
  const savedPath = path.join(work, download.suggestedFilename());
  await download.saveAs(savedPath);
  const saved = await decodePng(page, fs.readFileSync(savedPath));
  assert.deepEqual([saved.width, saved.height], [kWidth, kHeight]);
  assert.ok(near(saved.pixel(300, 200), quadrantAt(kWidth - 1 - 300, 200)), 'the picture');
  await page.waitForFunction(() => /Snapshot saved: tavlomi-/.test(
    document.getElementById('status').textContent));

  await page.keyboard.press('Escape');
  await page.waitForSelector('body[data-state=stopped]', { timeout: 5000 });
  assert.match(await page.textContent('#message'), /Escape ended the toy/);
  assert.equal(await page.evaluate(() => tavlomiPage.stream.getVideoTracks()[0].readyState),
               'ended');
});

test('a refused camera gives the message and the test scene', { timeout: 60000 }, async () => {
  const refused = await launch(['--deny-permission-prompts']);
  assert.equal(await refused.evaluate(() => document.body.dataset.source), 'test-scene');
  assert.equal(await refused.textContent('#message'),
               'The camera was refused: showing the built-in test scene.');
  // The scene itself is the core's (tests/capture): here, that it moves on the page.
  const first = await screenshot(refused);
  await frames(refused, 500);
  const second = await screenshot(refused);
  const grid = cells(first, [0, 0, kWidth, kHeight - 40], 9);
  const moved = grid.filter(({ x, y, pixel }) => !near(pixel, second.pixel(x, y), 2)).length;
  assert.ok(moved > grid.length / 10, `a moving scene: ${moved} of ${grid.length} changed`);
});
