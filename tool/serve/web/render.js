// The lookdev page: rendering the panels, a quick low-resolution image first
// and then a refined one, newer changes superseding older requests.
'use strict';

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
