// The lookdev page: controls built from the server's schema, two panels
// redrawn as they move (a quick low-resolution image first, then a refined
// one), the camera orbited by dragging, the look undone, reset, saved, loaded
// and exported.
'use strict';

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
