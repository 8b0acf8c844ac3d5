// The served line's page: one live channel for what runs, POST /api/COMMAND for what the user
// asks. No build step, no library: every file comes from the server that serves the line.
"use strict";

const TEXTS = {
  en: {
    linkTitle: "live channel", tabLine: "Line", tabAddress: "Address", tabDevice: "Device",
    tabBus: "Bus", tabFiles: "Files", scan: "Scan", readLevels: "Read levels",
    askTwice: "ask silent addresses twice", quickScan: "quick (addresses back to back)",
    lineEmpty: "No devices known yet: scan the line.",
    randomTitle: "Random addressing", startAddress: "First short address",
    newInstallation: "complete new installation (all addresses will be removed)",
    deleteGroups: "delete groups", deleteScenes: "delete scenes", fast: "fast search",
    opticalFeedback: "optical feedback", start: "Start", physicalTitle: "Physical selection",
    physicalHelp: "Take out the lamp of each ballast in turn and put it back: it gets the next free short address and blinks three times.",
    lamps: "Lamps to address (empty: until the timeout)", timeout: "Timeout (s)",
    removeLamp: "Simulated line: lamps taken out (e.g. index:1,index:2)",
    changeTitle: "Move addresses", changeHelp: "Moves as OLD:NEW, separated by blanks (NEW may be mask)",
    move: "Move", singleTitle: "One address for all",
    singleHelp: "Every ballast on the line takes this short address", give: "Give",
    shortAddress: "Short address", on: "On", off: "Off", identify: "Identify", level: "Level",
    variables: "Variables", groups: "Groups", scenes: "Scenes", pause: "pause", clear: "Clear",
    time: "Time", addressCol: "Address", command: "Command", result: "Result", answer: "Answer",
    meaning: "Meaning", filesTitle: "Backup and hand-over report", backup: "Backup",
    reportHtml: "Report (HTML)", reportPdf: "Report (PDF)", lastResult: "Last result",
    no: "No", yes: "Yes", cancel: "Cancel", conflict: "conflict", type: "type",
    status: "status", noDevice: "no device chosen", running: "%1 runs", done: "%1: done",
    failed: "%1 failed: %2", cancelled: "%1 was cancelled", busy: "%1 runs: wait for it to end or cancel it",
    wipeRandom: "Random addressing with a complete new installation removes the short addresses of every gear on the line (%1 known device(s)).",
    wipeGroups: "The gear lose their groups.", wipeScenes: "The gear lose their scenes.",
    wipePhysical: "Physical selection with a complete new installation removes the short addresses of every gear on the line (%1 known device(s)).",
    wipeSingle: "Every ballast on the line takes short address %1: the addresses they have now are lost (%2 known device(s)).",
    askGo: "Go on?", recovered: "Recovered", addressed: "addressed so far",
    inGroup: "member", notInScene: "not in scene", apply: "Apply", download: "Download",
    offline: "The live channel is down: trying again", reconnected: "Connected",
    value: "Value", name: "Name", scene: "Scene", group: "Group",
    notAllowed: "Not possible: %1", moves: "Give moves as OLD:NEW",
    emergencyTitle: "Emergency lighting", emergencyStatus: "Status", functionTest: "Function test",
    durationTest: "Duration test", passed: "passed", notPassed: "failed",
    testStarted: "%1 started at A%2: the gear tests on its own, the line stays free; the result comes when it reports it",
    testPassed: "%1 at A%2: passed", testFailed: "%1 at A%2: failed", testEnded: "%1 at A%2: %3",
    testsRunning: "Tests in the gear: %1", stopTest: "Stop",
    nameTitle: "Name and place", room: "Room", save: "Save", colourTitle: "Colour temperature",
    colourRead: "Read colour", saved: "Saved",
  },
  de: {
    linkTitle: "Live-Verbindung", tabLine: "Linie", tabAddress: "Adressen", tabDevice: "Gerät",
    tabBus: "Bus", tabFiles: "Dateien", scan: "Suchen", readLevels: "Werte lesen",
    askTwice: "stille Adressen zweimal fragen", quickScan: "schnell (Adressen ohne Pause)",
    lineEmpty: "Noch keine Geräte bekannt: Linie suchen.",
    randomTitle: "Zufallsadressierung", startAddress: "Erste Kurzadresse",
    newInstallation: "komplette Neuinstallation (alle Adressen werden gelöscht)",
    deleteGroups: "Gruppen löschen", deleteScenes: "Szenen löschen", fast: "schnelle Suche",
    opticalFeedback: "optische Rückmeldung", start: "Starten", physicalTitle: "Physikalische Auswahl",
    physicalHelp: "Nehmen Sie nacheinander die Lampe jedes Vorschaltgeräts heraus und setzen Sie sie wieder ein: es erhält die nächste freie Kurzadresse und blinkt dreimal.",
    lamps: "Zu adressierende Lampen (leer: bis zur Zeitgrenze)", timeout: "Zeitgrenze (s)",
    removeLamp: "Simulierte Linie: herausgenommene Lampen (z. B. index:1,index:2)",
    changeTitle: "Adressen verschieben", changeHelp: "Verschiebungen als ALT:NEU, durch Leerzeichen getrennt (NEU darf mask sein)",
    move: "Verschieben", singleTitle: "Eine Adresse für alle",
    singleHelp: "Jedes Vorschaltgerät der Linie erhält diese Kurzadresse", give: "Vergeben",
    shortAddress: "Kurzadresse", on: "Ein", off: "Aus", identify: "Identifizieren", level: "Wert",
    variables: "Variablen", groups: "Gruppen", scenes: "Szenen", pause: "anhalten", clear: "Leeren",
    time: "Zeit", addressCol: "Adresse", command: "Befehl", result: "Ergebnis", answer: "Antwort",
    meaning: "Bedeutung", filesTitle: "Sicherung und Übergabebericht", backup: "Sicherung",
    reportHtml: "Bericht (HTML)", reportPdf: "Bericht (PDF)", lastResult: "Letztes Ergebnis",
    no: "Nein", yes: "Ja", cancel: "Abbrechen", conflict: "Konflikt", type: "Typ",
    status: "Status", noDevice: "kein Gerät gewählt", running: "%1 läuft", done: "%1: fertig",
    failed: "%1 fehlgeschlagen: %2", cancelled: "%1 wurde abgebrochen", busy: "%1 läuft: warten Sie das Ende ab oder brechen Sie ab",
    wipeRandom: "Zufallsadressierung mit kompletter Neuinstallation löscht die Kurzadressen aller Geräte der Linie (%1 bekannte(s) Gerät(e)).",
    wipeGroups: "Die Geräte verlieren ihre Gruppen.", wipeScenes: "Die Geräte verlieren ihre Szenen.",
    wipePhysical: "Physikalische Auswahl mit kompletter Neuinstallation löscht die Kurzadressen aller Geräte der Linie (%1 bekannte(s) Gerät(e)).",
    wipeSingle: "Jedes Vorschaltgerät der Linie erhält die Kurzadresse %1: seine jetzige Adresse geht verloren (%2 bekannte(s) Gerät(e)).",
    askGo: "Fortfahren?", recovered: "Behoben", addressed: "bisher adressiert",
    inGroup: "Mitglied", notInScene: "nicht in Szene", apply: "Übernehmen", download: "Herunterladen",
    offline: "Die Live-Verbindung ist unterbrochen: neuer Versuch läuft", reconnected: "Verbunden",
    value: "Wert", name: "Name", scene: "Szene", group: "Gruppe",
    notAllowed: "Nicht möglich: %1", moves: "Verschiebungen als ALT:NEU angeben",
    emergencyTitle: "Notbeleuchtung", emergencyStatus: "Status", functionTest: "Funktionstest",
    durationTest: "Betriebsdauertest", passed: "bestanden", notPassed: "nicht bestanden",
    testStarted: "%1 an A%2 gestartet: das Gerät prüft selbst, die Linie bleibt frei; das Ergebnis kommt, sobald es sich meldet",
    testPassed: "%1 an A%2: bestanden", testFailed: "%1 an A%2: nicht bestanden", testEnded: "%1 an A%2: %3",
    testsRunning: "Tests im Gerät: %1", stopTest: "Beenden",
    nameTitle: "Name und Ort", room: "Raum", save: "Speichern", colourTitle: "Farbtemperatur",
    colourRead: "Farbe lesen", saved: "Gespeichert",
  },
};

