// The page in a real browser (Debian's chromium, driven by puppeteer-core),
// served by a headless run on the simulated interface, behind a login (the
// browser's credentials also open the live stream): the first meter's
// address and power are those of /api/state, a later value appears without
// reload within 2 s of the frame that carried it, the page fits a phone, and
// a screenshot is saved.
// usage: node web_browser.js VIRELUZ MODULES_DIR SCREENSHOT.png
"use strict";

const { spawn } = require("child_process");
const fs = require("fs");
const http = require("http");
const net = require("net");
const os = require("os");
const path = require("path");

const [exe, modulesDir, shotPath] = process.argv.slice(2);
const CHROMIUM = "/usr/bin/chromium";
if (!fs.existsSync(CHROMIUM)) { console.error("chromium absent"); process.exit(77); }
const puppeteer = require(path.resolve(modulesDir, "node_modules", "puppeteer-core"));

// A password as the program stores it (each byte XOR 0x1F).
const scramble = (clear) => Array.from(clear, (c) => String.fromCharCode(c.charCodeAt(0) ^ 0x1f)).join("");
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
function fail(msg) { throw new Error("ECHEC: " + msg); }

function freePort() {
  return new Promise((resolve) => {
    const s = net.createServer();
    s.listen(0, "127.0.0.1", () => { const p = s.address().port; s.close(() => resolve(p)); });
  });
}

const USER = "moi", PASSWORD = "mot-de-passe";

function getJson(port, p) {
  return new Promise((resolve, reject) => {
    http.get({ host: "127.0.0.1", port, path: p, auth: `${USER}:${PASSWORD}` }, (res) => {
      let body = "";
      res.on("data", (c) => (body += c));
      res.on("end", () => { try { resolve(JSON.parse(body)); } catch (e) { reject(e); } });
    }).on("error", reject);
  });
}

async function waitFor(fn, ms, step = 50) {
  const end = Date.now() + ms;
  for (;;) {
    const v = await fn();
    if (v || Date.now() > end) return v;
    await sleep(step);
  }
}

// The text of meter m's value box whose caption is `label`, as the page shows it.
function pageValue(page, m, label) {
  return page.evaluate((m, label) => {
    const box = document.querySelectorAll(".compteur")[m];
    if (!box) return null;
    for (const line of box.querySelectorAll(".ligne")) {
      const l = line.querySelector(".legende"), v = line.querySelector(".valeur");
      if (l && v && l.textContent === label) return v.textContent;
    }
    return null;
  }, m, label);
}

async function main() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), "vireluz_e2e_browser_"));
  const port = await freePort();
  fs.writeFileSync(path.join(dir, "vireluz_cfg.ini"),
    `[CONFIG_PRG]\r\nREPERTOIR_ENR=${dir}\r\nPERIODE_ENR=7\r\n[CONFIG_WEB]\r\nACTIF=1\r\nPORT=${port}\r\n` +
    `UTILISATEUR=${USER}\r\nMOT DE PASSE=${scramble(PASSWORD)}\r\n`);
  const run = spawn(exe, ["--headless", "--simulate", "--config-dir", dir, "--run-for", "120"],
                    { stdio: ["ignore", "ignore", "inherit"] });
  let browser;
  try {
    const up = await waitFor(() => new Promise((r) => {
      const s = net.connect(port, "127.0.0.1", () => { s.destroy(); r(true); });
      s.on("error", () => r(false));
    }), 15000, 100);
    if (!up) fail("la page n'est pas servie");
    const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), "vireluz_chromium_"));
    browser = await puppeteer.launch({
      executablePath: CHROMIUM, headless: true, userDataDir,
      args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             `--user-data-dir=${userDataDir}`],
    });
    const page = await browser.newPage();
    const errors = [];
    page.on("pageerror", (e) => errors.push(e.message));
    page.on("console", (m) => { if (m.type() === "error") errors.push(m.text()); });
    await page.authenticate({ username: USER, password: PASSWORD });
    await page.setViewport({ width: 1280, height: 900 });
    await page.goto(`http://127.0.0.1:${port}/`, { waitUntil: "load" });
    await page.evaluate(() => { window.__sansRechargement = true; });

    // The first meter's address and power: those of /api/state.
    const same = await waitFor(async () => {
      const s = await getJson(port, "/api/state");
      const adco = await pageValue(page, 0, "ADCO");
      const papp = await pageValue(page, 0, "Puissance apparente");
      return adco && adco === s.fields.Edit_ADCO1.text && adco.length === 12 &&
             papp === s.fields.Edit_papp1.text && papp !== "" ? { adco, papp } : null;
    }, 10000, 100);
    if (!same) fail("la page ne montre pas les valeurs de /api/state");
    console.log(`compteur 1 : ${same.adco}, ${same.papp}`);

    // A later value: when the program decodes a frame with a new power, the
    // page shows it within 2 s, without reload.
    let delays = [];
    let shown = same.papp;
    for (let i = 0; i < 3; i++) {
      let fresh = null, t0 = 0;
      await waitFor(async () => {
        const s = await getJson(port, "/api/state");
        if (s.fields.Edit_papp1.text !== shown) { fresh = s.fields.Edit_papp1.text; t0 = Date.now(); }
        return fresh;
      }, 30000, 25);
      if (!fresh) fail("aucune nouvelle valeur en 30 s");
      const ok = await waitFor(async () => (await pageValue(page, 0, "Puissance apparente")) === fresh, 2000, 25);
      if (!ok) fail(`valeur ${fresh} absente de la page 2 s après la trame`);
      delays.push(Date.now() - t0);
      shown = fresh;
    }
    if (!(await page.evaluate(() => window.__sansRechargement === true))) fail("la page a été rechargée");
    console.log(`nouvelles valeurs affichées en ${delays.join(", ")} ms (mesure toutes les 25 ms)`);
    const simulated = await page.evaluate(() => !document.getElementById("simulee").hidden);
    if (!simulated) fail("l'interface simulée n'est pas signalée");

    // Graphs with a few samples (more with VIRELUZ_SHOT_WAIT_S), then the screenshot.
    await sleep(1000 * Number(process.env.VIRELUZ_SHOT_WAIT_S || 8));
    await page.screenshot({ path: shotPath, fullPage: true });

    // On a phone: one column, nothing wider than the screen.
    await page.setViewport({ width: 390, height: 844, isMobile: true, deviceScaleFactor: 2 });
    await sleep(500);
    const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
    if (overflow > 1) fail(`la page déborde de ${overflow} px sur un téléphone`);
    await page.screenshot({ path: shotPath.replace(/\.png$/, "_phone.png") });
    if (errors.length) fail("erreurs dans la page : " + errors.join(" | "));
    console.log("OK");
  } finally {
    if (browser) await browser.close();
    run.kill("SIGTERM");
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

main().catch((e) => { console.error(e.message); process.exit(1); });
