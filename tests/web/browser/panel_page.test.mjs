// The panel page in real Chromium (Debian's, driven by playwright-core):
// the console on the command port, a drawing command seen in the page's
// picture, the mouse as a finger on the panel, and the SD card switch.
// Prints two figures at the end: the idle simulator's CPU with the page
// open, and the page's picture latency after a full-screen change.
//
//   node panel_page.test.mjs SIMULATOR NODE_MODULES
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import { createRequire } from "node:module";
import fs from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import tty from "node:tty";

const [simulator, modules] = process.argv.slice(2);
const chromiumPath = "/usr/bin/chromium";
const VERSION = "VELM5-PLUS V1.5.8 WVGA";
const FRAME_BUFFER = 0xC3E00000;
const WIDTH = 800, HEIGHT = 480;

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Waits for an async condition, polling; fails with why after limit ms.
async function until(what, why, limit = 10000, every = 50) {
  const end = Date.now() + limit;
  for (;;) {
    const v = await what();
    if (v) return v;
    if (Date.now() > end) assert.fail(why);
    await sleep(every);
  }
}

function freePort() {
  return new Promise((resolve, reject) => {
    const s = net.createServer();
    s.once("error", reject);
    s.listen(0, "127.0.0.1", () => {
      const { port } = s.address();
      s.close(() => resolve(port));
    });
  });
}

let sim, browser, page, base, tmp, ptyPath, ptyFd, ptyIn, ptyText = "";

async function state() {
  const r = await fetch(base + "state");
  return r.json();
}
const consoleText = () => page.locator("#console1").textContent();

