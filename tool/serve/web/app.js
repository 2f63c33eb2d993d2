// The lookdev page: controls built from the server's schema, two panels
// redrawn as they move (a quick low-resolution image first, then a refined
// one), the camera orbited by dragging, the look undone, reset, saved, loaded
// and exported.
'use strict';

const REFINED_SAMPLES = 4;
const PANELS = ['maya', 'mentalray'];
const HISTORY_LIMIT = 100;   // changes that undo reaches back over
const BUSY_RETRIES = 30;     // a second apart, while other pages' renders go first
const PREFIXES = ['maya:', 'mentalray:'];

const page = {
  schema: null,
  scene: null,       // the scene entry of the schema
  controls: {},      // control name -> its schema entry
  values: {},        // control name -> number | [r, g, b] | boolean
  opened: {},        // the look the page opened with, in the same form
  rendered: {},      // the values of the newest picture the server drew
  camera: {},        // azimuth, elevation, and distance once zoomed (else fitted)
  light: {},         // azimuth, elevation, intensity, on
  background: [0.6, 0.6, 0.6],
  width: 480, height: 360,
  widgets: {},       // control name (or light.KEY, background) -> {set(value), mark(problem)}
};

// Requests from this page supersede only this page's own.
const CLIENT_ID = 'page-' + Array.from(crypto.getRandomValues(new Uint8Array(9)),
  (b) => b.toString(16).padStart(2, '0')).join('');

const $ = (id) => document.getElementById(id);

// "specularRollOff" -> "Specular Roll Off", as the attribute editor names them;
// "maya:eccentricity" -> "Eccentricity" (the tag says whose).
function niceName(name) {
  const words = bareName(name).replace(/([a-z0-9])([A-Z])/g, '$1 $2');
  return words.charAt(0).toUpperCase() + words.slice(1);
}

