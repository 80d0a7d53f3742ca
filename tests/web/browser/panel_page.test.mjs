// The panel page in real Chromium (Debian's, driven by playwright-core):
// the console on the command port, a drawing command seen in the page's
// picture, the mouse as a finger on the panel, and the SD card switch.
//
//   node panel_page.test.mjs SIMULATOR NODE_MODULES
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import fs from "node:fs";
import {
  WIDTH, VERSION, until, state, consoleText, pageCommand, canvasPixel, start, stop, page, ptyFd, ptyText,
} from "./session.mjs";

const [simulator, modules] = process.argv.slice(2);

before(() => start(simulator, modules));
after(stop);

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
    `the filled rectangle is not in the page's picture (its centre is ${await canvasPixel(150, 125)})`, 10000);
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
    `/state does not show the finger pressed at 300,200: ${await finger()}`, 10000);
  await page.mouse.move(...at(420, 260), { steps: 5 });
  await until(async () => (await finger()) === "420,260,true",
    `/state does not follow the drag to 420,260: ${await finger()}`, 10000);
  await page.mouse.up();
  await until(async () => (await finger()) === "420,260,false",
    `/state does not show the finger lifted at 420,260: ${await finger()}`, 10000);

  // Zoomed, the same panel pixel is under another screen position.
  await page.selectOption("#zoom", "2");
  const big = await page.locator("#screen").boundingBox();
  await page.mouse.click(big.x + 2 * 123 + 1, big.y + 2 * 45 + 1);
  await until(async () => (await finger()) === "123,45,false",
    `a click at panel pixel 123,45 at 200 % reached the panel as ${await finger()}`, 10000);
  await page.selectOption("#zoom", "1");
});

test("the SD card switch inserts and removes the card", async () => {
  assert.equal((await state()).card_present, false, "a card in the slot before the switch was used");
  await page.click("#card");
  await until(async () => (await state()).card_present === true, "the switch did not insert the card", 10000);
  await page.waitForSelector("#card.active");
  await page.click("#card");
  await until(async () => (await state()).card_present === false, "the switch did not remove the card", 10000);
});