// The bits of a QUERY STATUS answer, from bit 0 up.
const STATUS_BITS = {
  en: ["control gear failure", "lamp failure", "lamp on", "limit error", "fade running",
       "reset state", "missing short address", "power failure"],
  de: ["Betriebsgerätefehler", "Lampenfehler", "Lampe an", "Grenzwertfehler", "Dimmvorgang läuft",
       "Reset-Zustand", "Kurzadresse fehlt", "Netzausfall"],
};

function statusText(status) {
  if (typeof status !== "number") return status === "several" ? t("conflict") : "";
  const names = STATUS_BITS[state.lang] || STATUS_BITS.en;
  return names.filter((name, bit) => status & (1 << bit)).join(", ");
}

const COMMAND_NAMES = {
  en: {
    "scan": "Scan", "address random": "Random addressing", "address physical": "Physical selection",
    "address single": "One address for all", "address change": "Moving addresses", "send": "Command",
    "query": "Query", "variables": "Variables", "groups": "Groups", "scenes": "Scenes",
    "backup": "Backup", "report": "Report", "status": "Reading levels", "identify": "Identify",
    "restore": "Restore", "replace": "Replacement", "emergency status": "Emergency status",
    "emergency test": "Emergency test", "name": "Naming", "colour": "Colour temperature",
  },
  de: {
    "restore": "Wiederherstellung", "replace": "Austausch", "emergency status": "Notlichtstatus",
    "emergency test": "Notlichttest", "name": "Benennen", "colour": "Farbtemperatur",
    "scan": "Suche", "address random": "Zufallsadressierung", "address physical": "Physikalische Auswahl",
    "address single": "Eine Adresse für alle", "address change": "Adressen verschieben", "send": "Befehl",
    "query": "Abfrage", "variables": "Variablen", "groups": "Gruppen", "scenes": "Szenen",
    "backup": "Sicherung", "report": "Bericht", "status": "Werte lesen", "identify": "Identifizieren",
  },
};

