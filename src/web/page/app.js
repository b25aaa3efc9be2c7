// The page draws what the program sends over its live stream: the main
// window's rows as they are in the window, and the graphs from their samples.
// Nothing is computed here but the drawing.
"use strict";

const graphs = [null, null];  // {head, samples} as received
let meterViews = [];
let graphViews = [];
let retryMs = 1000;

function el(tag, cls, parent) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (parent) parent.appendChild(e);
  return e;
}

function applyField(e, f, withColours) {
  e.textContent = f.text;
  e.hidden = f.visible === false;
  e.classList.toggle("inactif", f.enabled === false);
  if (withColours) {
    e.style.backgroundColor = f.bg || "";
    e.style.color = f.fg || "";
    e.style.fontWeight = f.bold ? "bold" : "";
  }
}

function applyLed(e, l) {
  e.style.backgroundColor = l.on ? l.on_colour : l.off_colour;
  e.hidden = l.visible === false;
}

function applyGauge(view, g) {
  view.bar.hidden = g.visible === false;
  const max = g.max > 0 ? g.max : 1;
  const pct = (v) => (100 * Math.min(Math.max(v, 0), max)) / max + "%";
  const pos = Math.min(Math.max(g.position, 0), max);
  const z1 = Math.min(Math.max(g.zone1, 0), max);
  const z2 = Math.min(Math.max(g.zone2, z1), max);
  const parts = [[0, Math.min(pos, z1)], [z1, Math.min(pos, z2)], [z2, pos]];
  parts.forEach(([from, to], i) => {
    view.fills[i].style.left = pct(from);
    view.fills[i].style.width = to > from ? `calc(${pct(to)} - ${pct(from)})` : "0";
  });
  view.marks[0].style.left = pct(z1);
  view.marks[1].style.left = pct(z2);
}

function buildMeter(parent) {
  const box = el("div", "compteur", parent);
  const title = el("h2", "", box);
  return { box, title, rows: [] };
}

function buildRow(view, row) {
  const line = el("div", "ligne", view.box);
  const r = { line, label: el("span", "legende", line) };
  if (row.value) r.value = el("span", "valeur", line);
  if (row.gauge) {
    line.classList.add("jauge");
    const bar = el("div", "jauge-barre", line);
    const colours = ["#00ff00", "#ffff00", "#ff0000"];
    r.gauge = { bar, fills: colours.map((c) => { const s = el("span", "", bar); s.style.background = c; return s; }),
                marks: [el("i", "", bar), el("i", "", bar)] };
  }
  if (row.led) r.led = el("span", "led", line);
  if (!row.value && !row.led) line.classList.add("seule");
  view.rows.push(r);
}

function renderWindow(w) {
  document.getElementById("titre").textContent = w.title;
  document.title = w.title;
  document.getElementById("simulee").hidden = !w.simulated;
  applyField(document.getElementById("interface"), w.interface, false);
  applyField(document.getElementById("com"), w.com, false);
  applyField(document.getElementById("trame"), w.frame_label, false);
  w.leds.forEach((l, i) => applyLed(document.getElementById("led" + i), l));
  const lecture = document.getElementById("lecture");
  lecture.textContent = w.reading ? "Lecture en cours" : "Lecture arrêtée";
  lecture.classList.toggle("oui", w.reading);
  const demauto = document.getElementById("demauto");
  demauto.hidden = !w.start_panel.visible;
  demauto.textContent = w.start_panel.text;

  const parent = document.getElementById("compteurs");
  w.meters.forEach((m, i) => {
    if (!meterViews[i]) meterViews[i] = buildMeter(parent);
    const view = meterViews[i];
    // All rows (an array) when the page opens, then only those that changed.
    if (Array.isArray(m.rows) && view.rows.length !== m.rows.length) {
      view.rows.forEach((r) => r.line.remove());
      view.rows = [];
      m.rows.forEach((row) => buildRow(view, row));
    }
    view.box.hidden = m.box.visible === false;
    view.title.textContent = m.box.text;
    Object.entries(m.rows).forEach(([k, row]) => {
      const r = view.rows[k];
      if (!r) return;
      applyField(r.label, row.label, false);
      let shown = row.label.visible !== false;
      if (r.value && row.value) { applyField(r.value, row.value, true); shown = shown || row.value.visible !== false; }
      if (r.gauge && row.gauge) applyGauge(r.gauge, row.gauge);
      if (r.led && row.led) applyLed(r.led, row.led);
      r.line.hidden = !shown;
    });
  });
}

function mergeGraph(i, g) {
  const old = graphs[i];
  if (g.reset || !old) {
    graphs[i] = { head: g, samples: g.samples.slice() };
  } else {
    old.head = g;
    for (const s of g.samples) old.samples.push(s);
    if (old.samples.length > g.max_samples) old.samples.splice(0, old.samples.length - g.max_samples);
  }
}

