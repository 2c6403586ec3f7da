// The page around the game module: loads it, builds the form's elements as
// the web host asks, scales the form to the window, turns pointer events
// and the browser's clock into the form's events, shows message boxes and
// the end of the game.
const page = (() => {
  // Strict within, as the module's loader shares the page's script element.
  'use strict';

  // Filled in when the page is made: the design's files by resource path,
  // as data: URLs, and the module's code, gzipped.
  const resources = __SKEETRA_RESOURCES__;
  const moduleCode = '__SKEETRA_WASM__';

  // JavaScript Promise Integration lets a handler wait for the in-page box
  // while the page goes on running, as a desktop message box blocks its
  // caller. Without it the handler runs on past the box, and the page holds
  // what it asked for meanwhile (the end, further events) until the box is
  // closed: the player sees the same box and the same order either way.
  const waits = typeof WebAssembly === 'object' && typeof WebAssembly.Suspending === 'function' &&
                typeof WebAssembly.promising === 'function';

  const $ = (id) => document.getElementById(id);
  const box = $('box');
  let resolveReady, rejectReady;
  const ready = new Promise((resolve, reject) => { resolveReady = resolve; rejectReady = reject; });
  ready.catch(() => {});
  const skeetra = window.skeetra = { ready, ended: false, waits };

  let form = null;           // the #form element while the game runs
  let width = 0, height = 0; // the client area, design pixels
  let scale = 1;
  const elements = [];       // by control index
  const texts = [];          // a label's text element, by control index
  const placed = [];         // every control and the form's picture, with their design places
  const loading = [];        // fonts and pictures the first frame needs
  let wakeHandle = 0;        // the one browser timer, at the host's next due tick
  let events = null;         // the host's entry points by event, once it has built the form
  let ended = false;
  // The core's: the scale rule, and an internal fault's line and box text
  // before the fault's own words. Until the host gives them (a module that
  // fails to start) a fault is told in its own words alone.
  let scaleRule = null;
  let internalLine = '', internalText = '';

  // An event to the host: one of the names of `events` (load, press,
  // release, cancelPress, wake) with its arguments.
  function send(event, ...args) {
    // A handler past its box (no promise integration) is still, for the
    // player, waiting in it: nothing reaches the form until it is closed.
    if (ended || !events || (!waits && box.open)) return Promise.resolve();
    try {
      return Promise.resolve(events[event](...args)).catch(fail);
    } catch (error) {
      fail(error);
      return Promise.resolve();
    }
  }

  // A fault outside the game's own runtime errors (the module trapped, an
  // exception nothing caught): the game cannot go on.
  let failing = false;
  async function fail(error) {
    if (ended || failing) return;
    failing = true;
    stopTimers();
    const what = error && error.message ? error.message : String(error);
    console.error(internalLine + what);
    await showBox(internalText + what, true);
    end();
  }

  function useCore(boxPixels, line, text, scale) {
    box.style.fontSize = boxPixels + 'px';
    internalLine = line;
    internalText = text;
    scaleRule = scale;
  }

  // ---------------------------------------------------------------- the form

  function openForm(name, caption, appTitle, w, h, background, picture, icon, pointer, hotX, hotY, family) {
    document.title = caption;
    $('boxTitle').textContent = appTitle;
    document.body.style.fontFamily = `"${family}", sans-serif`;
    if (resources[icon]) $('icon').href = resources[icon];
    width = w;
    height = h;
    form = document.createElement('div');
    form.id = 'form';
    form.style.background = background;
    if (resources[pointer]) form.style.cursor = `url(${resources[pointer]}) ${hotX} ${hotY}, crosshair`;
    if (resources[picture]) {
      // One to one at the corner, beneath every control; the form cuts off what lies beyond it.
      const img = pictureElement(picture);
      img.id = name + 'Picture';
      form.append(img);
      placed.push({ element: img, left: 0, top: 0, picture: img });
      loading.push(img.decode()); // its own size, which place() scales
    }
    for (const type of ['pointerdown', 'pointerup', 'pointercancel', 'contextmenu', 'selectstart', 'dragstart'])
      form.addEventListener(type, onPointer);
    document.body.append(form);
    place();
    addEventListener('resize', place);
  }

  function pictureElement(resource) {
    const img = document.createElement('img');
    img.src = resources[resource];
    img.alt = '';
    img.draggable = false;
    loading.push(early[resource] ? early[resource].decoded : img.decode());
    return img;
  }

  // The pictures and fonts begin to decode as the page starts, beside the
  // module's unpacking and compiling, rather than when the form asks for
  // them: the form's own elements then find them decoded.
  const early = {};
  function decodeEarly() {
    for (const [resource, url] of Object.entries(resources)) {
      if (url.startsWith('data:image/gif')) {
        const img = new Image();
        img.src = url;
        early[resource] = { img, decoded: img.decode() };
      } else if (url.startsWith('data:font')) {
        early[resource] = new FontFace('early', `url(${url})`);
        early[resource].load().catch(() => {});
      }
    }
  }

  // The module adds the controls bottom first (the core's stacking order),
  // so each element lies over those added before it.
  function putControl(element, index, name, left, top, w, h, visible) {
    element.id = name;
    element.hidden = !visible;
    elements[index] = element;
    placed.push({ element, left, top, w, h, text: texts[index] });
    form.append(element);
  }

  function addFont(family, resource) {
    if (!resources[resource]) return;
    // The face that began loading early; a second family naming the same
    // file loads a face of its own.
    const face = early[resource] || new FontFace(family, `url(${resources[resource]})`);
    delete early[resource];
    face.family = family;
    document.fonts.add(face);
    loading.push(face.load());
  }

  // A label's box takes its place as the other controls do; its text is
  // laid out at the design's size and scaled as a whole, so that it breaks
  // into the same lines at every scale.
  function addLabel(index, name, left, top, w, h, visible, caption, family, pixels, colour, background) {
    const label = document.createElement('div');
    label.className = 'label';
    label.style.cssText = `font:${pixels}px "${family}",sans-serif;color:${colour};` +
                          (background ? `background:${background};` : '');
    const text = document.createElement('div');
    text.textContent = caption;
    text.style.width = w + 'px';
    text.style.height = h + 'px';
    label.append(text);
    texts[index] = text;
    putControl(label, index, name, left, top, w, h, visible);
  }

  function addImage(index, name, left, top, w, h, visible, picture) {
    putControl(resources[picture] ? pictureElement(picture) : document.createElement('div'), index, name, left, top,
           w, h, visible);
  }

  function setCaption(index, caption) { texts[index].textContent = caption; }
  function setVisible(index, visible) { elements[index].hidden = !visible; }

  // The scale rule's (the core's): the largest whole number of device
  // pixels for each of the form's that fits the window, so that every
  // picture pixel is an even, sharp block at any device pixel ratio (a zoom
  // of 125 % included); below one only where the screen is smaller than the
  // form (a phone held upright). Placed at whole device pixels, where no edge is blended. The form, its
  // pictures and the labels' boxes are laid out at their scaled sizes,
  // which the browser snaps to whole device pixels, rather than scaled by
  // a CSS transform: a scale such as 1 / 1.1 is no exact number, and
  // Chromium draws a transformed box a fraction of a device pixel off,
  // blending its edges and widening a picture's column here and there.
  // About half the room, at a whole CSS pixel that is also a whole device
  // pixel (at 125 % every fourth), or a whole device pixel.
  function wholePixels(room, ratio) {
    const half = Math.max(0, Math.floor(room / 2));
    for (let x = half; x >= 0 && x > half - 20; --x)
      if (Math.abs(x * ratio - Math.round(x * ratio)) < 1e-3) return x;
    return Math.floor(half * ratio) / ratio;
  }

  function place() {
    if (!form || !scaleRule) return;
    const ratio = window.devicePixelRatio || 1;
    const room = document.documentElement;
    const device = scaleRule(width, height, room.clientWidth * ratio, room.clientHeight * ratio);
    scale = device / ratio;
    form.style.width = width * scale + 'px';
    form.style.height = height * scale + 'px';
    for (const c of placed) {
      const s = c.element.style;
      s.left = c.left * scale + 'px';
      s.top = c.top * scale + 'px';
      // The form's picture, at its own size once decoded.
      const w = c.picture ? c.picture.naturalWidth : c.w;
      const h = c.picture ? c.picture.naturalHeight : c.h;
      if (!w || !h) continue;
      s.width = w * scale + 'px';
      s.height = h * scale + 'px';
      if (c.text) c.text.style.transform = scale === 1 ? '' : `scale(${scale})`;
    }
    form.style.left = wholePixels(room.clientWidth - width * scale, ratio) + 'px';
    form.style.top = wholePixels(room.clientHeight - height * scale, ratio) + 'px';
    form.dataset.scale = String(scale);
    form.dataset.deviceScale = String(device);
    // A zoom that changes the ratio alone, which not every browser reports as a resize.
    matchMedia(`(resolution: ${ratio}dppx)`).addEventListener('change', place, { once: true });
  }

  // ---------------------------------------------------------------- input

  // The press the form is following: one pointer at a time, as a mouse has
  // one left button. A second finger that comes down first lets go of the
  // first one where it came down, so that every tap is a shot.
  let pressed = null;

  function designPoint(event) {
    const r = form.getBoundingClientRect();
    return [Math.floor((event.clientX - r.left) / scale), Math.floor((event.clientY - r.top) / scale)];
  }

  function onPointer(event) {
    // No text selection, context menu or dragging of pictures on the form.
    if (event.type === 'contextmenu' || event.type === 'selectstart' || event.type === 'dragstart') {
      event.preventDefault();
      return;
    }
    if (event.type === 'pointerdown') {
      if (event.button !== 0) return;
      event.preventDefault();
      if (pressed && pressed.id !== event.pointerId) send('release', pressed.x, pressed.y);
      const [x, y] = designPoint(event);
      pressed = { id: event.pointerId, x, y };
      // The release is ours also where it happens outside the form.
      try { form.setPointerCapture(event.pointerId); } catch (_) {}
      send('press', x, y);
    } else if (pressed && pressed.id === event.pointerId) {
      pressed = null;
      if (event.type === 'pointerup') send('release', ...designPoint(event));
      else send('cancelPress');
    }
  }

  // ---------------------------------------------------------------- timers

  // The host keeps every timer's due time and delivers, when woken, each
  // tick that fell due, late ones included; the page only wakes it once at
  // the next due time. The delay is rounded up, so that the wake-up does
  // not come a fraction of a millisecond before anything is due.
  function wakeIn(delay) {
    clearTimeout(wakeHandle);
    wakeHandle = 0;
    if (delay < 0 || ended) return;
    wakeHandle = setTimeout(() => { wakeHandle = 0; send('wake'); }, Math.max(0, Math.ceil(delay)));
  }

  function stopTimers() {
    clearTimeout(wakeHandle);
    wakeHandle = 0;
  }

  // ---------------------------------------------------------------- boxes and the end

  // Settles when the player closes the box: OK, Enter, Space or Escape,
  // wherever the focus is. No form submission closes it (a sandboxed frame
  // may forbid forms) and no alert() stands in for it (a frame may drop
  // those, and one blocks the page before its last change is painted).
  let closing = null;   // resolves the open box's promise
  let heldEnd = false;  // the program ended behind an open box
  function showBox(text, error) {
    return new Promise((resolve) => {
      $('boxText').textContent = text;
      box.classList.toggle('error', !!error);
      closing = resolve;
      box.showModal();
      $('boxOk').focus();
    });
  }

  function closeBox() {
    if (!box.open) return;
    box.close();
  }

  function boxClosed() {
    const resolve = closing;
    closing = null;
    if (resolve) resolve();
    if (heldEnd) end();
    // A wake-up that came while a handler past its box held the form is
    // asked for again, or the timers would stay asleep.
    else if (!waits) send('wake');
  }

  function onBoxKey(event) {
    if (!box.open) return;
    if (event.key === 'Enter' || event.key === ' ' || event.key === 'Escape') {
      event.preventDefault();
      closeBox();
    } else if (event.keyCode == 9) {
      // Tab, with Shift too (a key WebKitGTK may leave unnamed): OK is the
      // box's only control, the focus stays on it.
      event.preventDefault();
      $('boxOk').focus();
    }
  }

  function end() {
    if (ended) return;
    if (box.open && !failing) {
      heldEnd = true;
      stopTimers();
      return;
    }
    ended = skeetra.ended = true;
    stopTimers();
    removeEventListener('resize', place);
    if (form) form.remove();
    form = null;
    if (box.open) box.close();
    $('ended').hidden = false;
    $('again').focus();
    resolveReady();
  }

  // ---------------------------------------------------------------- start

  // The host has built the form: it shows once its fonts and pictures are
  // there and its load event has run, which need not wait for them.
  // `entries`: the module's exported functions by event (load, press,
  // release, cancelPress, wake), each wrapped here, where the browser can,
  // to wait for a box its handler shows.
  async function start(entries) {
    events = {};
    for (const [event, f] of Object.entries(entries)) events[event] = waits ? WebAssembly.promising(f) : f;
    await Promise.all(loading.map((p) => p.catch(() => {})).concat(send('load')));
    if (ended) return;
    place(); // the pictures have their sizes now
    form.style.visibility = 'visible';
    requestAnimationFrame(() => requestAnimationFrame(resolveReady));
  }

  // The module could not be compiled: a site's policy forbade it (the
  // browser reports a violation, or says so in its error), or the browser
  // has no WebAssembly it can run. The browser's own words go to the console.
  // The violation comes as an event of its own, after the error (7 ms in
  // Chromium, 30 ms in Firefox): when it comes, the line says so.
  let wasmForbidden = false;
  let cannotRunShown = false;
  function cannotRun(error) {
    if (error) console.error('skeetra: ' + (error.message || error));
    if (/Content.Security.Policy|\bCSP\b|wasm-eval|unsafe-eval/i.test(String(error && error.message)))
      wasmForbidden = true;
    cannotRunShown = true;
    sayWhy();
    rejectReady(new Error('the game cannot run here'));
  }

  function sayWhy() {
    $('wasmForbidden').hidden = !wasmForbidden;
    $('unsupported').hidden = wasmForbidden;
  }

  // The module compiles while it is still being unpacked.
  async function compileModule() {
    const gzipped = Uint8Array.fromBase64 ? Uint8Array.fromBase64(moduleCode) :
      Uint8Array.from(atob(moduleCode), (c) => c.charCodeAt(0));
    const code = new Response(new Response(gzipped).body.pipeThrough(new DecompressionStream('gzip')),
                              { headers: { 'Content-Type': 'application/wasm' } });
    // Every browser with DecompressionStream has this.
    return WebAssembly.compileStreaming(code);
  }

  function boot() {
    $('again').addEventListener('click', () => location.reload());
    addEventListener('securitypolicyviolation', (event) => {
      if (!/wasm|eval/.test(event.blockedURI)) return;
      wasmForbidden = true;
      if (cannotRunShown) sayWhy();
    });
    // As on the desktop, OK keeps the focus while the box is open, whatever is clicked.
    box.addEventListener('mousedown', (event) => { if (event.target !== $('boxOk')) event.preventDefault(); });
    $('boxOk').addEventListener('click', closeBox);
    box.addEventListener('close', boxClosed);
    // Escape's own way out, taken as OK.
    box.addEventListener('cancel', (event) => { event.preventDefault(); closeBox(); });
    addEventListener('keydown', onBoxKey, true);
    if (typeof WebAssembly !== 'object' || typeof DecompressionStream !== 'function') return cannotRun();
    // The module first: it takes the longest.
    compiled = compileModule();
    decodeEarly();
  }

  // Once the module's loader has run (it comes after this script, in the
  // same element, so that the parser does not stop between them).
  let compiled = null;
  function run() {
    if (!compiled) return;
    createSkeetra({
      // The module is instantiated here rather than by its loader: its code
      // is inside this page, and the box's import must be marked as one
      // that waits.
      instantiateWasm(imports, receive) {
        if (waits) {
          for (const functions of Object.values(imports))
            for (const [name, f] of Object.entries(functions))
              if (f && f.waitsForPlayer) functions[name] = new WebAssembly.Suspending(f);
        }
        let module;
        compiled.then((m) => WebAssembly.instantiate(module = m, imports))
          .then((instance) => receive(instance, module), cannotRun);
        return {};
      },
      print: (line) => console.log(line),
      printErr: (line) => console.error(line),
      onAbort: fail,
    });
  }

  return { openForm, addFont, addLabel, addImage, setCaption, setVisible, wakeIn, showBox, end, start, boot, run,
           useCore };
})();

page.boot();