const state = {
  lang: localStorage.getItem("zd4270.lang") || "",
  terminals: [],
  position: null,
  devices: {},     // position -> [{shortAddress, conflict, ...}]
  details: {},     // "pos/address" -> what the last reading said of the device
  gearTests: {},   // position -> [{address, test}] running in the gear
  commands: [],
  run: null,
  busPaused: false,
  socket: null,
  retry: 500,
};

function t(key, ...args) {
  const table = TEXTS[state.lang] || TEXTS.en;
  let text = table[key] ?? TEXTS.en[key] ?? key;
  args.forEach((arg, i) => { text = text.replaceAll("%" + (i + 1), String(arg)); });
  return text;
}

function commandName(name) {
  return (COMMAND_NAMES[state.lang] || {})[name] || name;
}

const $ = (selector) => document.querySelector(selector);

function el(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes)) {
    if (key === "class") node.className = value;
    else if (key.startsWith("on")) node.addEventListener(key.slice(2), value);
    else node.setAttribute(key, value);
  }
  for (const child of children) node.append(child instanceof Node ? child : String(child));
  return node;
}

function applyLanguage() {
  document.documentElement.lang = state.lang;
  for (const node of document.querySelectorAll("[data-t]")) node.textContent = t(node.dataset.t);
  for (const node of document.querySelectorAll("[data-t-title]")) node.title = t(node.dataset.tTitle);
  $("#lang").textContent = state.lang === "de" ? "EN" : "DE";
  renderDevices();
  renderRun();
}

let noticeTimer = null;
function notice(text, kind = "") {
  const box = $("#notice");
  box.textContent = text;
  box.className = "notice " + kind;
  box.hidden = !text;
  // What went well goes by itself; errors stay until tapped.
  clearTimeout(noticeTimer);
  if (kind === "ok") noticeTimer = setTimeout(() => { box.hidden = true; }, 6000);
}

// --- the JSON commands ---

async function command(name, options = {}) {
  const body = { ...options, lang: state.lang };
  if (state.position !== null && state.terminals.length > 1) body.pos = state.position;
  let response;
  try {
    response = await fetch("/api/" + name.replaceAll(" ", "/"), {
      method: "POST",
      headers: { "Content-Type": "application/json" },
      body: JSON.stringify(body),
      credentials: "same-origin",
    });
  } catch (error) {
    notice(t("failed", commandName(name), error.message), "error");
    return null;
  }
  const document = await response.json().catch(() => ({}));
  if (response.status === 409) {
    notice(t("busy", commandName(document.running || "")), "error");
    return null;
  }
  if (!response.ok) {
    notice(t("notAllowed", document.error || response.status), "error");
    return null;
  }
  return document;
}

