// The lookdev page: controls built from the server's schema, two panels
// redrawn as they move (a quick low-resolution image first, then a refined
// one), the camera orbited by dragging.
'use strict';

const REFINED_SAMPLES = 4;
const PANELS = ['maya', 'mentalray'];

const page = {
  schema: null,
  scene: null,       // the scene entry of the schema
  values: {},        // control name -> number | [r, g, b] | boolean
  camera: {},        // azimuth, elevation, and distance once zoomed (else fitted)
  light: {},         // azimuth, elevation, intensity
  width: 480, height: 360,
  widgets: {},       // control name -> {set(value)}
};

const $ = (id) => document.getElementById(id);

// "specularRollOff" -> "Specular Roll Off", as the attribute editor names them.
function niceName(name) {
  const words = name.replace(/([a-z0-9])([A-Z])/g, '$1 $2');
  return words.charAt(0).toUpperCase() + words.slice(1);
}

function trimNumber(v, digits = 3) {
  return String(Number(v.toFixed(digits)));
}

function hexOf(rgb) {
  return '#' + rgb.map((c) => Math.round(Math.min(1, Math.max(0, c)) * 255).toString(16).padStart(2, '0')).join('');
}

function rgbOf(hex) {
  return [1, 3, 5].map((i) => Number((parseInt(hex.substr(i, 2), 16) / 255).toFixed(4)));
}

function same(a, b) {
  return JSON.stringify(a) === JSON.stringify(b);
}

// ---- controls ---------------------------------------------------------------

function makeRow(id, text, title) {
  const row = document.createElement('div');
  row.className = 'row';
  const label = document.createElement('label');
  label.htmlFor = id;
  label.textContent = text;
  if (title) label.title = title;
  row.append(label);
  return row;
}

function resetButton(text, onReset) {
  const b = document.createElement('button');
  b.type = 'button';
  b.className = 'reset';
  b.textContent = '↺';
  b.title = 'Reset ' + text;
  b.setAttribute('aria-label', 'Reset ' + text);
  b.addEventListener('click', onReset);
  return b;
}

// A slider with its number field; onChange(value) as either moves.
function sliderRow(id, text, range, value, onChange, onReset, title) {
  const row = makeRow(id, text, title);
  const slider = document.createElement('input');
  slider.type = 'range';
  slider.id = id;
  slider.min = range.min;
  slider.max = range.max;
  slider.step = range.step || (range.max - range.min) / 1000;
  const field = document.createElement('input');
  field.type = 'number';
  field.step = 'any';
  if (range.hardMin !== undefined) field.min = range.hardMin;
  if (range.hardMax !== undefined) field.max = range.hardMax;
  field.setAttribute('aria-label', text + ' value');
  const set = (v) => { slider.value = v; field.value = trimNumber(v); };
  set(value);
  slider.addEventListener('input', () => { field.value = trimNumber(Number(slider.value)); onChange(Number(slider.value)); });
  field.addEventListener('change', () => {
    let v = Number(field.value);
    if (!Number.isFinite(v)) return set(value);
    if (range.hardMin !== undefined) v = Math.max(range.hardMin, v);
    if (range.hardMax !== undefined) v = Math.min(range.hardMax, v);
    set(v);
    onChange(v);
  });
  row.append(slider, field, resetButton(text, onReset));
  return { row, set };
}

function colorRow(id, text, value, onChange, onReset, title) {
  const row = makeRow(id, text, title);
  const picker = document.createElement('input');
  picker.type = 'color';
  picker.id = id;
  const shown = document.createElement('output');
  shown.htmlFor = id;
  const set = (v) => { picker.value = hexOf(v); shown.value = v.map((c) => trimNumber(c, 2)).join(' '); };
  set(value);
  picker.addEventListener('input', () => {
    const v = rgbOf(picker.value);
    shown.value = v.map((c) => trimNumber(c, 2)).join(' ');
    onChange(v);
  });
  row.append(picker, shown, resetButton(text, onReset));
  return { row, set };
}

function checkboxRow(id, text, value, onChange, onReset, title) {
  const row = makeRow(id, text, title);
  const box = document.createElement('input');
  box.type = 'checkbox';
  box.id = id;
  const shown = document.createElement('output');
  shown.htmlFor = id;
  const set = (v) => { box.checked = v; shown.value = v ? 'on' : 'off'; };
  set(value);
  box.addEventListener('change', () => { shown.value = box.checked ? 'on' : 'off'; onChange(box.checked); });
  row.append(box, shown, resetButton(text, onReset));
  return { row, set };
}