// Sends a line from the page's console; returns what the console shows once
// a prompt has come after it (or all it shows when the time is up).
async function pageCommand(line, limit = 5000) {
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
async function canvasPixel(x, y) {
  return page.evaluate(([x, y]) => {
    const d = document.getElementById("screen").getContext("2d").getImageData(x, y, 1, 1).data;
    return ((d[0] << 16) | (d[1] << 8) | d[2]).toString(16).padStart(6, "0");
  }, [x, y]);
}

before(async () => {
  if (!fs.existsSync(chromiumPath))
    assert.fail(`${chromiumPath} is missing: install Debian's chromium (scripts/deps.sh does)`);
  const require = createRequire(path.join(modules, "x.js"));
  const { chromium } = require("playwright-core");

  tmp = fs.mkdtempSync(path.join(os.tmpdir(), "velm-browser-"));
  const httpPort = await freePort();
  sim = spawn(simulator, ["--http", String(httpPort), "--uart1", "pty", "--uart2", "none", "--speed", "realtime",
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
    "the command port never answered vers through the page's console", 20000, 0);
});

after(async () => {
  await browser?.close().catch(() => {});
  ptyIn?.destroy();
  sim?.kill("SIGTERM");
  if (tmp) fs.rmSync(tmp, { recursive: true, force: true });
});

test("the console sends a line with CR and shows the reply, as the pseudo-terminal does", async () => {
  const ptyBefore = ptyText.length;
  const reply = await pageCommand("vers");
  assert.ok(reply.includes(VERSION + " \n>\n"), `the page's console shows ${JSON.stringify(reply)} after vers`);
  await until(() => ptyText.slice(ptyBefore).includes(VERSION),
    "the pseudo-terminal on the same port did not see the reply to the page's vers");

  // And the other way round: a line from the terminal, its reply in the page.
  const pageBefore = (await consoleText()).length;
  fs.writeSync(ptyFd, "vers\r");
  await until(async () => (await consoleText()).slice(pageBefore).includes(VERSION),
    "the page's console did not show the reply to vers sent from the pseudo-terminal");
});

test("the console shows CR as a line end and other control bytes as \\xNN", async () => {
  const reply = await pageCommand("no-such-command");
  assert.match(reply, /\n!\n$/, `the page's console shows ${JSON.stringify(reply)} after an unknown line`);
  // Bytes as the controller may send them (XOFF, LF, a byte above 0x7F).
  await page.click("[data-clear='2']");
  await page.evaluate(() => showConsole(2, new Uint8Array([0x13, 0x41, 0x0D, 0x0A, 0x42, 0x00, 0xFF, 0x0D])));
  assert.equal(await page.locator("#console2").textContent(), "\\x13A\n\\x0AB\\x00\\xFF\n",
    "the console does not show control bytes as \\xNN with CR as the line end");
});

test("a drawing command shows in the page's picture", async (t) => {
  // Magenta reads the same whichever way round the colour word's bytes go.
  const colour = "ff00ff";
  const outside = await canvasPixel(50, 50);
  assert.notEqual(await canvasPixel(150, 125), colour, "the screen is magenta before the rectangle is drawn");
  const reply = await pageCommand(`r 100 100 199 149 1 ${colour}`);
  const prompt = (reply.match(/\n([>!#^?])\n$/) || [])[1];
  if (prompt !== ">") {
    t.skip(`the firmware does not draw yet: it answered ${JSON.stringify(prompt || reply)} to a filled rectangle`);
    return;
  }
  await until(async () => (await canvasPixel(150, 125)) === colour,
    `the filled rectangle is not in the page's picture (its centre is ${await canvasPixel(150, 125)})`, 3000);
  for (const [x, y] of [[100, 100], [199, 149]])
    assert.equal(await canvasPixel(x, y), colour, `corner ${x},${y} of the rectangle is missing in the page`);
  assert.equal(await canvasPixel(50, 50), outside, "the rectangle spilled outside its corners in the page");
});

test("pressing, dragging and releasing the mouse puts the finger on the panel", async () => {
  await page.selectOption("#zoom", "1");
  const box = await page.locator("#screen").boundingBox();
  assert.equal(Math.round(box.width), WIDTH, "the picture is not shown at its true size at 100 %");
  const at = (x, y) => [box.x + x + 0.5, box.y + y + 0.5];
  const finger = async () => { const s = (await state()).touch; return `${s.x},${s.y},${s.down}`; };

  await page.mouse.move(...at(300, 200));
  await page.mouse.down();
  await until(async () => (await finger()) === "300,200,true",
    `/state does not show the finger pressed at 300,200: ${await finger()}`, 3000);
  await page.mouse.move(...at(420, 260), { steps: 5 });
  await until(async () => (await finger()) === "420,260,true",
    `/state does not follow the drag to 420,260: ${await finger()}`, 3000);
  await page.mouse.up();
  await until(async () => (await finger()) === "420,260,false",
    `/state does not show the finger lifted at 420,260: ${await finger()}`, 3000);

  // Zoomed, the same panel pixel is under another screen position.
  await page.selectOption("#zoom", "2");
  const big = await page.locator("#screen").boundingBox();
  await page.mouse.click(big.x + 2 * 123 + 1, big.y + 2 * 45 + 1);
  await until(async () => (await finger()) === "123,45,false",
    `a click at panel pixel 123,45 at 200 % reached the panel as ${await finger()}`, 3000);
  await page.selectOption("#zoom", "1");
});

test("the SD card switch inserts and removes the card", async () => {
  assert.equal((await state()).card_present, false, "a card in the slot before the switch was used");
  await page.click("#card");
  await until(async () => (await state()).card_present === true, "the switch did not insert the card", 3000);
  await page.waitForSelector("#card.active");
  await page.click("#card");
  await until(async () => (await state()).card_present === false, "the switch did not remove the card", 3000);
});

// ---- figures, printed, not judged

function cpuTicks(pid) {
  const f = fs.readFileSync(`/proc/${pid}/stat`, "utf8").split(") ")[1].split(" ");
  return Number(f[11]) + Number(f[12]);  // utime + stime
}

test("figures: idle CPU with the page open, picture latency after a full-screen change", async () => {
  const hz = 100;  // USER_HZ
  await sleep(500);
  const t0 = Date.now(), c0 = cpuTicks(sim.pid);
  await sleep(5000);
  const cpu = (cpuTicks(sim.pid) - c0) / hz / ((Date.now() - t0) / 1000) * 100;
  console.log(`# figure: idle simulator with the page open: ${cpu.toFixed(1)} % of one core (goal under 5 %)`);

  const framesBefore = await page.evaluate(() => window.panel.frames);
  await sleep(1000);
  const still = (await page.evaluate(() => window.panel.frames)) - framesBefore;
  console.log(`# figure: pictures sent to the page in 1 s while the panel stands still: ${still}`);

  const powered = (await state()).panel_power;
  if (!powered) {
    console.log("# figure: picture latency not measured: the firmware leaves the panel without power");
    return;
  }
  // A full-screen change, twice in two colours, written straight into the
  // frame buffer; the time until the page's picture shows it.
  const mem = fs.openSync(`/proc/${sim.pid}/mem`, "r+");
  const results = [];
  for (const [word, rgb] of [[0xF800, "ff0000"], [0x001F, "0000ff"], [0xFFFF, "ffffff"]]) {
    const buf = Buffer.alloc(WIDTH * HEIGHT * 2);
    for (let i = 0; i < WIDTH * HEIGHT; i++) buf.writeUInt16LE(word, 2 * i);
    const start = performance.timeOrigin + performance.now();
    fs.writeSync(mem, buf, 0, buf.length, FRAME_BUFFER);
    await page.waitForFunction((rgb) => {
      const c = document.getElementById("screen").getContext("2d");
      for (const [x, y] of [[0, 0], [799, 479], [400, 240]]) {
        const d = c.getImageData(x, y, 1, 1).data;
        if (((d[0] << 16) | (d[1] << 8) | d[2]).toString(16).padStart(6, "0") !== rgb) return false;
      }
      return true;
    }, rgb, { polling: "raf", timeout: 5000 });
    // When the page drew the picture, on the same wall clock.
    const drawn = await page.evaluate(() => performance.timeOrigin + window.panel.lastFrameAt);
    results.push(drawn - start);
  }
  console.log(`# figure: page picture latency after a full-screen change: ${results.map((r) => r.toFixed(0)).join(", ")} ms (goal under 100 ms)`);

  // A frame buffer that changes all the time, as while drawing.
  const frames0 = await page.evaluate(() => window.panel.frames);
  const t1 = Date.now();
  for (let i = 0; Date.now() - t1 < 2000; i++) {
    const buf = Buffer.alloc(WIDTH * HEIGHT * 2, i & 0xFF);
    fs.writeSync(mem, buf, 0, buf.length, FRAME_BUFFER);
    await sleep(10);
  }
  const rate = ((await page.evaluate(() => window.panel.frames)) - frames0) / ((Date.now() - t1) / 1000);
  fs.closeSync(mem);
  console.log(`# figure: pictures drawn by the page while the whole screen changes: ${rate.toFixed(0)} a second (goal at least 20)`);
});