function knownDevices() {
  return state.devices[String(state.position ?? -1)] || [];
}

async function confirmWipe(text) {
  const dialog = $("#confirm");
  $("#confirm-text").textContent = text + " " + t("askGo");
  dialog.returnValue = "no";
  dialog.showModal();
  return new Promise((resolve) => {
    dialog.addEventListener("close", () => resolve(dialog.returnValue === "yes"), { once: true });
  });
}

// --- the live channel ---

function connect() {
  const scheme = location.protocol === "https:" ? "wss://" : "ws://";
  const socket = new WebSocket(scheme + location.host + "/live");
  state.socket = socket;
  socket.addEventListener("open", () => {
    state.retry = 500;
    $("#link").className = "link up";
    if ($("#notice").textContent === t("offline")) notice("");
  });
  socket.addEventListener("message", (message) => {
    let event;
    try { event = JSON.parse(message.data); } catch { return; }
    receive(event);
  });
  socket.addEventListener("close", () => {
    $("#link").className = "link down";
    notice(t("offline"), "error");
    setTimeout(connect, state.retry);
    state.retry = Math.min(state.retry * 2, 8000);
  });
}

function receive(event) {
  switch (event.type) {
    case "hello":
      if (!state.lang) state.lang = event.language || "en";
      state.terminals = event.terminals || [];
      state.commands = event.commands || [];
      if (state.position === null && state.terminals.length) state.position = state.terminals[0].position;
      state.devices = event.devices || {};
      state.gearTests = event.gearTests || {};
      renderGearTests();
      state.run = event.run ? { ...event.run, progress: event.progress } : null;
      renderTerminals();
      $("#identify").hidden = !state.commands.includes("identify");
      $("#read-levels").hidden = !state.commands.includes("status");
      $("#bus tbody").replaceChildren();
      addBusRows(event.bus || []);
      if (event.last && Object.keys(event.last).length) showDocument(event.last, false);
      applyLanguage();
      break;
    case "started":
      state.run = { command: event.command, run: event.run, position: event.position, progress: null };
      renderRun();
      break;
    case "progress":
      if (!state.run) state.run = { command: event.command };
      state.run.progress = event;
      renderRun();
      break;
    case "ended":
      // A short job that ran during an identify leaves the identify's run shown.
      if (!state.run || state.run.run === undefined || state.run.run === event.run) state.run = null;
      renderRun();
      showDocument(event.document, true);
      break;
    case "bus":
      addBusRows(event.rows || []);
      break;
    case "gear-test":
      gearTestEnded(event);
      break;
  }
  window.__zdEvents = (window.__zdEvents || 0) + 1;
}

// --- what the page shows ---

function renderTerminals() {
  const select = $("#terminal");
  select.hidden = state.terminals.length < 2;
  select.replaceChildren(...state.terminals.map((terminal) =>
    el("option", { value: terminal.position }, `${terminal.position}: ${terminal.name || terminal.connection}`)));
  if (state.position !== null) select.value = state.position;
  document.body.classList.toggle("simulated",
    state.terminals.some((terminal) => terminal.connection === "simulated line"));
}

function renderRun() {
  const panel = $("#run");
  const run = state.run;
  panel.hidden = !run;
  document.body.classList.toggle("busy", !!run);
  if (!run) return;
  $("#run-command").textContent = t("running", commandName(run.command));
  const progress = run.progress;
  const bar = $("#run-bar");
  if (progress && typeof progress.fraction === "number") bar.value = progress.fraction;
  else bar.removeAttribute("value");
  $("#run-text").textContent = progress ? progress.text : "";
  const lamps = $("#run-lamps");
  const addresses = progress && progress.addresses ? progress.addresses : [];
  lamps.replaceChildren(...addresses.map((address) => el("span", { class: "lamp on" }, "A" + address)));
  lamps.title = t("addressed");
}

function deviceKey(address) {
  return `${state.position ?? -1}/${address}`;
}

