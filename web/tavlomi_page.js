// The page around the toy: the camera, keys and mouse, the canvas, the status lines, snapshots and
// full screen. The toy itself is the WebAssembly module (tavlomi.js, page_main.cpp); this script
// is loaded first and hands it the Module object it fills in.
'use strict';

(function () {
  const kDefaultSize = { width: 320, height: 240 };
  const kStatusLinesShown = 8;
  const kCostsKept = 240;
  const params = new URLSearchParams(location.search);
  const stage = document.getElementById('stage');
  const canvas = document.getElementById('screen');
  const messageBox = document.getElementById('message');
  const statusBox = document.getElementById('status');
  const costBox = document.getElementById('cost');
  const sizePicker = document.getElementById('size');

  const page = {
    toy: 0,
    width: kDefaultSize.width,
    height: kDefaultSize.height,
    source: '',
    stream: null,
    // Milliseconds each of the latest frames took: camera picture in, toy frame, canvas out.
    frameCosts: [],
    framesRun: 0,
    statusLines: [],
  };
  window.tavlomiPage = page;
  const context = canvas.getContext('2d');
  const grab = document.createElement('canvas');
  const grabContext = grab.getContext('2d', { willReadFrequently: true });
  const video = document.createElement('video');
  video.muted = true;
  video.playsInline = true;
  let newPicture = false;
  let shownSince = performance.now();

  // Messages stay until the next one, or until their cause goes away; a message given at start-up
  // (addMessage) adds to the others.
  function showMessage(text) {
    messageBox.textContent = text;
  }
  function addMessage(text) {
    messageBox.textContent += (messageBox.textContent ? '\n' : '') + text;
  }

  function showStatusLine(line) {
    page.statusLines.push(line);
    if (page.statusLines.length > kStatusLinesShown) page.statusLines.shift();
    statusBox.textContent = page.statusLines.join('\n');
  }

  // "WxH" with sides from 1 to maxSide; null otherwise.
  function parseSize(text, maxSide) {
    const match = /^(\d{1,5})x(\d{1,5})$/.exec(text);
    if (!match) return null;
    const width = Number(match[1]);
    const height = Number(match[2]);
    if (width < 1 || height < 1 || width > maxSide || height > maxSide) return null;
    return { width, height };
  }

  // SDL 1.2's code for a key, as the desktop toy receives it; 0 for keys it never sees.
  const kNamedKeys = {
    Backspace: 8, Tab: 9, Enter: 13, Escape: 27, Delete: 127, ArrowUp: 273, ArrowDown: 274,
    ArrowRight: 275, ArrowLeft: 276, Insert: 277, Home: 278, End: 279, PageUp: 280, PageDown: 281,
  };
  function sdlKey(event) {
    if (event.code === 'NumpadAdd') return 270;
    if (event.code === 'NumpadSubtract') return 269;
    if (event.key in kNamedKeys) return kNamedKeys[event.key];
    const fKey = /^F([1-9]|1[0-5])$/.exec(event.key);
    if (fKey) return 281 + Number(fKey[1]);
    // The number row, '=' and '-' by their place, whatever Shift makes of them, as on the desktop.
    const digit = /^Digit([0-9])$/.exec(event.code);
    if (digit) return 48 + Number(digit[1]);
    if (event.code === 'Equal') return 61;
    if (event.code === 'Minus') return 45;
    if (event.key.length === 1) {
      const code = event.key.toLowerCase().charCodeAt(0);
      if (code >= 32 && code < 127) return code;
    }
    return 0;
  }

  // The grid cell under the pointer; the canvas may be letterboxed in full screen.
  function gridCell(event) {
    const box = canvas.getBoundingClientRect();
    const scale = Math.min(box.width / page.width, box.height / page.height);
    const left = box.left + (box.width - page.width * scale) / 2;
    const top = box.top + (box.height - page.height * scale) / 2;
    const clamp = (value) => Math.min(65535, Math.max(0, Math.floor(value)));
    return { x: clamp((event.clientX - left) / scale), y: clamp((event.clientY - top) / scale) };
  }

  function pushMouse(kind, event) {
    if (!page.toy) return;
    const cell = gridCell(event);
    Module._tavlomi_push_mouse(page.toy, kind, cell.x, cell.y);
  }

  function fitCanvas() {
    if (document.fullscreenElement) return;
    const room = Math.min((innerWidth - 24) / page.width, (innerHeight - 220) / page.height);
    const zoom = Math.max(1, Math.min(16, Math.floor(room)));
    canvas.style.width = page.width * zoom + 'px';
    canvas.style.height = page.height * zoom + 'px';
  }

  Object.assign(page, {
    present(rgba, width, height) {
      const bytes = new Uint8ClampedArray(Module.HEAPU8.buffer, rgba, width * height * 4);
      context.putImageData(new ImageData(bytes, width, height), 0, 0);
    },

    toggleFullScreen() {
      if (document.fullscreenElement) {
        document.exitFullscreen();
      } else if (stage.requestFullscreen) {
        stage.requestFullscreen().catch((error) => {
          showMessage('Full screen was refused: ' + error.message);
        });
      }
    },

    saveSnapshot(rgba, width, height, name) {
      const picture = document.createElement('canvas');
      picture.width = width;
      picture.height = height;
      const bytes = new Uint8ClampedArray(Module.HEAPU8.buffer, rgba, width * height * 4);
      picture.getContext('2d').putImageData(new ImageData(bytes, width, height), 0, 0);
      picture.toBlob((blob) => {
        if (!blob) {
          showMessage('No snapshot: the browser could not make the PNG');
          return;
        }
        const link = document.createElement('a');
        link.href = URL.createObjectURL(blob);
        link.download = name;
        link.click();
        setTimeout(() => URL.revokeObjectURL(link.href), 60000);
      }, 'image/png');
    },
  });

  // Camera pictures come at the camera's rate; each one is taken over once, by the next frame.
  function watchPictures() {
    if (video.requestVideoFrameCallback) {
      const onPicture = () => {
        newPicture = true;
        video.requestVideoFrameCallback(onPicture);
      };
      video.requestVideoFrameCallback(onPicture);
    } else {
      let lastTime = -1;
      const poll = () => {
        if (video.currentTime !== lastTime) {
          lastTime = video.currentTime;
          newPicture = true;
        }
        requestAnimationFrame(poll);
      };
      requestAnimationFrame(poll);
    }
  }

  function takePicture() {
    newPicture = false;
    const picture = Module._tavlomi_camera_picture(page.toy);
    if (!picture || video.readyState < 2) return;
    grabContext.drawImage(video, 0, 0, page.width, page.height);
    const pixels = grabContext.getImageData(0, 0, page.width, page.height).data;
    Module.HEAPU8.set(pixels, picture);
    Module._tavlomi_camera_written(page.toy);
  }

  function frame() {
    if (!page.toy) return;
    const start = performance.now();
    if (newPicture) takePicture();
    const running = Module._tavlomi_frame(page.toy);
    const end = performance.now();
    page.frameCosts.push(end - start);
    if (page.frameCosts.length > kCostsKept) page.frameCosts.shift();
    if (++page.framesRun % 60 === 0) {
      const sorted = [...page.frameCosts].sort((a, b) => a - b);
      const rate = 60000 / (end - shownSince);
      costBox.textContent = `${rate.toFixed(0)} frames/s, ` +
                            `${sorted[sorted.length >> 1].toFixed(1)} ms each`;
      shownSince = end;
    }
    if (!running) {
      stop();
      return;
    }
    requestAnimationFrame(frame);
  }

  function stop() {
    Module._tavlomi_stop(page.toy);
    page.toy = 0;
    if (page.stream) page.stream.getTracks().forEach((track) => track.stop());
    document.body.dataset.state = 'stopped';
    showMessage('Escape ended the toy. Reload the page to play again.');
  }

  function whyNoCamera(error) {
    switch (error && error.name) {
      case 'NotAllowedError':
        return 'The camera was refused';
      case 'NotFoundError':
      case 'OverconstrainedError':
        return 'No camera found';
      case 'NotReadableError':
        return 'The camera is busy or cannot be read';
      default:
        return 'No camera (' + (error && error.message ? error.message : String(error)) + ')';
    }
  }

  async function openCamera() {
    if (!navigator.mediaDevices || !navigator.mediaDevices.getUserMedia) {
      throw new Error('this page is not on a secure origin such as localhost');
    }
    const stream = await navigator.mediaDevices.getUserMedia({
      audio: false,
      video: { width: { ideal: page.width }, height: { ideal: page.height } },
    });
    video.srcObject = stream;
    await video.play();
    page.stream = stream;
    // A camera that goes away leaves the last picture; it is picked up again when it returns.
    stream.getVideoTracks().forEach((track) => {
      track.onended = () => {
        if (!page.toy) return;
        page.stream = null;
        showMessage('The camera stopped: the picture stays until it comes back.');
      };
    });
    return stream;
  }

  function reopenCamera() {
    if (!page.toy || page.source !== 'camera' || page.stream) return;
    openCamera().then(() => showMessage(''), () => {});
  }

  function listen() {
    document.addEventListener('keydown', (event) => {
      if (!page.toy || event.ctrlKey || event.altKey || event.metaKey) return;
      if (event.target instanceof HTMLSelectElement) return;
      const code = sdlKey(event);
      if (!code) return;
      event.preventDefault();
      if (!event.repeat) Module._tavlomi_push_key(page.toy, code);
    });
    canvas.addEventListener('pointerdown', (event) => {
      canvas.setPointerCapture(event.pointerId);
      canvas.focus();
      event.preventDefault();
      pushMouse(1, event);
    });
    canvas.addEventListener('pointermove', (event) => pushMouse(0, event));
    canvas.addEventListener('pointerup', (event) => pushMouse(2, event));
    canvas.addEventListener('pointercancel', (event) => pushMouse(2, event));
    canvas.addEventListener('contextmenu', (event) => event.preventDefault());
    const keyButton = (id, code) => {
      document.getElementById(id).addEventListener('click', (event) => {
        event.currentTarget.blur();
        if (page.toy) Module._tavlomi_push_key(page.toy, code);
      });
    };
    keyButton('snapshot', 293);
    keyButton('fullscreen', 292);
    sizePicker.addEventListener('change', () => {
      params.set('size', sizePicker.value);
      location.search = params.toString();
    });
    addEventListener('resize', fitCanvas);
    document.addEventListener('fullscreenchange', fitCanvas);
    if (navigator.mediaDevices) {
      navigator.mediaDevices.addEventListener('devicechange', reopenCamera);
    }
  }

  async function start() {
    const maxSide = Module._tavlomi_max_side();
    const asked = params.get('size');
    const size = asked === null ? kDefaultSize : parseSize(asked, maxSide);
    if (size) {
      Object.assign(page, size);
    } else {
      addMessage(`The size '${asked}' is not WIDTHxHEIGHT with sides from 1 to ${maxSide}: ` +
                 `showing ${page.width}x${page.height}.`);
    }
    const sizeName = page.width + 'x' + page.height;
    if (![...sizePicker.options].some((option) => option.value === sizeName)) {
      sizePicker.add(new Option(sizeName));
    }
    sizePicker.value = sizeName;
    canvas.width = grab.width = page.width;
    canvas.height = grab.height = page.height;
    fitCanvas();

    page.source = 'test-scene';
    if (!params.has('test-scene')) {
      try {
        await openCamera();
        page.source = 'camera';
      } catch (error) {
        addMessage(whyNoCamera(error) + ': showing the built-in test scene.');
      }
    }
    page.toy = Module._tavlomi_start(page.width, page.height, page.source === 'camera' ? 1 : 0);
    if (page.source === 'camera') watchPictures();
    listen();
    canvas.focus();
    document.body.dataset.state = 'running';
    document.body.dataset.source = page.source;
    requestAnimationFrame(frame);
  }

  window.Module = {
    print: showStatusLine,
    printErr: (line) => {
      console.warn(line);
      showStatusLine(line);
    },
    onRuntimeInitialized: () => {
      start().catch((error) => showMessage('The toy could not start: ' + error.message));
    },
    onAbort: (what) => {
      showMessage('The toy stopped: ' + what + (location.protocol === 'file:'
        ? ' (open the page through a web server: scripts/web.sh serves it)' : ''));
    },
    page,
  };
})();