function drawGraph(i) {
  const data = graphs[i];
  if (!graphViews[i]) {
    const box = el("div", "graphe", document.getElementById("graphes"));
    graphViews[i] = { box, canvas: el("canvas", "", box), caption: el("p", "", box) };
  }
  const view = graphViews[i];
  const g = data.head;
  view.box.hidden = !g.visible;
  view.caption.textContent = g.caption;
  if (!g.visible) return;
  const c = view.canvas;
  const ratio = window.devicePixelRatio || 1;
  const cw = c.clientWidth, ch = c.clientHeight;
  if (c.width !== Math.round(cw * ratio) || c.height !== Math.round(ch * ratio)) {
    c.width = Math.round(cw * ratio);
    c.height = Math.round(ch * ratio);
  }
  const ctx = c.getContext("2d");
  ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
  ctx.fillStyle = "#fff";
  ctx.fillRect(0, 0, cw, ch);
  const left = 52, right = 8, top = 8, bottom = 26;
  const pw = Math.max(10, cw - left - right), ph = Math.max(10, ch - top - bottom);
  ctx.fillStyle = "#000";
  ctx.fillRect(left, top, pw, ph);
  // Vertical scale 0..top, 10 divisions, one decimal; 10 divisions across.
  const yTop = g.top > 0 ? g.top : 1;
  ctx.strokeStyle = "#808080";
  ctx.setLineDash([1, 3]);
  ctx.lineWidth = 1;
  ctx.font = "11px DejaVu Sans, Arial, sans-serif";
  ctx.fillStyle = "#222";
  ctx.textAlign = "right";
  ctx.textBaseline = "middle";
  for (let k = 0; k <= 10; k++) {
    const y = top + ph - (ph * k) / 10;
    const x = left + (pw * k) / 10;
    ctx.beginPath(); ctx.moveTo(left, Math.round(y) + 0.5); ctx.lineTo(left + pw, Math.round(y) + 0.5); ctx.stroke();
    ctx.beginPath(); ctx.moveTo(Math.round(x) + 0.5, top); ctx.lineTo(Math.round(x) + 0.5, top + ph); ctx.stroke();
    ctx.fillText(((yTop * k) / 10).toFixed(1), left - 4, y);
  }
  ctx.setLineDash([]);
  ctx.textAlign = "center";
  ctx.textBaseline = "alphabetic";
  ctx.fillText("Temps", left + pw / 2, ch - 6);
  ctx.save();
  ctx.translate(11, top + ph / 2);
  ctx.rotate(-Math.PI / 2);
  ctx.fillText(g.unit, 0, 0);
  ctx.restore();
  // The samples kept, across at least 20 positions, as the window draws them.
  const s = data.samples;
  const span = Math.max(s.length - 1, 20);
  const colours = ["#ff0000", "#0000ff", "#00ff00"];
  ctx.save();
  ctx.beginPath();
  ctx.rect(left, top, pw, ph);
  ctx.clip();
  ctx.lineWidth = 1.5;
  for (let t = 0; t < g.traces; t++) {
    ctx.strokeStyle = colours[t];
    ctx.beginPath();
    s.forEach((v, k) => {
      const x = left + (pw * k) / span;
      const y = top + ph - (ph * (v[t] || 0)) / yTop;
      if (k === 0) ctx.moveTo(x, y); else ctx.lineTo(x, y);
    });
    ctx.stroke();
  }
  ctx.restore();
}

function renderFiles(files) {
  const ul = document.getElementById("fichiers");
  ul.textContent = "";
  if (!files.length) { el("li", "", ul).textContent = "Aucun fichier pour l'instant."; return; }
  for (const f of files) {
    const li = el("li", "", ul);
    const a = el("a", "", li);
    a.href = f.href;
    a.textContent = f.label;
    li.appendChild(document.createTextNode(" (" + f.file + ")"));
  }
}

function onMessage(text) {
  const m = JSON.parse(text);
  if (m.type !== "state") return;
  renderWindow(m.window);
  m.graphs.forEach((g, i) => { mergeGraph(i, g); drawGraph(i); });
  renderFiles(m.files);
  document.getElementById("maj").textContent =
    "Mis à jour à " + new Date().toLocaleTimeString("fr-FR");
}

function connect() {
  const status = document.getElementById("liaison");
  const ws = new WebSocket((location.protocol === "https:" ? "wss://" : "ws://") + location.host + "/flux");
  ws.onopen = () => { retryMs = 1000; status.textContent = "En direct"; status.classList.add("ok"); };
  ws.onmessage = (e) => onMessage(e.data);
  ws.onclose = () => {
    status.textContent = "Reconnexion…";
    status.classList.remove("ok");
    setTimeout(connect, retryMs);
    retryMs = Math.min(retryMs * 2, 10000);
  };
}

window.addEventListener("resize", () => graphs.forEach((g, i) => { if (g) drawGraph(i); }));
connect();