function bareName(name) {
  const p = PREFIXES.find((x) => name.startsWith(x));
  return p ? name.slice(p.length) : name;
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

// Defaults as the two deliverables give them: single precision, a colour
// perhaps with its alpha.
function nearly(a, b) {
  const list = (v) => (Array.isArray(v) ? v.slice(0, 3) : [v]);
  const x = list(a), y = list(b);
  return x.length === y.length && x.every((v, i) => (typeof v === 'number' && typeof y[i] === 'number'
    ? Math.abs(v - y[i]) <= 1e-6 * Math.max(1, Math.abs(v)) : v === y[i]));
}

function copyOf(v) {
  return JSON.parse(JSON.stringify(v));
}

// ---- values -----------------------------------------------------------------

// The value `v` as `control` takes it, or an Error saying what is wrong.
function checked(control, v) {
  const range = (x) => {
    if (typeof x !== 'number' || !Number.isFinite(x)) return 'expected a number, not ' + JSON.stringify(x);
    if (control.min !== null && control.min !== undefined && x < control.min) return x + ' is below the minimum ' + control.min;
    if (control.max !== null && control.max !== undefined && x > control.max) return x + ' is above the maximum ' + control.max;
    return '';
  };
  let problem = '';
  if (control.type === 'boolean') {
    if (typeof v !== 'boolean') problem = 'expected true or false, not ' + JSON.stringify(v);
  } else if (control.type === 'color') {
    if (!Array.isArray(v) || v.length !== 3) problem = 'expected a colour [r, g, b], not ' + JSON.stringify(v);
    else problem = v.map(range).find((p) => p) || '';
  } else {
    problem = range(v);
  }
  return problem ? new Error(problem) : v;
}

// Typed text as a number, or as a colour: one grey level or three components,
// apart by spaces or commas.
function parseTyped(control, text) {
  const words = text.trim().split(/[\s,]+/).filter((w) => w);
  const numbers = words.map((w) => (/^[-+]?(\d+\.?\d*|\.\d+)(e[-+]?\d+)?$/i.test(w) ? Number(w) : NaN));
  if (!words.length || numbers.some((n) => !Number.isFinite(n))) {
    return new Error('"' + text.trim() + '" is not ' + (control.type === 'color' ? 'a colour (R G B or one grey level)'
      : 'a number'));
  }
  if (control.type !== 'color') return numbers.length === 1 ? checked(control, numbers[0]) : new Error('expected one number');
  if (numbers.length === 1) return checked(control, [numbers[0], numbers[0], numbers[0]]);
  if (numbers.length !== 3) return new Error('expected R G B or one grey level');
  return checked(control, numbers);
}

// The controls a look's entry sets: its own, and for a bare name the
// per-renderer controls of that name too.
function controlsFor(name) {
  const names = page.controls[name] ? [name] : [];
  if (!PREFIXES.some((p) => name.startsWith(p))) {
    for (const p of PREFIXES) if (page.controls[p + name]) names.push(p + name);
  }
  return names;
}

// What a control is when no look sets it: the deliverable's own default (a
// per-renderer control's schema default is the built-in look's value).
function ownDefault(c) {
  const bare = bareName(c.name);
  if (c.name.startsWith('maya:')) {
    const a = ((page.schema.node && page.schema.node.attributes) || []).find((x) => x.longName === bare);
    if (a && a.default !== null && a.default !== undefined) return copyOf(a.default);
  } else if (c.name.startsWith('mentalray:')) {
    const p = ((page.schema.shader && page.schema.shader.parameters) || []).find((x) => x.name === bare);
    if (p && p.default !== null && p.default !== undefined) {
      return Array.isArray(p.default) ? p.default.slice(0, 3) : copyOf(p.default);
    }
  }
  return copyOf(c.default);
}

// The look `look` (look-file JSON) over the deliverables' defaults, as
// `render --look` takes it; throws naming the first entry the page cannot take.
function valuesOfLook(look) {
  if (!look || typeof look !== 'object' || Array.isArray(look)) throw new Error('expected an object of NAME: VALUE');
  const values = {};
  for (const c of page.schema.controls) values[c.name] = ownDefault(c);
  for (const [name, value] of Object.entries(look)) {
    const names = controlsFor(name);
    if (!names.length) throw new Error(name + ': not an attribute or parameter of the material');
    for (const n of names) {
      const v = checked(page.controls[n], value);
      if (v instanceof Error) throw new Error(name + ': ' + v.message);
      values[n] = copyOf(v);
    }
  }
  return values;
}

// ---- undo -------------------------------------------------------------------

const history = { undo: [], redo: [], gesture: null };

function snapshot() {
  return { values: copyOf(page.values), light: copyOf(page.light), background: copyOf(page.background) };
}

// Called before a change: a drag of one slider (the same gesture) is one change.
function remember(gesture) {
  if (gesture && gesture === history.gesture) return;
  history.gesture = gesture || null;
  history.undo.push(snapshot());
  if (history.undo.length > HISTORY_LIMIT) history.undo.shift();
  history.redo = [];
  showHistory();
}

function restore(state) {
  page.values = copyOf(state.values);
  page.light = copyOf(state.light);
  page.background = copyOf(state.background);
  showAll();
  changed();
}

function undo() {
  if (!history.undo.length) return;
  history.gesture = null;
  history.redo.push(snapshot());
  restore(history.undo.pop());
  showHistory();
}

function redo() {
  if (!history.redo.length) return;
  history.gesture = null;
  history.undo.push(snapshot());
  restore(history.redo.pop());
  showHistory();
}

function showHistory() {
  $('undo').disabled = !history.undo.length;
  $('redo').disabled = !history.redo.length;
  document.body.dataset.undo = String(history.undo.length);
  document.body.dataset.redo = String(history.redo.length);
}

// Every widget shows the page's values again, no entry marked bad.
function showAll() {
  for (const c of page.schema.controls) page.widgets[c.name].set(page.values[c.name]);
  for (const key of ['azimuth', 'elevation', 'intensity', 'on']) page.widgets['light.' + key].set(page.light[key]);
  page.widgets.background.set(page.background);
}

// One change of a material control.
function setControl(name, value, gesture) {
  remember(gesture);
  page.values[name] = value;
  changed();
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

// A typed entry: a bad one is marked at the field, with the problem beneath,
// and the value before it stays in use.
function typedField(text, control, onValue) {
  const field = document.createElement('input');
  field.type = 'text';
  field.className = 'value';
  field.inputMode = 'decimal';
  field.spellcheck = false;
  field.setAttribute('aria-label', text + ' value');
  const problem = document.createElement('p');
  problem.className = 'problem';
  problem.id = 'problem-' + Math.random().toString(36).slice(2);
  problem.hidden = true;
  const mark = (why) => {
    field.classList.toggle('bad', !!why);
    field.setAttribute('aria-invalid', why ? 'true' : 'false');
    problem.hidden = !why;
    problem.textContent = why ? why + '; still using ' + field.dataset.good : '';
    if (why) field.setAttribute('aria-describedby', problem.id);
    else field.removeAttribute('aria-describedby');
  };
  field.addEventListener('change', () => {
    const v = parseTyped(control, field.value);
    if (v instanceof Error) return mark(v.message);
    mark('');
    onValue(v);
  });
  return { field, problem, mark };
}

// A slider with its typed value; onChange(value, gesture) as either moves.
function sliderRow(id, text, control, value, onChange, onReset, title) {
  const row = makeRow(id, text, title);
  const slider = document.createElement('input');
  slider.type = 'range';
  slider.id = id;
  slider.min = control.softMin;
  slider.max = control.softMax;
  slider.step = control.step || (control.softMax - control.softMin) / 1000;
  const typed = typedField(text, control, (v) => { slider.value = v; set(v); onChange(v); });
  const set = (v) => {
    slider.value = v;
    typed.field.value = trimNumber(v);
    typed.field.dataset.good = typed.field.value;
    typed.mark('');
  };
  set(value);
  slider.addEventListener('input', () => {
    const v = Number(slider.value);
    typed.field.value = trimNumber(v);
    typed.field.dataset.good = typed.field.value;
    typed.mark('');
    onChange(v, id);
  });
  slider.addEventListener('change', () => { history.gesture = null; });
  row.append(slider, typed.field, resetButton(text, onReset), typed.problem);
  return { row, set, mark: typed.mark };
}

// A colour: a picker for values from 0 to 1 and typed components, which may
// go above 1 where the attribute allows it.
function colorRow(id, text, control, value, onChange, onReset, title) {
  const row = makeRow(id, text, title);
  row.classList.add('color');
  const picker = document.createElement('input');
  picker.type = 'color';
  picker.id = id;
  const shownText = (v) => v.map((c) => trimNumber(c, 3)).join(' ');
  const typed = typedField(text, control, (v) => { set(v); onChange(v); });
  const set = (v) => {
    picker.value = hexOf(v);
    typed.field.value = shownText(v);
    typed.field.dataset.good = typed.field.value;
    typed.mark('');
  };
  set(value);
  picker.addEventListener('input', () => {
    const v = rgbOf(picker.value);
    typed.field.value = shownText(v);
    typed.field.dataset.good = typed.field.value;
    typed.mark('');
    onChange(v, id);
  });
  picker.addEventListener('change', () => { history.gesture = null; });
  row.append(picker, typed.field, resetButton(text, onReset), typed.problem);
  return { row, set, mark: typed.mark };
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
  return { row, set, mark: () => {} };
}

function materialWidget(control) {
  const id = 'attr-' + control.name;
  const text = niceName(control.name);
  const only = control.renderers.length === 1
    ? (control.renderers[0] === 'maya' ? 'Maya node only' : 'mental ray shader only') : '';
  const title = (control.description || control.name) + (only ? ' (' + only + ')' : '');
  const onChange = (v, gesture) => setControl(control.name, v, gesture);
  const onReset = () => { setControl(control.name, copyOf(page.opened[control.name])); page.widgets[control.name].set(page.values[control.name]); };
  const value = page.values[control.name];
  let w;
  if (control.type === 'color') w = colorRow(id, text, control, value, onChange, onReset, title);
  else if (control.type === 'boolean') w = checkboxRow(id, text, value, onChange, onReset, title);
  else w = sliderRow(id, text, control, value, onChange, onReset, title);
  if (only) {
    const tag = document.createElement('span');
    tag.className = 'only';
    tag.textContent = control.renderers[0] === 'maya' ? 'Maya' : 'mr';
    w.row.querySelector('label').append(tag);
  }
  page.widgets[control.name] = w;
  return w.row;
}

// The light, the background and the camera, beside the material's controls.
function viewWidgets() {
  const set = document.createElement('fieldset');
  const legend = document.createElement('legend');
  legend.textContent = 'Light and View';
  set.append(legend);
  const lightChange = (key) => (v, gesture) => { remember(gesture); page.light[key] = v; changed(); };
  const lightReset = (key) => () => {
    remember();
    page.light[key] = lightOf(page.scene)[key];
    page.widgets['light.' + key].set(page.light[key]);
    changed();
  };
  const lightSlider = (key, text, range) => {
    const control = Object.assign({ type: 'float', min: null, max: null }, range);
    const w = sliderRow('light-' + key, text, control, page.light[key], lightChange(key),
      lightReset(key), range.title);
    page.widgets['light.' + key] = w;
    set.append(w.row);
  };
  const on = checkboxRow('light-on', 'Key light', page.light.on, lightChange('on'), lightReset('on'),
    'The scene\'s key light on or off');
  page.widgets['light.on'] = on;
  set.append(on.row);
  lightSlider('azimuth', 'Light azimuth', { softMin: -180, softMax: 180, step: 1, min: -360, max: 360,
    title: 'Where the key light comes from, around the scene (degrees)' });
  lightSlider('elevation', 'Light elevation', { softMin: -90, softMax: 90, step: 1, min: -90, max: 90,
    title: 'How high the key light stands (degrees)' });
  lightSlider('intensity', 'Light intensity', { softMin: 0, softMax: 3, step: 0.01, min: 0, max: 10,
    title: 'The key light\'s intensity; the two renderers read it differently' });
  const background = colorRow('background', 'Background', { type: 'color', min: 0, max: 1000 }, page.background,
    (v, gesture) => { remember(gesture); page.background = v; changed(); },
    () => { remember(); page.background = copyOf(page.scene.background); page.widgets.background.set(page.background); changed(); },
    'The colour behind the objects (linear), as render --background sets it');
  page.widgets.background = background;
  set.append(background.row);
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
  return { azimuth: scene.light.azimuth, elevation: scene.light.elevation, intensity: scene.light.intensity, on: true };
}

function chooseScene(id) {
  page.scene = page.schema.scenes.find((s) => s.id === id);
  page.light = lightOf(page.scene);
  // Only a model from a file may stand on another axis.
  $('up').value = 'y';
  $('up').disabled = page.scene.upAxes.length < 2;
  page.background = copyOf(page.scene.background);
  for (const key of ['azimuth', 'elevation', 'intensity', 'on']) page.widgets['light.' + key].set(page.light[key]);
  page.widgets.background.set(page.background);
  resetCamera();
}

// ---- what makes the panels differ ---------------------------------------------

// Lines that stay up while a fact of the scene affects one panel only.
function sceneFacts() {
  const facts = [];
  const key = page.scene.light.name;
  const lights = (page.scene.lights || []).map((l) => (l.name === key
    ? Object.assign({}, l, { intensity: page.light.intensity, off: !page.light.on }) : l)).filter((l) => !l.off);
  const side = (r) => (r === 'maya' ? 'Maya node' : 'mental ray shader');
  for (const l of lights) {
    if (l.renderers.length === 1) facts.push('The ' + l.name + ' light reaches the ' + side(l.renderers[0]) + ' only.');
  }
  const weighted = lights.filter((l) => l.intensity !== 1 && l.renderers.length === 2);
  if (weighted.length) {
    facts.push('Light intensity means different things: the Maya node weighs each light\'s tone by it (' +
      weighted.map((l) => l.name + ' ' + trimNumber(l.intensity, 2)).join(', ') +
      '); the mental ray shader takes every light\'s tone in full.');
  }
  if (key && !page.light.on && !lights.some((l) => l.renderers.includes('mentalray'))) {
    facts.push('The key light is off: the mental ray panel is black, no other light reaching the shader.');
  }
  const list = $('facts');
  list.replaceChildren(...facts.map((f) => Object.assign(document.createElement('li'), { textContent: f })));
}

// The notes the command line prints for the same settings.
function showNotes(notes) {
  $('notes').replaceChildren(...notes.map((n) => Object.assign(document.createElement('li'), { textContent: n })));
  $('notes-box').hidden = !notes.length;
}

// ---- rendering --------------------------------------------------------------

let generation = 0;      // bumps with every change
let changedAt = 0;       // when the newest change happened
let inFlight = null;     // {kind, generation}
let dirty = false;
let busyTries = 0;       // retries since the server last said it was busy
let shown = { generation: -1, kind: 'fast' };  // what the panels hold

// The settings that differ from what the server would use anyway (the
// scene's look over the defaults), as the command line passes them; so the
// notes are those the command line prints. A shared control whose shader
// default is not the node's is always sent.
function changedSettings() {
  const settings = {};
  const look = page.scene.look;
  const shaderDefaults = {};
  for (const p of (page.schema.shader && page.schema.shader.parameters) || []) shaderDefaults[p.name] = p.default;
  for (const c of page.schema.controls) {
    const v = page.values[c.name];
    const base = c.name in look ? look[c.name] : ownDefault(c);
    const bare = bareName(c.name);
    const split = !(c.name in look) && c.renderers.includes('mentalray') && bare in shaderDefaults &&
      !nearly(shaderDefaults[bare], c.default);
    if (!same(v, base) || split) settings[c.name] = v;
  }
  return settings;
}

function requestBody(kind, format) {
  const fast = kind === 'fast';
  const light = page.light.on ? { azimuth: page.light.azimuth, elevation: page.light.elevation,
    intensity: page.light.intensity } : { on: false };
  return {
    scene: page.scene.id,
    renderer: 'both',
    width: fast ? Math.max(1, Math.round(page.width / 2)) : page.width,
    height: fast ? Math.max(1, Math.round(page.height / 2)) : page.height,
    samples: fast ? 1 : REFINED_SAMPLES,
    format: format || 'png',
    settings: changedSettings(),
    camera: page.camera,
    up: $('up').value,
    // The scene's own lights and background stay untouched until changed.
    light: same(page.light, lightOf(page.scene)) ? undefined : light,
    background: same(page.background, page.scene.background) ? undefined : page.background,
  };
}

async function post(path, body, client) {
  const res = await fetch(path, {
    method: 'POST',
    headers: { 'Content-Type': 'application/json', 'X-Coolwarm-Client': client || CLIENT_ID },
    body: JSON.stringify(body),
  });
  if (res.ok) return res;
  const why = await res.json().catch(() => ({ error: res.statusText }));
  const error = new Error(why.error || res.statusText);
  error.status = res.status;
  error.stage = why.stage;
  throw error;
}

function showStatus(text, isError, fromRender) {
  const s = $('status');
  s.textContent = text;
  s.classList.toggle('error', !!isError);
  s.dataset.fromRender = fromRender ? 'true' : '';
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

// The server refused a value the page let through: that control is marked,
// goes back to its value in the newest picture, and rendering goes on.
function refuseSetting(error) {
  const m = /^settings\.((?:maya:|mentalray:)?\w+)/.exec(error.message);
  if (!m || !page.controls[m[1]]) return false;
  const name = m[1];
  page.values[name] = copyOf(name in page.rendered ? page.rendered[name] : page.opened[name]);
  page.widgets[name].set(page.values[name]);
  page.widgets[name].mark(error.message);
  changed();
  return true;
}

async function renderNow(kind) {
  const mine = { kind, generation };
  const startedFor = changedAt;
  const body = requestBody(kind);
  const values = copyOf(page.values);
  inFlight = mine;
  let drawn = false;
  try {
    const res = await post('/api/render', body);
    const bitmap = await createImageBitmap(await res.blob());
    busyTries = 0;
    // Anything newer than the panels show is worth drawing, even while the
    // controls move on.
    if (mine.generation > shown.generation || (mine.generation === shown.generation && kind === 'refined')) {
      draw(bitmap, kind, performance.now() - startedFor, 1000 * Number(res.headers.get('X-Coolwarm-Render-Seconds')));
      shown = mine;
      page.rendered = values;
      drawn = mine.generation === generation;
      let notes = [];
      try {
        notes = JSON.parse(res.headers.get('X-Coolwarm-Notes') || '[]');
      } catch (e) {
        notes = [];
      }
      showNotes(Array.isArray(notes) ? notes.map(String) : []);
      if ($('status').dataset.fromRender) showStatus('');
    }
  } catch (e) {
    if (inFlight === mine) inFlight = null;
    if (e.status === 409 && e.stage === 'busy') {
      // Other pages' renders are ahead: try again shortly, and say so.
      busyTries += 1;
      if (busyTries <= BUSY_RETRIES) {
        showStatus('The server is busy with other pages\' renders; trying again (' + busyTries + ')…', false, true);
        setTimeout(() => { if (!inFlight) { dirty = dirty || mine.generation === generation; pump(); } }, 1000);
      } else {
        showStatus('Busy: the server is still rendering for other pages. Change anything to try again.', true, true);
        busyTries = 0;
      }
      return;
    }
    if (e.status === 400 && refuseSetting(e)) return;
    if (e.status !== 409) showStatus(e.message, true, true);  // 409: this page's newer request took its place
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
  delete document.body.dataset.ready;
  sceneFacts();
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
  if ($('up').value !== 'y') words.push('--up', $('up').value);
  words.push('--size', page.width + 'x' + page.height, '--samples', String(REFINED_SAMPLES));
  const look = page.scene.look;
  for (const c of page.schema.controls) {
    const v = page.values[c.name];
    const base = c.name in look ? look[c.name] : ownDefault(c);
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
    words.push('--light', page.scene.light.name + '=' + (l.on
      ? [l.azimuth, l.elevation, l.intensity].map((x) => trimNumber(x, 2)).join(',') : 'off'));
  }
  if (!same(page.background, page.scene.background)) {
    words.push('--background', page.background.map((x) => trimNumber(x, 4)).join(','));
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

function download(blob, name) {
  const url = URL.createObjectURL(blob);
  const a = document.createElement('a');
  a.href = url;
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

// Saving and exporting queue behind the panels' renders rather than cancel them.
const SAVE_CLIENT = CLIENT_ID + '-save';

async function saveImage(format) {
  showStatus('Rendering the ' + format.toUpperCase() + '…');
  try {
    const res = await post('/api/render', requestBody('refined', format), SAVE_CLIENT);
    const name = 'coolwarm-' + page.scene.label.replace(/\W+/g, '-').toLowerCase() + '.' + format;
    download(await res.blob(), name);
    showStatus('Saved ' + name + '.');
  } catch (e) {
    showStatus(e.status === 409 ? 'The server is busy; try the save again.' : e.message, true);
  }
}

function lookName() {
  const name = $('look-name').value.trim();
  return /^[A-Za-z_][A-Za-z0-9_]*$/.test(name) ? name : 'coolwarmLook';
}

// The look as a look file: every control's value, as `render --look` reads it.
function lookJson() {
  const look = {};
  for (const c of page.schema.controls) look[c.name] = page.values[c.name];
  return JSON.stringify(look, null, 2) + '\n';
}

function saveLook() {
  download(new Blob([lookJson()], { type: 'application/json' }), lookName() + '.json');
  showStatus('Saved ' + lookName() + '.json.');
}

// A look file's text over the controls' defaults, as `render --look` takes
// it; a file the page cannot take changes nothing.
function loadLookText(text, fileName) {
  let values;
  try {
    values = valuesOfLook(JSON.parse(text));
  } catch (e) {
    showStatus('Cannot load the look \'' + fileName + '\': ' + e.message, true);
    return false;
  }
  remember();
  page.values = values;
  showAll();
  const stem = fileName.replace(/\.json$/i, '');
  if (/^[A-Za-z_][A-Za-z0-9_]*$/.test(stem)) $('look-name').value = stem;
  changed();
  showStatus('Loaded the look \'' + fileName + '\'.');
  return true;
}

async function loadLookFile() {
  const input = $('look-file');
  const file = input.files[0];
  input.value = '';
  if (!file) return;
  if (file.size > page.schema.limits.maxRequestBytes) {
    showStatus('Cannot load the look \'' + file.name + '\': larger than any look', true);
    return;
  }
  loadLookText(await file.text(), file.name);
}

const EXPORT_SUFFIX = { mel: '.mel', 'mel-preset': '.mel', mi: '.mi', json: '.json' };

async function exportLook(format) {
  showStatus('Exporting ' + format + '…');
  try {
    const res = await post('/api/export', { format, settings: page.values, name: lookName() }, SAVE_CLIENT);
    const disposition = res.headers.get('Content-Disposition') || '';
    const m = /filename="?([^";]+)"?/.exec(disposition);
    const name = m ? m[1] : lookName() + EXPORT_SUFFIX[format];
    download(await res.blob(), name);
    showStatus('Exported ' + name + '.');
  } catch (e) {
    showStatus('Export ' + format + ': ' + e.message, true);
  }
}

// ---- start ------------------------------------------------------------------

// The look the page opens with: the server's look (the built-in one), else the
// built-in scene's.
function openingLook() {
  try {
    return valuesOfLook(page.schema.look || page.schema.scenes[0].look);
  } catch (e) {
    showStatus('The server\'s look does not fit its controls: ' + e.message, true);
    return valuesOfLook({});
  }
}

function onKey(e) {
  if (!(e.ctrlKey || e.metaKey) || e.altKey || e.target === $('look-name')) return;
  const key = e.key.toLowerCase();
  if (key === 'z' && !e.shiftKey) undo();
  else if ((key === 'z' && e.shiftKey) || key === 'y') redo();
  else return;
  e.preventDefault();
}

async function start() {
  const res = await fetch('/api/schema');
  page.schema = await res.json();
  for (const c of page.schema.controls) page.controls[c.name] = c;
  page.opened = openingLook();
  page.values = copyOf(page.opened);
  const select = $('scene');
  for (const s of page.schema.scenes) select.add(new Option(s.label, s.id));
  page.scene = page.schema.scenes[0];
  page.light = lightOf(page.scene);
  page.background = copyOf(page.scene.background);
  page.camera = { azimuth: page.scene.camera.azimuth, elevation: page.scene.camera.elevation };
  buildControls();
  showHistory();

  select.addEventListener('change', () => chooseScene(select.value));
  $('up').disabled = page.scene.upAxes.length < 2;
  $('up').addEventListener('change', () => {
    resetCamera();
  });
  $('size').addEventListener('change', () => {
    [page.width, page.height] = $('size').value.split('x').map(Number);
    changed();
  });
  $('reset-all').addEventListener('click', () => {
    remember();
    page.values = copyOf(page.opened);
    showAll();
    changed();
  });
  $('undo').addEventListener('click', undo);
  $('redo').addEventListener('click', redo);
  document.addEventListener('keydown', onKey);
  $('save-look').addEventListener('click', saveLook);
  $('load-look').addEventListener('click', () => $('look-file').click());
  $('look-file').addEventListener('change', loadLookFile);
  document.querySelectorAll('[data-export]').forEach((b) => b.addEventListener('click', () => exportLook(b.dataset.export)));
  $('copy-command').addEventListener('click', copyCommand);
  $('save-png').addEventListener('click', () => saveImage('png'));
  $('save-exr').addEventListener('click', () => saveImage('exr'));
  document.querySelectorAll('.panel canvas').forEach(attachOrbit);
  changed();
}

start().catch((e) => showStatus('Cannot load the schema: ' + e.message, true));
