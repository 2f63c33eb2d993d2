// The lookdev page: the controls built from the schema, the scene chooser,
// and the lines that say what makes the panels differ.
'use strict';

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
  // Shows a value that is in use: the one a bad entry falls back to.
  const show = (text) => {
    field.value = text;
    field.dataset.good = text;
    mark('');
  };
  return { field, problem, mark, show };
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
    typed.show(trimNumber(v));
  };
  set(value);
  slider.addEventListener('input', () => {
    const v = Number(slider.value);
    typed.show(trimNumber(v));
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
    typed.show(shownText(v));
  };
  set(value);
  picker.addEventListener('input', () => {
    const v = rgbOf(picker.value);
    typed.show(shownText(v));
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
