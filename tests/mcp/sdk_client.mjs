// The official MCP TypeScript SDK as the client of the real nuvra-mcp (and,
// through it, the real nuvra-click) in the headless session, driving the GTK
// fixture the way an agent would: the tool list, list_applications, observe,
// press and settext by number and hash alone, windows, activate, wait for a
// press's result and for a change that never comes, screenshots (with marks
// whose numbers press takes, and one shrunk to fit), a stale hash, hit, and
// close() while a run goes. The SDK checks every structured result against
// the tool's declared output schema.
// NUVRA_MCP_TRANSCRIPT=FILE writes every message, both ways, to FILE.
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import { appendFileSync, existsSync, readFileSync, writeFileSync } from "node:fs";
import { createInterface } from "node:readline";
import { setTimeout as sleep } from "node:timers/promises";
import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StdioClientTransport } from "@modelcontextprotocol/sdk/client/stdio.js";

const NAME = "Nuvra MCP";
const fixture = spawn("/usr/bin/python3", ["-B", `${process.env.NUVRA_FIXTURES}/fixture_app.py`,
  "--app-name", NAME, "--title", "Nuvra MCP window"], { stdio: ["pipe", "pipe", "ignore"] });
const fixtureAnswers = createInterface({ input: fixture.stdout })[Symbol.asyncIterator]();
async function command(object, method, ...args) {
  fixture.stdin.write(`${object} ${method} ${JSON.stringify(args)}\n`);
  return JSON.parse((await fixtureAnswers.next()).value.slice("done ".length));
}

// The SDK passes on only a few variables unless told; the tool needs the display and buses.
const transport = new StdioClientTransport({ command: process.env.NUVRA_MCP, env: process.env });
const transcript = process.env.NUVRA_MCP_TRANSCRIPT;
if (transcript) {
  writeFileSync(transcript, "");
  const log = (way, message) => appendFileSync(transcript, `${way} ${JSON.stringify(message)}\n`);
  const send = transport.send.bind(transport);
  transport.send = (message, options) => (log("client →", message), send(message, options));
  transport.onmessage = (message) => log("server →", message);  // the SDK chains its own after it
}
const client = new Client({ name: "nuvra-sdk-test", version: "1.0.0" });

async function call(name, args) {
  return client.callTool({ name, arguments: args });
}
async function observe() {
  const result = await call("observe", { app: NAME });
  assert.equal(result.isError, false, JSON.stringify(result));
  return result.structuredContent;
}
const one = (seen, test) => {
  const found = seen.elements.filter(test);
  assert.equal(found.length, 1, JSON.stringify(seen.elements));
  return found[0];
};
// The window's own actions run in its main loop after it answered.
async function eventually(read, test) {
  let value;
  for (let i = 0; i < 50 && !test(value = await read()); i++) await sleep(100);
  assert.ok(test(value), JSON.stringify(value));
  return value;
}