function renderDevices() {
  const list = $("#line-devices");
  const devices = knownDevices();
  $("#line-empty").hidden = devices.length > 0;
  list.replaceChildren(...devices.map((device) => {
    const detail = state.details[deviceKey(device.shortAddress)] || {};
    const level = detail.level ?? device.level;
    const levelText = detail.levelText ?? device.levelText ?? (typeof level === "number" ? String(level) : null);
    const type = detail.deviceType ?? device.deviceType;
    const status = statusText(detail.status ?? device.status);
    const item = el("li", { class: "device" + (device.conflict ? " conflict" : ""), tabindex: "0" },
      el("span", { class: "address" }, "A" + device.shortAddress),
      el("span", { class: "lamp " + (typeof level === "number" && level > 0 ? "on" : "off") }),
      el("span", { class: "level" }, levelText ?? "–"),
      el("span", { class: "type muted" }, typeof type === "number" ? `${t("type")} ${type}` : ""),
      el("span", { class: "status muted" }, status || ""),
      device.name ? el("span", { class: "name" }, device.name + (device.room ? ` · ${device.room}` : "")) : "",
      device.conflict ? el("span", { class: "badge" }, t("conflict")) : "");
    const open = () => openDevice(device.shortAddress);
    item.addEventListener("click", open);
    item.addEventListener("keydown", (event) => { if (event.key === "Enter") open(); });
    return item;
  }));
  const select = $("#device-address");
  const chosen = select.value;
  select.replaceChildren(...devices.map((device) =>
    el("option", { value: device.shortAddress }, "A" + device.shortAddress)));
  if (chosen) select.value = chosen;
}

function showTab(name) {
  for (const button of document.querySelectorAll("#tabs button"))
    button.classList.toggle("active", button.dataset.tab === name);
  for (const section of document.querySelectorAll("main .tab"))
    section.hidden = section.id !== "tab-" + name;
}

function openDevice(address) {
  $("#device-address").value = String(address);
  $("#device-view").replaceChildren();
  const device = knownDevices().find((d) => d.shortAddress === address);
  $("#device-name").textContent = device && device.name ? device.name : "";
  renderDeviceExtras();
  showTab("device");
}

function chosenAddress() {
  const value = $("#device-address").value;
  if (value === "") { notice(t("noDevice"), "error"); return null; }
  return Number(value);
}

function showDocument(document, fresh) {
  $("#last").textContent = JSON.stringify(document, null, 2);
  const name = document.command || "";
  if (Array.isArray(document.devices)) {
    state.devices[String(document.position ?? state.position ?? -1)] = document.devices;
    for (const device of document.devices) {
      if (device.level !== undefined || device.status !== undefined) {
        state.details[`${document.position ?? state.position ?? -1}/${device.shortAddress}`] = device;
      }
    }
    renderDevices();
  }
  const recovered = $("#recovered");
  if (Array.isArray(document.recovered) && document.recovered.length) {
    recovered.replaceChildren(el("h3", {}, t("recovered")),
      el("ul", {}, ...document.recovered.map((r) => el("li", {}, r.text + (r.count > 1 ? ` (×${r.count})` : "")))));
  } else if (Array.isArray(document.recovered)) {
    recovered.replaceChildren();
  }
  if (Array.isArray(document.downloads)) {
    const list = $("#downloads");
    for (const address of document.downloads) {
      list.prepend(el("li", {}, el("a", { href: address, download: "" }, `${t("download")}: ${address.split("/").pop()}`)));
    }
  }
  if (!fresh) return;
  if (document.cancelled || document.interrupted) notice(t("cancelled", commandName(name)), "error");
  else if (document.exitCode && document.error) notice(t("failed", commandName(name), document.error), "error");
  else if (document.exitCode === 0) notice(t("done", commandName(name)), "ok");
}

// --- the device page's readings ---

function showVariables(document) {
  const variables = document.variables || {};
  const rows = Object.entries(variables).map(([name, variable]) =>
    el("tr", {}, el("th", {}, variable.caption || name),
      el("td", {}, (variable.text ?? "?") + (variable.converted ? ` (${variable.converted})` : ""))));
  $("#device-view").replaceChildren(el("table", { class: "grid" }, el("tbody", {}, ...rows)));
  const address = document.shortAddress ?? chosenAddress();
  const actual = variables["actual-level"];
  if (actual && typeof actual.value === "number") {
    state.details[deviceKey(address)] = { ...(state.details[deviceKey(address)] || {}), level: actual.value };
    $("#dim").value = Math.min(actual.value, 254);
    $("#dim-value").textContent = $("#dim").value;
    renderDevices();
  }
}