function materialWidget(control) {
  const id = 'attr-' + control.name;
  const text = niceName(control.name);
  const only = control.renderers.length === 1
    ? (control.renderers[0] === 'maya' ? 'Maya node only' : 'mental ray shader only') : '';
  const title = control.name + (only ? ' (' + only + ')' : '');
  const onChange = (v) => { page.values[control.name] = v; changed(); };
  const onReset = () => { setValue(control.name, control.default); changed(); };
  const value = page.values[control.name];
  let w;
  if (control.type === 'color') {
    w = colorRow(id, text, value, onChange, onReset, title);
  } else if (control.type === 'boolean') {
    w = checkboxRow(id, text, value, onChange, onReset, title);
  } else {
    const range = { min: control.softMin, max: control.softMax };
    if (control.min !== null) range.hardMin = control.min;
    if (control.max !== null) range.hardMax = control.max;
    w = sliderRow(id, text, range, value, onChange, onReset, title);
  }
  if (only) {
    const tag = document.createElement('span');
    tag.className = 'only';
    tag.textContent = control.renderers[0] === 'maya' ? 'Maya' : 'mr';
    w.row.querySelector('label').append(tag);
  }
  page.widgets[control.name] = w;
  return w.row;
}

function setValue(name, value) {
  page.values[name] = value;
  page.widgets[name].set(value);
}

// The light and the camera, as sliders beside the material's.
function viewWidgets() {
  const set = document.createElement('fieldset');
  const legend = document.createElement('legend');
  legend.textContent = 'Light and View';
  set.append(legend);
  const lightSlider = (key, text, range) => {
    const w = sliderRow('light-' + key, text, range, page.light[key],
      (v) => { page.light[key] = v; changed(); },
      () => { page.light[key] = lightOf(page.scene)[key]; w.set(page.light[key]); changed(); });
    page.widgets['light.' + key] = w;
    set.append(w.row);
  };
  lightSlider('azimuth', 'Light azimuth', { min: -180, max: 180, step: 1 });
  lightSlider('elevation', 'Light elevation', { min: -90, max: 90, step: 1 });
  lightSlider('intensity', 'Light intensity', { min: 0, max: 3, step: 0.01, hardMin: 0, hardMax: 10 });
  const row = document.createElement('div');
  row.className = 'row';
  const view = document.createElement('button');
  view.type = 'button';
  view.textContent = 'Reset view';
  view.addEventListener('click', resetCamera);
  row.append(view);
  set.append(row);
  return set;
}

function buildControls() {
  const form = $('controls');
  form.replaceChildren(viewWidgets());
  for (const group of page.schema.groups) {
    const members = page.schema.controls.filter((c) => c.group === group);
    if (!members.length) continue;
    const set = document.createElement('fieldset');
    const legend = document.createElement('legend');
    legend.textContent = group;
    set.append(legend);
    for (const c of members) set.append(materialWidget(c));
    form.append(set);
  }
  form.addEventListener('submit', (e) => e.preventDefault());
}

function resetCamera() {
  page.camera = { azimuth: page.scene.camera.azimuth, elevation: page.scene.camera.elevation };
  changed();
}

function lightOf(scene) {
  return { azimuth: scene.light.azimuth, elevation: scene.light.elevation, intensity: scene.light.intensity };
}

function chooseScene(id) {
  page.scene = page.schema.scenes.find((s) => s.id === id);
  page.light = lightOf(page.scene);
  for (const key of ['azimuth', 'elevation', 'intensity']) page.widgets['light.' + key]?.set(page.light[key]);
  resetCamera();
}

// ---- rendering --------------------------------------------------------------

let generation = 0;      // bumps with every change
let changedAt = 0;       // when the newest change happened
let inFlight = null;     // {kind, generation}
let dirty = false;
let shown = { generation: -1, kind: 'fast' };  // what the panels hold

function requestBody(kind, format) {
  const fast = kind === 'fast';
  return {
    scene: page.scene.id,
    renderer: 'both',
    width: fast ? Math.max(1, Math.round(page.width / 2)) : page.width,
    height: fast ? Math.max(1, Math.round(page.height / 2)) : page.height,
    samples: fast ? 1 : REFINED_SAMPLES,
    format: format || 'png',
    settings: page.values,
    camera: page.camera,
    // The scene's own lights stay untouched until the sliders move.
    light: same(page.light, lightOf(page.scene)) ? undefined : page.light,
  };
}

async function post(body) {
  const res = await fetch('/api/render', {
    method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body),
  });
  if (res.ok) return res;
  const why = await res.json().catch(() => ({ error: res.statusText }));
  const error = new Error(why.error || res.statusText);
  error.status = res.status;
  throw error;
}

