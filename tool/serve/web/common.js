// The lookdev page's shared state and small helpers. The page's scripts are
// loaded in order (common, values, controls, render, app) and share one
// global scope; app.js starts the page.
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