function showGroups(document, address) {
  const member = new Set(document.groups || []);
  const boxes = [];
  for (let group = 0; group < 16; ++group) {
    const box = el("input", { type: "checkbox", "data-group": group });
    box.checked = member.has(group);
    boxes.push(el("label", { class: "check cell" }, box, ` ${group}`));
  }
  const apply = el("button", { type: "button", class: "primary" }, t("apply"));
  apply.addEventListener("click", async () => {
    const add = [], remove = [];
    for (const box of document_boxes()) {
      const group = Number(box.dataset.group);
      if (box.checked && !member.has(group)) add.push(group);
      if (!box.checked && member.has(group)) remove.push(group);
    }
    const options = { short: address };
    if (add.length) options.add = add.join(",");
    if (remove.length) options.remove = remove.join(",");
    const result = await command("groups", options);
    if (result && !result.exitCode) showGroups(result, address);
  });
  const grid = el("div", { class: "cells" }, ...boxes);
  const document_boxes = () => grid.querySelectorAll("input");
  $("#device-view").replaceChildren(el("h3", {}, t("groups")), grid, apply);
}

function showScenes(document, address) {
  const scenes = document.scenes || {};
  const shown = (level) => (level === null || level === undefined ? "" : String(level));
  const inputs = [];
  const rows = [];
  for (let scene = 0; scene < 16; ++scene) {
    const input = el("input", { type: "text", value: shown(scenes[scene]), inputmode: "numeric", "data-scene": scene, size: "5" });
    inputs.push(input);
    rows.push(el("tr", {}, el("th", {}, `${t("scene")} ${scene}`), el("td", {}, input)));
  }
  const apply = el("button", { type: "button", class: "primary" }, t("apply"));
  apply.addEventListener("click", async () => {
    const changes = inputs.filter((input) => input.value.trim() !== shown(scenes[input.dataset.scene]))
      .map((input) => `${input.dataset.scene}=${input.value.trim() || "mask"}`);
    if (!changes.length) return;
    const result = await command("scenes", { short: address, set: changes.join(",") });
    if (result && !result.exitCode) showScenes(result, address);
  });
  $("#device-view").replaceChildren(el("h3", {}, t("scenes")),
    el("table", { class: "grid" }, el("tbody", {}, ...rows)), apply);
}

// A value of a document as a person reads it: lists joined, a colour temperature in kelvin,
// other objects as their keys and values.
function factText(value) {
  if (value === null || value === undefined) return "–";
  if (Array.isArray(value)) return value.map(factText).join(", ");
  if (typeof value !== "object") return String(value);
  if ("kelvin" in value) return `${value.kelvin} K (${value.mirek} mirek)`;
  return Object.entries(value).map(([key, part]) => `${key}: ${factText(part)}`).join("; ");
}

// A document's own values as a table: what a reading of the device said.
function showFacts(document, skip = ["command", "messages", "lineTimeMs", "requests", "exitCode", "position"]) {
  const rows = Object.entries(document).filter(([key]) => !skip.includes(key)).map(([key, value]) => {
    let text = value;
    if (key === "passed") text = value ? t("passed") : t("notPassed");
    else text = factText(value);
    return el("tr", {}, el("th", {}, key), el("td", {}, text ?? "–"));
  });
  $("#device-view").replaceChildren(el("table", { class: "grid" }, el("tbody", {}, ...rows)));
}

// The tests that run in the gear now, started from any browser.
function renderGearTests() {
  const tests = Object.values(state.gearTests || {}).flat();
  const line = $("#gear-tests");
  line.hidden = !tests.length;
  line.replaceChildren(t("testsRunning", ""), ...tests.map((test) => {
    const stop = el("button", { type: "button", class: "small" }, t("stopTest"));
    stop.addEventListener("click", () => command("emergency test", { words: ["stop"], short: test.address }));
    return el("span", { class: "gear-test" },
      `${test.test === "duration" ? t("durationTest") : t("functionTest")} A${test.address} `, stop);
  }));
}

function gearTestEnded(event) {
  const result = event.document || {};
  const key = String(event.position ?? -1);
  const running = (state.gearTests || {})[key] || [];
  state.gearTests[key] = running.filter((test) => test.address !== result.shortAddress);
  renderGearTests();
  const kind = result.test === "duration" ? t("durationTest") : t("functionTest");
  if (result.error) notice(t("testEnded", kind, result.shortAddress, result.error), "error");
  else if (result.passed) notice(t("testPassed", kind, result.shortAddress), "ok");
  else notice(t("testFailed", kind, result.shortAddress), "error");
  if (String(result.shortAddress) === $("#device-address").value) showFacts(result);
}

