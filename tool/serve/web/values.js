// The lookdev page: values as the controls take them, looks read into them,
// and undo.
'use strict';

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

// Steps back (or forward again): the state left goes on the other list.
function step(from, to) {
  if (!from.length) return;
  history.gesture = null;
  to.push(snapshot());
  restore(from.pop());
  showHistory();
}

function undo() {
  step(history.undo, history.redo);
}

function redo() {
  step(history.redo, history.undo);
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
