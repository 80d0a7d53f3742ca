// Figures of the panel page in Debian's Chromium: the idle simulator's CPU
// with the page open, and the page's picture latency and rate while the
// firmware repaints the whole screen.  Printed, not judged.
//
//   node panel_page.bench.mjs SIMULATOR NODE_MODULES
import fs from "node:fs";
import { WIDTH, HEIGHT, sleep, until, state, start, stop, page, sim, ptyFd } from "./session.mjs";
import * as session from "./session.mjs";

const [simulator, modules] = process.argv.slice(2);

function cpuTicks(pid) {
  const f = fs.readFileSync(`/proc/${pid}/stat`, "utf8").split(") ")[1].split(" ");
  return Number(f[11]) + Number(f[12]);  // utime + stime
}

// Sends a command line from the terminal program; resolves when its prompt came.
async function ptyCommand(line) {
  const from = session.ptyText.length;
  fs.writeSync(ptyFd, line + "\r");
  await until(() => /[>!#]\r/.test(session.ptyText.slice(from)), `no prompt after "${line}"`, 30000, 1);
}

const canvasShows = (rgb) => page.waitForFunction((rgb) => {
  const c = document.getElementById("screen").getContext("2d");
  for (const [x, y] of [[0, 0], [799, 479], [400, 240]]) {
    const d = c.getImageData(x, y, 1, 1).data;
    if (((d[0] << 16) | (d[1] << 8) | d[2]).toString(16).padStart(6, "0") !== rgb) return false;
  }
  return true;
}, rgb, { polling: "raf", timeout: 30000 });

try {
  await start(simulator, modules);

  const hz = 100;  // USER_HZ
  await sleep(500);
  const t0 = Date.now(), c0 = cpuTicks(sim.pid);
  await sleep(5000);
  const cpu = (cpuTicks(sim.pid) - c0) / hz / ((Date.now() - t0) / 1000) * 100;
  console.log(`idle simulator with the page open: ${cpu.toFixed(1)} % of one core (goal under 5 %)`);

  const framesBefore = await page.evaluate(() => window.panel.frames);
  await sleep(1000);
  const still = (await page.evaluate(() => window.panel.frames)) - framesBefore;
  console.log(`pictures sent to the page in 1 s while the panel stands still: ${still}`);

  if (!(await state()).panel_power) {
    console.log("picture latency not measured: the firmware leaves the panel without power");
  } else {
    // A full-screen fill from the terminal program; the time from sending
    // the line until the page has drawn the picture.
    const results = [];
    for (const rgb of ["ff0000", "0000ff", "ffffff"]) {
      const start = performance.timeOrigin + performance.now();
      await ptyCommand(`r 0 0 ${WIDTH - 1} ${HEIGHT - 1} 1 ${rgb}`);
      await canvasShows(rgb);
      const drawn = await page.evaluate(() => performance.timeOrigin + window.panel.lastFrameAt);
      results.push(drawn - start);
    }
    console.log(`page picture latency after a full-screen fill command: ${results.map((r) => r.toFixed(0)).join(", ")} ms (goal under 100 ms)`);

    // The whole screen repainted again and again, as while drawing.
    const frames0 = await page.evaluate(() => window.panel.frames);
    const t1 = Date.now();
    let fills = 0;
    for (; Date.now() - t1 < 2000; fills++)
      await ptyCommand(`r 0 0 ${WIDTH - 1} ${HEIGHT - 1} 1 ${fills & 1 ? "00ff00" : "ff00ff"}`);
    const seconds = (Date.now() - t1) / 1000;
    const rate = ((await page.evaluate(() => window.panel.frames)) - frames0) / seconds;
    console.log(`pictures drawn by the page while the whole screen is refilled (${(fills / seconds).toFixed(0)} fills a second): ${rate.toFixed(0)} a second (goal at least 20)`);
  }
} finally {
  await stop();
}