// The parts of the device page that only some gear have, by its device type when it is known.
function renderDeviceExtras() {
  const address = $("#device-address").value;
  const detail = address === "" ? {} : (state.details[deviceKey(Number(address))] || {});
  const type = detail.deviceType;
  $("#emergency").hidden = !state.commands.includes("emergency status") ||
    (typeof type === "number" && type !== 1);
  $("#colour-panel").hidden = !state.commands.includes("colour") || (typeof type === "number" && type !== 8);
  const naming = $("#naming");
  naming.hidden = !state.commands.includes("name") || address === "";
  const device = knownDevices().find((d) => String(d.shortAddress) === address) || {};
  naming.elements.name.value = device.name || "";
  naming.elements.room.value = device.room || "";
}

// --- the bus monitor ---

function addBusRows(rows) {
  if (state.busPaused) return;
  const body = $("#bus tbody");
  for (const row of rows) {
    const existing = body.querySelector(`tr[data-n="${row.n}"]`);
    const line = el("tr", { "data-n": row.n },
      el("td", {}, row.time), el("td", {}, row.address), el("td", {}, row.command),
      el("td", {}, row.result), el("td", {}, row.answer), el("td", {}, row.meaning));
    if (existing) existing.replaceWith(line);
    else body.prepend(line);
  }
  while (body.rows.length > 300) body.deleteRow(body.rows.length - 1);
}

// --- the user's actions ---

function formOptions(form) {
  const options = {};
  for (const input of form.querySelectorAll("input")) {
    if (!input.name || input.closest("[hidden]")) continue;
    if (input.type === "checkbox") { if (input.checked) options[input.name] = true; }
    else if (input.value.trim() !== "") options[input.name] = input.value.trim();
  }
  return options;
}

async function addressRun(name, form, wipeKey) {
  const options = formOptions(form);
  const count = knownDevices().length;
  const wipes = [];
  if (options["new-installation"]) wipes.push(t(wipeKey, count));
  if (options["delete-groups"]) wipes.push(t("wipeGroups"));
  if (options["delete-scenes"]) wipes.push(t("wipeScenes"));
  if (wipes.length) {
    if (!(await confirmWipe(wipes.join(" ")))) return;
    options.yes = true;
  }
  showTab("line");
  await command(name, options);
}