function showStatus(text, isError) {
  const s = $('status');
  s.textContent = text;
  s.classList.toggle('error', !!isError);
}

function draw(bitmap, kind, ms, renderMs) {
  const panelWidth = (bitmap.width - 2) / 2;
  PANELS.forEach((name, i) => {
    const canvas = document.querySelector('#panel-' + name + ' canvas');
    if (canvas.width !== page.width || canvas.height !== page.height) {
      canvas.width = page.width;
      canvas.height = page.height;
    }
    const g = canvas.getContext('2d');
    g.imageSmoothingEnabled = true;
    g.drawImage(bitmap, i * (panelWidth + 2), 0, panelWidth, bitmap.height, 0, 0, canvas.width, canvas.height);
    canvas.dataset.frames = String(Number(canvas.dataset.frames || 0) + 1);
    const label = $('time-' + name);
    if (kind === 'fast') label.textContent = 'preview ' + Math.round(ms) + ' ms';
    else label.textContent = label.textContent.replace(/ · .*/, '') + ' · refined ' + Math.round(ms) + ' ms';
    label.title = 'server render ' + Math.round(renderMs) + ' ms';
  });
  document.body.dataset[kind + 'Ms'] = String(Math.round(ms));
  if (kind === 'refined') document.body.dataset.ready = 'true';
}

async function renderNow(kind) {
  const mine = { kind, generation };
  const startedFor = changedAt;
  inFlight = mine;
  let drawn = false;
  try {
    const res = await post(requestBody(kind));
    const bitmap = await createImageBitmap(await res.blob());
    // Anything newer than the panels show is worth drawing, even while the
    // controls move on.
    if (mine.generation > shown.generation || (mine.generation === shown.generation && kind === 'refined')) {
      draw(bitmap, kind, performance.now() - startedFor, 1000 * Number(res.headers.get('X-Coolwarm-Render-Seconds')));
      shown = mine;
      drawn = mine.generation === generation;
      showStatus('');
    }
  } catch (e) {
    if (e.status !== 409) showStatus(e.message, true);  // 409: a newer request took its place
  } finally {
    if (inFlight === mine) inFlight = null;
  }
  if (dirty) pump();
  else if (drawn && kind === 'fast' && !inFlight) renderNow('refined');
}

// A change starts a quick render at once unless a quick one is still on its
// way (then it follows that one); a refined render in progress is superseded.
function pump() {
  if (!dirty || (inFlight && inFlight.kind === 'fast')) return;
  dirty = false;
  renderNow('fast');
}

function changed() {
  generation += 1;
  changedAt = performance.now();
  dirty = true;
  pump();
  if (!$('command-box').hidden) updateCommand();
}

// ---- camera -----------------------------------------------------------------

function orbit(dAzimuth, dElevation, zoom = 1) {
  const c = page.camera, limits = page.scene.camera;
  c.azimuth = ((c.azimuth + dAzimuth + 540) % 360) - 180;
  c.elevation = Math.max(-89, Math.min(89, c.elevation + dElevation));
  if (zoom !== 1) {
    c.distance = Math.max(limits.minDistance, Math.min(limits.maxDistance, (c.distance || limits.distance) * zoom));
  }
  changed();
}

function attachOrbit(canvas) {
  let last = null;
  canvas.addEventListener('pointerdown', (e) => {
    last = { x: e.clientX, y: e.clientY };
    canvas.setPointerCapture(e.pointerId);
    canvas.classList.add('dragging');
  });
  canvas.addEventListener('pointermove', (e) => {
    if (!last) return;
    const dx = e.clientX - last.x, dy = e.clientY - last.y;
    last = { x: e.clientX, y: e.clientY };
    if (dx || dy) orbit(-0.5 * dx, 0.4 * dy);
  });
  const end = () => { last = null; canvas.classList.remove('dragging'); };
  canvas.addEventListener('pointerup', end);
  canvas.addEventListener('pointercancel', end);
  canvas.addEventListener('dblclick', resetCamera);
  canvas.addEventListener('wheel', (e) => { e.preventDefault(); orbit(0, 0, e.deltaY > 0 ? 1.08 : 1 / 1.08); },
                          { passive: false });
  canvas.addEventListener('keydown', (e) => {
    const moves = { ArrowLeft: [5, 0], ArrowRight: [-5, 0], ArrowUp: [0, -5], ArrowDown: [0, 5] };
    if (moves[e.key]) orbit(...moves[e.key]);
    else if (e.key === '+' || e.key === '=') orbit(0, 0, 1 / 1.1);
    else if (e.key === '-') orbit(0, 0, 1.1);
    else if (e.key === 'Home') resetCamera();
    else return;
    e.preventDefault();
  });
}

