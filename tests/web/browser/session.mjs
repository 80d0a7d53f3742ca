// The panel page in Debian's Chromium (driven by playwright-core) beside the
// simulated board it shows: the reference build in real time, a terminal
// program on its command port's pseudo-terminal, and the page open.  Shared
// by the browser test and the browser figures.
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import { createRequire } from "node:module";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import tty from "node:tty";

const chromiumPath = "/usr/bin/chromium";
export const VERSION = "VELM5-PLUS V1.5.8 WVGA";
export const WIDTH = 800, HEIGHT = 480;

export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Waits for an async condition, polling; fails with why after limit ms.
export async function until(what, why, limit = 10000, every = 50) {
  const end = Date.now() + limit;
  for (;;) {
    const v = await what();
    if (v) return v;
    if (Date.now() > end) assert.fail(why);
    await sleep(every);
  }
}

export let sim, browser, page, base, ptyPath, ptyFd, ptyText = "";
let tmp, ptyIn;

export async function state() {
  const r = await fetch(base + "state");
  return r.json();
}
export const consoleText = () => page.locator("#console1").textContent();

// Sends a line from the page's console; returns what the console shows once
// a prompt has come after it (or all it shows when the time is up).
export async function pageCommand(line, limit = 15000) {
  const before = (await consoleText()).length;
  await page.fill("#line1", line);
  await page.press("#line1", "Enter");
  const end = Date.now() + limit;
  for (;;) {
    const text = (await consoleText()).slice(before);
    const m = text.match(/\n([>!#^?])\n/);
    if (m || Date.now() > end) return text;
    await sleep(25);
  }
}

// The page's picture at (x, y) as RRGGBB.
export async function canvasPixel(x, y) {
  return page.evaluate(([x, y]) => {
    const d = document.getElementById("screen").getContext("2d").getImageData(x, y, 1, 1).data;
    return ((d[0] << 16) | (d[1] << 8) | d[2]).toString(16).padStart(6, "0");
  }, [x, y]);
}

// Starts the simulator and the browser with the page open, and waits
// until the firmware answers on the command port.
export async function start(simulator, modules) {
  if (!fs.existsSync(chromiumPath))
    assert.fail(`${chromiumPath} is missing: install Debian's chromium (scripts/deps.sh does)`);
  const require = createRequire(path.join(modules, "x.js"));
  const { chromium } = require("playwright-core");

  tmp = fs.mkdtempSync(path.join(os.tmpdir(), "velm-browser-"));
  sim = spawn(simulator, ["--http", "auto", "--uart1", "pty", "--uart2", "none", "--speed", "realtime",
    "--flash", path.join(tmp, "flash.bin"), "--eeprom", path.join(tmp, "eeprom.bin")],
  { stdio: ["ignore", "pipe", "inherit"] });
  let printed = "";
  sim.stdout.on("data", (d) => { printed += d; });
  await until(() => /^http (\S+)$/m.test(printed), `the simulator did not print its page address: "${printed}"`);
  base = printed.match(/^http (\S+)$/m)[1];
  ptyPath = printed.match(/^uart1 (\S+)$/m)[1];
  // A terminal program on the command port's pseudo-terminal.
  ptyFd = fs.openSync(ptyPath, fs.constants.O_RDWR | fs.constants.O_NOCTTY);
  ptyIn = new tty.ReadStream(ptyFd);
  ptyIn.on("data", (d) => { ptyText += d.toString("latin1"); });

  browser = await chromium.launchPersistentContext(path.join(tmp, "chromium-profile"), {
    executablePath: chromiumPath,
    headless: true,
    timeout: 30000,
    viewport: { width: 1400, height: 1100 },
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
  page = browser.pages()[0] || await browser.newPage();
  page.setDefaultTimeout(10000);
  await page.goto(base);
  await page.waitForSelector("#link.up");
  // The firmware answers once its start-up is over.
  await until(async () => (await pageCommand("vers", 1000)).includes(VERSION),
    "the command port never answered vers through the page's console", 60000, 0);
  // The replies to the lines sent while it was starting come after it.
  let last = -1;
  await until(async () => {
    const now = (await consoleText()).length + ptyText.length;
    const still = now === last;
    last = now;
    return still;
  }, "the command port never fell silent after start-up", 60000, 1500);
}

export async function stop() {
  await browser?.close().catch(() => {});
  ptyIn?.destroy();
  sim?.kill("SIGTERM");
  if (tmp) fs.rmSync(tmp, { recursive: true, force: true });
}