function wire() {
  $("#notice").addEventListener("click", () => { $("#notice").hidden = true; });
  $("#lang").addEventListener("click", () => {
    state.lang = state.lang === "de" ? "en" : "de";
    localStorage.setItem("zd4270.lang", state.lang);
    notice("");
    applyLanguage();
  });
  $("#terminal").addEventListener("change", (event) => {
    state.position = Number(event.target.value);
    renderDevices();
  });
  for (const button of document.querySelectorAll("#tabs button"))
    button.addEventListener("click", () => showTab(button.dataset.tab));
  $("#cancel").addEventListener("click", () => fetch("/api/cancel", { method: "POST", credentials: "same-origin" }));
  $("#scan").addEventListener("click", () => {
    const options = {};
    if ($("#scan-twice").checked) options["ask-twice"] = true;
    if ($("#scan-quick").checked) options.quick = true;
    command("scan", options);
  });
  $("#read-levels").addEventListener("click", () => command("status"));
  $("#form-random").addEventListener("submit", (event) => {
    event.preventDefault();
    addressRun("address random", event.target, "wipeRandom");
  });
  $("#form-physical").addEventListener("submit", (event) => {
    event.preventDefault();
    addressRun("address physical", event.target, "wipePhysical");
  });
  $("#form-change").addEventListener("submit", async (event) => {
    event.preventDefault();
    const moves = event.target.moves.value.trim().split(/\s+/).filter(Boolean);
    if (!moves.length) { notice(t("moves"), "error"); return; }
    showTab("line");
    await command("address change", { words: moves });
  });
  $("#form-single").addEventListener("submit", async (event) => {
    event.preventDefault();
    const address = event.target.address.value;
    if (!(await confirmWipe(t("wipeSingle", address, knownDevices().length)))) return;
    showTab("line");
    await command("address single", { words: [address], yes: true });
  });
  const send = (text, extra = {}) => {
    const address = chosenAddress();
    if (address === null) return null;
    return command("send", { words: [text], short: address, ...extra });
  };
  $("#switch-on").addEventListener("click", () => send("recall max level"));
  $("#switch-off").addEventListener("click", () => send("off"));
  $("#identify").addEventListener("click", () => {
    const address = chosenAddress();
    if (address !== null) command("identify", { short: address });
  });
  const dim = $("#dim");
  dim.addEventListener("input", () => { $("#dim-value").textContent = dim.value; });
  dim.addEventListener("change", () => send("direct arc power", { data: Number(dim.value) }));
  $("#read-variables").addEventListener("click", async () => {
    const address = chosenAddress();
    if (address === null) return;
    const document = await command("variables", { short: address });
    if (document && !document.exitCode) showVariables(document);
  });
  $("#read-groups").addEventListener("click", async () => {
    const address = chosenAddress();
    if (address === null) return;
    const document = await command("groups", { short: address });
    if (document && !document.exitCode) showGroups(document, address);
  });
  $("#read-scenes").addEventListener("click", async () => {
    const address = chosenAddress();
    if (address === null) return;
    const document = await command("scenes", { short: address });
    if (document && !document.exitCode) showScenes(document, address);
  });
  $("#device-address").addEventListener("change", () => {
    $("#device-view").replaceChildren();
    renderDeviceExtras();
  });
  const emergency = async (name, options) => {
    const address = chosenAddress();
    if (address === null) return;
    const document = await command(name, { short: address, ...options });
    if (!document) return;
    showFacts(document);
    if (document.started) {
      const key = String(document.position ?? state.position ?? -1);
      state.gearTests[key] = [...(state.gearTests[key] || []),
        { address: document.address, test: document.test }];
      renderGearTests();
      notice(t("testStarted", document.test === "duration" ? t("durationTest") : t("functionTest"), document.address), "ok");
    }
  };
  $("#emergency-status").addEventListener("click", () => emergency("emergency status", {}));
  $("#emergency-function").addEventListener("click", () => emergency("emergency test", { words: ["function"] }));
  $("#emergency-duration").addEventListener("click", () => emergency("emergency test", { words: ["duration"] }));
  $("#naming").addEventListener("submit", async (event) => {
    event.preventDefault();
    const address = chosenAddress();
    if (address === null) return;
    const form = event.target;
    const options = { short: address, room: form.elements.room.value.trim() };
    const name = form.elements.name.value.trim();
    if (name) options.words = [name];
    const document = await command("name", options);
    if (document && !document.exitCode) {
      const device = knownDevices().find((d) => d.shortAddress === address);
      if (device) { device.name = document.name; device.room = document.room; }
      $("#device-name").textContent = document.name || "";
      renderDevices();
    }
  });
  const kelvin = $("#kelvin");
  kelvin.addEventListener("input", () => { $("#kelvin-value").textContent = kelvin.value; });
  kelvin.addEventListener("change", async () => {
    const address = chosenAddress();
    if (address === null) return;
    const document = await command("colour", { short: address, kelvin: Number(kelvin.value) });
    if (document) showFacts(document);
  });
  $("#colour-read").addEventListener("click", async () => {
    const address = chosenAddress();
    if (address === null) return;
    const document = await command("colour", { short: address });
    if (!document) return;
    showFacts(document);
    const limits = document.limits || {};
    if (limits.coolest && limits.warmest) {
      kelvin.min = limits.warmest.kelvin;
      kelvin.max = limits.coolest.kelvin;
    }
    if (document.colour && document.colour.kelvin) {
      kelvin.value = document.colour.kelvin;
      $("#kelvin-value").textContent = kelvin.value;
    }
  });
  $("#bus-pause").addEventListener("change", (event) => { state.busPaused = event.target.checked; });
  $("#bus-clear").addEventListener("click", () => $("#bus tbody").replaceChildren());
  $("#backup").addEventListener("click", () => command("backup"));
  $("#report-html").addEventListener("click", () => command("report", { format: "html" }));
  $("#report-pdf").addEventListener("click", () => command("report", { format: "pdf" }));
}

document.addEventListener("DOMContentLoaded", () => {
  if (!state.lang) state.lang = navigator.language && navigator.language.startsWith("de") ? "de" : "";
  wire();
  connect();
});