try {
  await client.connect(transport);
  const { tools } = await client.listTools();
  const readOnly = Object.fromEntries(tools.map((t) => [t.name, t.annotations.readOnlyHint]));
  assert.deepEqual(readOnly, { observe: true, press: false, settext: false, text: true, click: false,
    drag: false, scroll: false, hit: true, screenshot: true, type: false, key: false,
    list_applications: true, windows: true, activate: false, launch: false, wait: true });
  for (const tool of tools) assert.equal(tool.inputSchema.type, "object", tool.name);

  // The window registers with the accessibility registry in its own time.
  const listing = await eventually(() => call("list_applications", {}),
    (r) => r?.structuredContent.applications.some((a) => a.name === NAME));
  assert.match(listing.content[0].text, /^NUVRA_APP pid=\d+ /);
  assert.deepEqual(listing.structuredContent.applications.find((a) => a.name === NAME),
    { name: NAME, bundleId: "org.nuvra.Fixture", pid: fixture.pid, regular: true, frontmost: true });

  const first = await eventually(() => call("observe", { app: NAME }), (r) => r && !r.isError);
  const seen = first.structuredContent;
  assert.match(first.content[0].text, /^NUVRA_OBSERVE app=Nuvra MCP\n/);
  assert.deepEqual([seen.app, seen.window, seen.sha256.length], [NAME, "Nuvra MCP window", 64]);
  const button = one(seen, (e) => e.role === "AXButton" && e.title === "Count");
  const field = one(seen, (e) => e.title === "Name field");
  one(seen, (e) => e.value === "Clicks: 0");

  const hit = await call("hit", { x: button.x, y: button.y });
  assert.deepEqual(hit.structuredContent, { role: "AXButton", subrole: "", title: "Count",
    label: "Count", enabled: true, focused: button.focused });

  // press and settext with the element's number and the hash alone
  assert.equal((await call("press", { index: button.index, sha256: seen.sha256 })).isError, false);
  await eventually(observe, (s) => s.elements.some((e) => e.value === "Clicks: 1"));
  const text = "Hello from the SDK — ünïcödé, two  spaces\nand a line";
  assert.equal((await call("settext", { index: field.index, text, sha256: seen.sha256 })).isError,
    false);
  const fieldIn = (s) => s.elements.find((e) => e.index === field.index);
  const filled = await eventually(observe, (s) => fieldIn(s).value !== "");
  assert.equal(fieldIn(filled).value, text.replace(/\s+/g, " "));  // as observe prints texts
  assert.equal(await command("name", "get_text"), text);

  // Its windows, one activated, and a press whose result is waited for.
  const listed = (await call("windows", { app: NAME })).structuredContent;
  assert.deepEqual(listed.windows.map((w) => [w.number, w.title, w.focused, w.modal]),
    [[1, "Nuvra MCP window", true, false]]);
  assert.equal((await call("activate", { app: NAME, window: 1 })).isError, false);
  assert.equal((await call("press", { index: button.index, sha256: seen.sha256 })).isError, false);
  const waited = await call("wait", { ms: 5000, text: "Clicks: 2", app: NAME });
  assert.equal(waited.isError, false, JSON.stringify(waited));
  one(waited.structuredContent, (e) => e.value === "Clicks: 2");
  // A window that holds still (its focus may still be settling after the activation).
  const unchanged = await eventually(async () => call("wait", { ms: 300, sha256: (await observe()).sha256 }),
    (r) => r?.isError);
  assert.match(unchanged.content[0].text, /^nuvra-click: no change within 300 ms \(exit status 7\)$/);
  // A PNG of the size reported, beside the observation whose numbers it shows.
  const png = (shot) => {
    assert.equal(shot.isError, false, JSON.stringify(shot.content));
    const [image, words] = shot.content, bytes = Buffer.from(image.data, "base64");
    assert.deepEqual([image.mimeType, bytes.subarray(1, 4).toString(), bytes.readUInt32BE(16),
      bytes.readUInt32BE(20)], ["image/png", "PNG", shot.structuredContent.width, shot.structuredContent.height]);
    return words.text;
  };
  const marked = await call("screenshot", { app: NAME, marks: true });
  assert.match(png(marked), /^NUVRA_OBSERVE app=Nuvra MCP\n(.|\n)*\nNUVRA_SCREENSHOT region=40,20,560,760 pixels=560x760 scale=1 /);
  const drawn = marked.structuredContent.observation;
  const count = one(drawn, (e) => e.title === "Count").index;
  assert.equal((await call("press", { index: count, sha256: drawn.sha256 })).isError, false);
  await eventually(observe, (s) => s.elements.some((e) => e.value === "Clicks: 3"));
  // The whole screen of this session (2000 × 1200) is longer than a result takes.
  const screen = await call("screenshot", { region: { x: 0, y: 0, width: 2000, height: 1200 } });
  png(screen);
  assert.deepEqual(screen.structuredContent, { region: { x: 0, y: 0, width: 2000, height: 1200 },
    width: 1568, height: 941, scale: 0.784 });

  // The window changes under the agent: its hash is stale.
  await command("count", "set_label", "Counter");
  const stale = await call("press", { index: button.index, sha256: seen.sha256 });
  assert.equal(stale.isError, true);
  assert.match(stale.content[0].text, /stale observation.*\(exit status 6\).*call observe again/s);
  const now = await observe();
  one(now, (e) => e.title === "Counter");

  // Typed into the field by number (GTK selects its text on focus, so the
  // keys replace it), then emptied with keys alone.
  assert.equal((await call("type", { index: field.index, text: "Grüße 中文", sha256: now.sha256 })).isError,
    false);
  assert.equal(await command("name", "get_text"), "Grüße 中文");
  assert.equal((await call("key", { keys: ["ctrl+a", "BackSpace"] })).isError, false);
  await eventually(() => command("name", "get_text"), (t) => t === "");

  // close() while a run goes (the window is stopped: observe waits for it): the server ends the
  // run, answers nothing and ends, and no nuvra-click outlives it.
  const server = transport.pid;
  const children = () => readFileSync(`/proc/${server}/task/${server}/children`, "utf8")
    .split(" ").filter(Boolean);
  process.kill(fixture.pid, "SIGSTOP");
  const pending = call("observe", { app: NAME });
  const running = await eventually(children, (pids) => pids.length === 1);
  const exited = new Promise((resolve) => transport._process.once("exit", (...end) => resolve(end)));
  await client.close();
  process.kill(fixture.pid, "SIGCONT");
  await assert.rejects(pending, /Connection closed/);
  assert.deepEqual(await exited, [0, null]);  // on its own, before the SDK's SIGTERM
  assert.deepEqual(running.filter((pid) => existsSync(`/proc/${pid}`)), []);
  console.log("nuvra-mcp served the SDK client: %d tools, press, settext, windows, activate, wait, screenshots, stale, hit, type, key, close",
    tools.length);
} finally {
  await client.close();
  fixture.kill();
}