// ---- command line and saving ------------------------------------------------

function shellWord(text) {
  return /^[\w@%+=:,./-]+$/.test(text) ? text : "'" + text.replace(/'/g, "'\\''") + "'";
}

// What `coolwarm render` would need to draw what the page shows: the --sets
// that differ from what it would use anyway (the scene's look over the
// defaults).
function commandLine() {
  const words = ['coolwarm', 'render'];
  const notes = [];
  if (page.scene.id === 'swatch') notes.push('the command line has no swatch scene; it renders the built-in one');
  else if (page.scene.id !== 'built-in') words.push('--scene', shellWord(page.scene.id));
  words.push('--size', page.width + 'x' + page.height, '--samples', String(REFINED_SAMPLES));
  const look = page.scene.look;
  for (const c of page.schema.controls) {
    const v = page.values[c.name];
    const base = c.name in look ? look[c.name] : c.default;
    if (same(v, base)) continue;
    const text = typeof v === 'boolean' ? String(v) : Array.isArray(v) ? v.map((x) => trimNumber(x, 4)).join(',')
      : trimNumber(v, 4);
    words.push('--set', c.name + '=' + text);
  }
  const view = page.scene.camera, c = page.camera;
  if (c.azimuth !== view.azimuth || c.elevation !== view.elevation || c.distance !== undefined) {
    const parts = [c.azimuth, c.elevation].concat(c.distance !== undefined ? [c.distance] : []);
    words.push('--camera', parts.map((x) => trimNumber(x, 2)).join(','));
  }
  if (!same(page.light, lightOf(page.scene))) {
    const l = page.light;
    words.push('--light', page.scene.light.name + '=' + [l.azimuth, l.elevation, l.intensity].map((x) => trimNumber(x, 2)).join(','));
  }
  words.push('--out', 'coolwarm.png');
  return { text: words.join(' '), notes };
}

function updateCommand() {
  const { text, notes } = commandLine();
  $('command').value = text;
  $('command-note').textContent = notes.length ? 'Not carried over: ' + notes.join('; ') + '.' : '';
  return text;
}

async function copyCommand() {
  $('command-box').hidden = false;
  const text = updateCommand();
  try {
    await navigator.clipboard.writeText(text);
    showStatus('Command line copied.');
  } catch (e) {
    $('command').select();
    showStatus('Select the command below and copy it.');
  }
}

async function saveImage(format) {
  showStatus('Rendering the ' + format.toUpperCase() + '…');
  try {
    const res = await post(requestBody('refined', format));
    const url = URL.createObjectURL(await res.blob());
    const a = document.createElement('a');
    a.href = url;
    a.download = 'coolwarm-' + page.scene.label.replace(/\W+/g, '-').toLowerCase() + '.' + format;
    document.body.append(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(url), 10000);
    showStatus('Saved ' + a.download + '.');
  } catch (e) {
    showStatus(e.status === 409 ? 'The save was superseded by a newer change; try again.' : e.message, e.status !== 409);
  }
}

// ---- start ------------------------------------------------------------------

async function start() {
  const res = await fetch('/api/schema');
  page.schema = await res.json();
  const builtIn = page.schema.scenes[0];
  for (const c of page.schema.controls) page.values[c.name] = c.name in page.schema.look ? page.schema.look[c.name] : c.default;
  const select = $('scene');
  for (const s of page.schema.scenes) select.add(new Option(s.label, s.id));
  page.scene = builtIn;
  page.light = lightOf(builtIn);
  page.camera = { azimuth: builtIn.camera.azimuth, elevation: builtIn.camera.elevation };
  buildControls();

  select.addEventListener('change', () => chooseScene(select.value));
  $('size').addEventListener('change', () => {
    [page.width, page.height] = $('size').value.split('x').map(Number);
    changed();
  });
  $('reset-all').addEventListener('click', () => {
    for (const c of page.schema.controls) setValue(c.name, c.default);
    changed();
  });
  $('copy-command').addEventListener('click', copyCommand);
  $('save-png').addEventListener('click', () => saveImage('png'));
  $('save-exr').addEventListener('click', () => saveImage('exr'));
  document.querySelectorAll('.panel canvas').forEach(attachOrbit);
  changed();
}

start().catch((e) => showStatus('Cannot load the schema: ' + e.message, true));
