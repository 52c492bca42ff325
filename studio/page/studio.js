// Lathewind studio page: the parameter panel built from the effect's declarations, the frame with
// the mask over it, the width graph as the effect draws it, and time. The scene (GET/PUT
// /api/scene) is the one state; every edit changes it and asks for a new frame.
"use strict";

const DRAFT_DOWNSAMPLE = 2;  // frames while dragging render at half resolution

const studio = {
  params: [],         // the effect's declarations (GET /api/params)
  scene: {},          // the scene being edited
  masks: {},          // name -> {vertices, inTangents, outTangents, closed}, full resolution
  frame: 0,
  first: 0,
  last: 0,
  frameRequest: null, // {controller, draft, started} of the frame request in flight
  changedAt: null,    // performance.now() of the oldest change not yet asked for
  // Read by the browser test.
  frameBlob: null,
  framesShown: 0,
  draftShown: false,
  latencies: [],
  exportState: "idle", // the export job's state as last seen
  ready: false,
};
window.lwStudio = studio;

const $ = (id) => document.getElementById(id);

function setStatus(text, isError) {
  const status = $("status");
  status.textContent = text;
  status.classList.toggle("error", !!isError);
}

async function api(method, path, body) {
  const init = { method, headers: {} };
  if (body !== undefined) {
    init.body = typeof body === "string" ? body : JSON.stringify(body);
    init.headers["Content-Type"] = "application/json";
  }
  const response = await fetch(path, init);
  if (!response.ok) {
    let message = response.status + " " + response.statusText;
    try {
      const error = await response.json();
      message = error.error + (error.location ? " at " + error.location : "");
    } catch (e) { /* not JSON */ }
    const failure = new Error(message);
    failure.status = response.status;
    throw failure;
  }
  return response;
}

// ---- values and keyframes -------------------------------------------------------------------

function isKeyed(value) {
  return value !== null && typeof value === "object" && !Array.isArray(value) && "keys" in value;
}

// The names a key may give the span that leaves it; a key without one is linear.
const INTERPOLATIONS = ["linear", "hold", "ease"];

function interpolationOf(key) {
  return INTERPOLATIONS.includes(key[2]) ? key[2] : "linear";
}

// The fraction of the way from a key to the next at the fraction s of the time between them, as
// the host moves it: s (linear), 0 (hold) or 3s^2 - 2s^3 (ease), the host's own expression.
function interpolatedFraction(interpolation, s) {
  if (interpolation === "hold") return 0;
  if (interpolation === "ease") return s * s * (3 - 2 * s);
  return s;
}

// A parameter's value at `frame`: numbers move by the leaving key's interpolation, others hold.
function valueAt(value, frame) {
  if (!isKeyed(value)) return value;
  const keys = value.keys;
  if (frame <= keys[0][0]) return keys[0][1];
  for (let i = 0; i + 1 < keys.length; i++) {
    const [f0, v0] = keys[i];
    const [f1, v1] = keys[i + 1];
    if (frame < f1) {
      if (typeof v0 === "number" && typeof v1 === "number") {
        const t = interpolatedFraction(interpolationOf(keys[i]), (frame - f0) / (f1 - f0));
        return t === 0 ? v0 : v0 + (v1 - v0) * t;
      }
      return v0;
    }
  }
  return keys[keys.length - 1][1];
}
studio.valueAt = valueAt;  // for the browser test, against the host's rule

// Sets a value at the current frame: a keyed value gets (or replaces) a key there.
function setValue(label, value) {
  const params = studio.scene.params || (studio.scene.params = {});
  const old = params[label];
  if (isKeyed(old)) {
    const at = keyAt(old, studio.frame);
    if (at >= 0) {
      old.keys[at][1] = value;  // the key keeps its interpolation
    } else {
      old.keys.push([studio.frame, value]);
      old.keys.sort((a, b) => a[0] - b[0]);
    }
  } else {
    params[label] = value;
  }
}

// The index of the key at `frame` of a keyed value, or -1.
function keyAt(value, frame) {
  return isKeyed(value) ? value.keys.findIndex((k) => k[0] === frame) : -1;
}

// Adds a key at `frame` to `holder[name]` with `value` (a plain value becomes keyed), or removes
// the key there (the last key removed leaves its value, plain).
function toggleKey(holder, name, frame, value) {
  const old = holder[name];
  const at = keyAt(old, frame);
  if (at >= 0) {
    const [removed] = old.keys.splice(at, 1);
    if (old.keys.length === 0) holder[name] = removed[1];
    return;
  }
  if (isKeyed(old)) {
    old.keys.push([frame, value]);
    old.keys.sort((a, b) => a[0] - b[0]);
  } else {
    holder[name] = { keys: [[frame, value]] };
  }
}

// A parameter's value at the current frame as the scene writes it; undefined when the scene has
// none and the default cannot be written (a width graph or a layer never set).
function currentValue(param) {
  const stored = valueAt((studio.scene.params || {})[param.label], studio.frame);
  if (stored !== undefined) return stored;
  switch (param.type) {
    case "float slider":
    case "angle":
    case "checkbox":
      return param.default;
    case "popup":
      return param.choices[param.default - 1];
    default:
      return undefined;
  }
}

function sceneFrames() {
  const frames = studio.scene.frames;
  if (Array.isArray(frames)) return [frames[0], frames[1]];
  return typeof frames === "number" ? [frames, frames] : [0, 0];
}

function layerSize() {
  const layer = studio.scene.layer || {};
  return [layer.width || 1280, layer.height || 720];
}

// ---- sending changes and fetching frames ----------------------------------------------------
//
// While something is dragged, changes come much faster than frames render. A draft being
// rendered is let finish: the changes made meanwhile wait and go together once it is on screen,
// so a drag shows a draft every render's time instead of cancelling each one before it is done.
// A full-resolution render in flight is cancelled by any newer change or frame request.

let putInFlight = false;
let putPending = null;   // {draft} of changes waiting to be sent
let frameQueued = null;  // {draft} of a frame wanted once the draft in flight is shown
let graphBusy = false;   // a graph event is on its way
let afterDraft = null;   // sends the graph drag held back while a draft rendered

// Nothing sent and not answered, no frame on its way: what is on screen is the scene.
studio.idle = () =>
  !putInFlight && !putPending && !frameQueued && !graphBusy && !afterDraft &&
  studio.frameRequest === null;

function draftInFlight() {
  return studio.frameRequest !== null && studio.frameRequest.draft;
}

function earliest(a, b) {
  if (a === null) return b;
  return b === null ? a : Math.min(a, b);
}

// Sends what waited for the frame in flight or for the PUT in flight.
function sendHeldBack() {
  if (putPending && !putInFlight) {
    const next = putPending;
    putPending = null;
    commit(next.draft);  // holds back again if a draft is still rendering
  } else if (frameQueued && !putInFlight && !draftInFlight()) {
    const next = frameQueued;
    frameQueued = null;
    requestFrame(next.draft);
  }
  if (afterDraft && !draftInFlight()) {
    const send = afterDraft;
    afterDraft = null;
    send();
  }
}

// Sends the scene; then a frame, at half resolution while `draft`.
function commit(draft) {
  if (studio.changedAt === null) studio.changedAt = performance.now();
  if (putInFlight || (draft && draftInFlight())) {
    putPending = { draft: putPending ? putPending.draft && draft : draft };
    return;
  }
  // This PUT carries every change so far, and its own frame follows.
  putPending = null;
  frameQueued = null;
  putInFlight = true;
  api("PUT", "/api/scene", JSON.stringify(studio.scene, null, 2))
    .then(() => {
      setStatus("");
      requestFrame(draft);
    })
    .catch(async (error) => {
      setStatus(error.message, true);
      await loadScene();  // back to what the server holds
      buildPanel();
    })
    .finally(() => {
      putInFlight = false;
      sendHeldBack();
    });
}

// Sends one edit as a merge patch of the scene, then the full frame. While a scene is on its way
// or waiting, that one carries the edit too (the page's scene already holds it).
function sendEdit(patch) {
  if (putInFlight || putPending) {
    commit(false);
    return;
  }
  if (studio.changedAt === null) studio.changedAt = performance.now();
  frameQueued = null;
  putInFlight = true;
  api("PATCH", "/api/scene", patch)
    .then(() => {
      setStatus("");
      requestFrame(false);
    })
    .catch(async (error) => {
      setStatus(error.message, true);
      await loadScene();
      buildPanel();
    })
    .finally(() => {
      putInFlight = false;
      sendHeldBack();
    });
}

// Asks for the frame at the current time; the request carries the time of the oldest change it
// shows, for the latency figures.
function requestFrame(draft) {
  if (draft && draftInFlight()) {
    frameQueued = { draft: true };
    return;
  }
  frameQueued = null;
  let started = studio.changedAt;
  studio.changedAt = null;
  const previous = studio.frameRequest;
  if (previous) {
    previous.controller.abort();  // the server cancels that render
    started = earliest(started, previous.started);
  }
  const request = { controller: new AbortController(), draft: !!draft, started };
  studio.frameRequest = request;
  let url = "/api/frame?frame=" + studio.frame;
  if (draft) url += "&downsample=" + DRAFT_DOWNSAMPLE;
  fetch(url, { signal: request.controller.signal })
    .then(async (response) => {
      if (response.status === 409) {  // cancelled by a newer change or request
        frameDone(request, false);
        return;
      }
      if (!response.ok) {
        const error = await response.json();
        throw new Error(error.error);
      }
      const origin = (response.headers.get("X-Lathewind-Origin") || "0,0").split(",").map(Number);
      const ds = (response.headers.get("X-Lathewind-Downsample") || "1,1").split(",").map(Number);
      const blob = await response.blob();
      if (request.controller.signal.aborted) return;
      await showFrame(blob, origin, ds);
      frameDone(request, true);
    })
    .catch((error) => {
      if (error.name !== "AbortError") setStatus(error.message, true);
      frameDone(request, false);
    });
}

function frameDone(request, shown) {
  if (studio.frameRequest !== request) return;  // a newer request took over, and its time
  studio.frameRequest = null;
  if (shown) {
    studio.draftShown = request.draft;
    if (request.started !== null) {
      studio.latencies.push({ ms: performance.now() - request.started, draft: request.draft });
    }
  } else {
    studio.changedAt = earliest(studio.changedAt, request.started);  // still to be shown
  }
  sendHeldBack();
}

function showFrame(blob, origin, ds) {
  return new Promise((resolve) => {
    const img = $("frame");
    const url = URL.createObjectURL(blob);
    const [w, h] = layerSize();
    img.onload = () => {
      // The image's pixels cover (width x ds) layer pixels, its layer origin at `origin`.
      img.style.left = (-origin[0] * ds[0] / w * 100) + "%";
      img.style.top = (-origin[1] * ds[1] / h * 100) + "%";
      img.style.width = (img.naturalWidth * ds[0] / w * 100) + "%";
      img.style.height = (img.naturalHeight * ds[1] / h * 100) + "%";
      if (studio.frameUrl) URL.revokeObjectURL(studio.frameUrl);
      studio.frameUrl = url;
      studio.frameBlob = blob;
      studio.framesShown++;
      resolve();
    };
    img.onerror = () => resolve();
    img.src = url;
  });
}

// ---- the layer and the mask overlay ---------------------------------------------------------

function fitLayer() {
  const [w, h] = layerSize();
  const viewer = $("viewer");
  const scale = Math.min((viewer.clientWidth - 24) / w, (viewer.clientHeight - 24) / h);
  $("layer").style.width = Math.max(1, w * scale) + "px";
  $("layer").style.height = Math.max(1, h * scale) + "px";
  $("overlay").setAttribute("viewBox", "0 0 " + w + " " + h);
  drawOverlay();
}

const SVG = "http://www.w3.org/2000/svg";
function svgElement(name, attributes) {
  const element = document.createElementNS(SVG, name);
  for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, value);
  return element;
}

function maskPathData(mask) {
  const v = mask.vertices;
  if (v.length === 0) return "";
  let d = "M " + v[0][0] + " " + v[0][1];
  const segments = mask.closed ? v.length : v.length - 1;
  for (let i = 0; i < segments; i++) {
    const j = (i + 1) % v.length;
    const a = [v[i][0] + mask.outTangents[i][0], v[i][1] + mask.outTangents[i][1]];
    const b = [v[j][0] + mask.inTangents[j][0], v[j][1] + mask.inTangents[j][1]];
    d += " C " + a.join(" ") + " " + b.join(" ") + " " + v[j].join(" ");
  }
  return d + (mask.closed ? " Z" : "");
}

function drawOverlay() {
  const overlay = $("overlay");
  overlay.replaceChildren();
  const [w] = layerSize();
  const unit = w / Math.max(1, $("layer").clientWidth);  // layer pixels per screen pixel
  const spine = valueAt((studio.scene.params || {})["Path"], studio.frame);
  for (const [name, mask] of Object.entries(studio.masks)) {
    const chosen = name === spine;
    overlay.appendChild(svgElement("path", { d: maskPathData(mask), class: chosen ? "spine" : "other" }));
    if (!chosen) continue;
    mask.vertices.forEach((p, i) => {
      for (const [kind, list] of [["in", mask.inTangents], ["out", mask.outTangents]]) {
        const t = list[i];
        if (t[0] === 0 && t[1] === 0) continue;
        overlay.appendChild(svgElement("line", { x1: p[0], y1: p[1], x2: p[0] + t[0], y2: p[1] + t[1], class: "arm" }));
        const handle = svgElement("rect", {
          x: p[0] + t[0] - 3.5 * unit, y: p[1] + t[1] - 3.5 * unit, width: 7 * unit, height: 7 * unit,
          class: "handle", "data-mask": name, "data-index": i, "data-kind": kind,
        });
        overlay.appendChild(handle);
      }
      overlay.appendChild(svgElement("circle", {
        cx: p[0], cy: p[1], r: 5 * unit, class: "vertex", "data-mask": name, "data-index": i, "data-kind": "vertex",
      }));
    });
  }
}

function layerPoint(event) {
  const overlay = $("overlay");
  const point = overlay.createSVGPoint();
  point.x = event.clientX;
  point.y = event.clientY;
  return point.matrixTransform(overlay.getScreenCTM().inverse());
}

// Writes a mask into the scene as vertices and tangents (an SVG mask becomes that form once
// dragged).
function storeMask(name) {
  const m = studio.masks[name];
  const round = (p) => [Math.round(p[0] * 1000) / 1000, Math.round(p[1] * 1000) / 1000];
  const shape = {
    vertices: m.vertices.map(round),
    inTangents: m.inTangents.map(round),
    outTangents: m.outTangents.map(round),
    closed: m.closed,
  };
  const sceneMask = studio.scene.masks[name];
  const at = keyAt(sceneMask, studio.frame);
  if (at >= 0) {
    sceneMask.keys[at][1] = shape;  // a keyed mask: its key at this frame
  } else {
    studio.scene.masks[name] = shape;
  }
}

function setUpOverlayDragging() {
  const overlay = $("overlay");
  let drag = null;
  overlay.addEventListener("pointerdown", (event) => {
    const target = event.target;
    if (!target.dataset || target.dataset.mask === undefined) return;
    const mask = studio.masks[target.dataset.mask];
    const sceneMask = (studio.scene.masks || {})[target.dataset.mask];
    if (isKeyed(sceneMask) && keyAt(sceneMask, studio.frame) < 0) {
      setStatus("this mask is keyed: add a key at frame " + studio.frame + " to move it here", true);
      return;
    }
    drag = { name: target.dataset.mask, index: Number(target.dataset.index), kind: target.dataset.kind, mask };
    overlay.setPointerCapture(event.pointerId);
    event.preventDefault();
  });
  overlay.addEventListener("pointermove", (event) => {
    if (!drag) return;
    const p = layerPoint(event);
    const v = drag.mask.vertices[drag.index];
    if (drag.kind === "vertex") {
      v[0] = p.x;
      v[1] = p.y;
    } else {
      const list = drag.kind === "in" ? drag.mask.inTangents : drag.mask.outTangents;
      list[drag.index] = [p.x - v[0], p.y - v[1]];
    }
    storeMask(drag.name);
    drawOverlay();
    commit(true);
  });
  const end = () => {
    if (!drag) return;
    drag = null;
    commit(false);
  };
  overlay.addEventListener("pointerup", end);
  overlay.addEventListener("pointercancel", end);
}

// ---- the parameter panel --------------------------------------------------------------------

function decimals(param) {
  return Math.max(0, param.precision || 0);
}

function row(param, keyed) {
  const div = document.createElement("div");
  div.className = "param" + (keyed ? " keyed" : "");
  div.dataset.label = param.label;
  const label = document.createElement("label");
  label.textContent = param.label;
  label.title = param.label;
  const value = document.createElement("div");
  value.className = "value";
  div.append(label, value);
  return [div, value];
}

function sliderControl(param, current, onChange, units) {
  const [div, value] = row(param, isKeyed((studio.scene.params || {})[param.label]));
  const range = document.createElement("input");
  range.type = "range";
  range.min = param.sliderMin;
  range.max = param.sliderMax;
  range.step = Math.pow(10, -decimals(param));
  range.value = current;
  const number = document.createElement("input");
  number.type = "number";
  number.min = param.validMin;
  number.max = param.validMax;
  number.step = range.step;
  number.value = Number(current).toFixed(decimals(param));
  const unit = document.createElement("span");
  unit.className = "unit";
  unit.textContent = units;
  const round = (x) => Number(Number(x).toFixed(decimals(param)));
  range.addEventListener("input", () => {
    number.value = Number(range.value).toFixed(decimals(param));
    onChange(round(range.value), true);
  });
  range.addEventListener("change", () => onChange(round(range.value), false));
  number.addEventListener("change", () => {
    const x = Number(number.value);
    if (!Number.isFinite(x)) return;
    range.value = x;
    onChange(round(x), false);
  });
  value.append(range, number, unit);
  return div;
}

function selectControl(param, options, current, onChange) {
  const [div, value] = row(param, isKeyed((studio.scene.params || {})[param.label]));
  const select = document.createElement("select");
  for (const [text, v] of options) {
    const option = document.createElement("option");
    option.textContent = text;
    option.value = v;
    select.appendChild(option);
  }
  select.value = current;
  select.addEventListener("change", () => onChange(select.value));
  value.appendChild(select);
  return div;
}

function graphControl(param) {
  const div = document.createElement("div");
  div.className = "param graph";
  div.dataset.label = param.label;
  const label = document.createElement("label");
  label.textContent = param.label;
  const img = document.createElement("img");
  img.id = "graph";
  img.width = param.control.width;
  img.height = param.control.height;
  img.alt = "The width graph as the effect draws it";
  img.draggable = false;
  let pressed = false;
  let pendingDrag = null;
  const send = async (kind, event) => {
    const x = Math.round(event.offsetX * param.control.width / img.clientWidth);
    const y = Math.round(event.offsetY * param.control.height / img.clientHeight);
    if (graphBusy || (kind === "drag" && draftInFlight())) {
      if (kind === "drag") {
        pendingDrag = event;
        if (!graphBusy) afterDraft = sendPendingDrag;  // the draft on its way is let finish
      }
      return;
    }
    graphBusy = true;
    if (studio.changedAt === null) studio.changedAt = performance.now();
    try {
      const response = await api("POST", "/api/graph/event", { kind, x, y, frame: studio.frame });
      const result = await response.json();
      if (result.changed) {
        await Promise.all([reloadGraph(), loadScene()]);
        requestFrame(pressed);
      }
    } catch (error) {
      setStatus(error.message, true);
    } finally {
      graphBusy = false;
      sendPendingDrag();
    }
  };
  const sendPendingDrag = () => {
    if (!pendingDrag) return;
    const next = pendingDrag;
    pendingDrag = null;
    send("drag", next);
  };
  img.addEventListener("pointerdown", (event) => {
    pressed = true;
    img.setPointerCapture(event.pointerId);
    event.preventDefault();
    send("click", event);
  });
  img.addEventListener("pointermove", (event) => {
    if (pressed) send("drag", event);
  });
  const release = () => {
    if (!pressed) return;
    pressed = false;
    const waitThenRender = () => (graphBusy || pendingDrag ? setTimeout(waitThenRender, 10) : requestFrame(false));
    waitThenRender();
  };
  img.addEventListener("pointerup", release);
  img.addEventListener("pointercancel", release);
  div.append(label, img);
  return div;
}

async function reloadGraph() {
  const img = $("graph");
  if (!img) return;
  const response = await api("GET", "/api/graph.png?frame=" + studio.frame);
  const url = URL.createObjectURL(await response.blob());
  await new Promise((resolve) => {
    img.onload = resolve;
    img.onerror = resolve;
    img.src = url;
  });
  if (studio.graphUrl) URL.revokeObjectURL(studio.graphUrl);
  studio.graphUrl = url;
}

function control(param) {
  const params = studio.scene.params || {};
  const stored = valueAt(params[param.label], studio.frame);
  const change = (v, draft) => {
    setValue(param.label, v);
    markKeys();
    commit(draft);
  };
  switch (param.type) {
    case "float slider":
      return sliderControl(param, stored ?? param.default, change, param.percent ? "%" : "");
    case "angle": {
      const angle = { ...param, sliderMin: -180, sliderMax: 180, validMin: -1e6, validMax: 1e6, precision: 1 };
      return sliderControl(angle, stored ?? param.default, change, "\u00B0");
    }
    case "popup": {
      let index = param.default;
      if (typeof stored === "number") index = stored;
      if (typeof stored === "string") index = param.choices.indexOf(stored) + 1;
      return selectControl(param, param.choices.map((c) => [c, c]), param.choices[index - 1],
        (v) => change(v, false));
    }
    case "checkbox": {
      const [div, value] = row(param, isKeyed(params[param.label]));
      const box = document.createElement("input");
      box.type = "checkbox";
      box.checked = stored ?? param.default;
      box.addEventListener("change", () => change(box.checked, false));
      const text = document.createElement("span");
      text.textContent = param.text || "";
      value.append(box, text);
      return div;
    }
    case "layer":
    case "mask path": {
      const names = Object.keys((param.type === "layer" ? studio.scene.layers : studio.scene.masks) || {});
      const options = [["None", ""], ...names.map((n) => [n, n])];
      return selectControl(param, options, stored ?? "", (v) => {
        if (v === "") {
          delete studio.scene.params[param.label];  // none chosen
          commit(false);
          drawOverlay();
        } else {
          change(v, false);
          drawOverlay();
        }
      });
    }
    case "arbitrary data":
      return graphControl(param);
    case "button": {
      const [div, value] = row(param, false);
      const button = document.createElement("button");
      button.type = "button";
      button.textContent = param.text;
      button.disabled = param.disabled;
      button.addEventListener("click", () => setStatus("this button acts inside a compositing application"));
      value.appendChild(button);
      return div;
    }
    default:
      return null;
  }
}

function buildPanel() {
  const form = $("params");
  form.replaceChildren();
  let parent = form;
  const parents = [];
  for (const param of studio.params) {
    if (param.type === "group start") {
      const fieldset = document.createElement("fieldset");
      const legend = document.createElement("legend");
      legend.textContent = param.label;
      fieldset.appendChild(legend);
      parent.appendChild(fieldset);
      parents.push(parent);
      parent = fieldset;
      continue;
    }
    if (param.type === "group end") {
      parent = parents.pop() || form;
      continue;
    }
    const element = control(param);
    if (!element) continue;
    if (param.type !== "button" && currentValue(param) !== undefined) {
      const holder = element.querySelector(".value") || element;
      holder.appendChild(keyButton(param));
      if (MOVING_TYPES.includes(param.type)) {
        holder.appendChild(interpolationChooser("params", param.label, () => {
          buildPanel();
          markKeys();
        }));
      }
    }
    parent.appendChild(element);
  }
  reloadGraph();
}

// The diamond beside a value: adds a key at the current frame, or removes the one there.
function keyButton(param) {
  const keyed = keyAt((studio.scene.params || {})[param.label], studio.frame) >= 0;
  const button = document.createElement("button");
  button.type = "button";
  button.className = "key-toggle" + (keyed ? " on" : "");
  button.textContent = keyed ? "\u25C6" : "\u25C7";
  button.title = (keyed ? "Remove the key at frame " : "Add a key at frame ") + studio.frame;
  button.setAttribute("aria-label", button.title + ": " + param.label);
  button.addEventListener("click", () => {
    toggleKey(studio.scene.params, param.label, studio.frame, currentValue(param));
    buildPanel();
    markKeys();
    commit(false);
  });
  return button;
}

// The values that move between keys; the others (popups, checkboxes, layers, masks) hold.
const MOVING_TYPES = ["float slider", "angle", "arbitrary data"];

// Beside the key at the current frame: how the span that leaves it moves. `section` and `name`
// say where the keyed value sits in the scene ("params" or "masks").
function interpolationChooser(section, name, onChanged) {
  const keyed = studio.scene[section][name];
  const at = keyAt(keyed, studio.frame);
  const select = document.createElement("select");
  select.className = "key-interpolation";
  select.hidden = at < 0;
  select.title = "How the value moves from the key at frame " + studio.frame + " to the next";
  select.setAttribute("aria-label", "Interpolation of the key: " + name);
  for (const kind of INTERPOLATIONS) {
    const option = document.createElement("option");
    option.textContent = kind;
    option.value = kind;
    select.appendChild(option);
  }
  if (at < 0) return select;
  select.value = interpolationOf(keyed.keys[at]);
  select.addEventListener("change", () => {
    const key = keyed.keys[keyAt(keyed, studio.frame)];
    key.length = 2;  // a linear key is written without a name, as scene files keep it
    if (select.value !== "linear") key.push(select.value);
    sendEdit({ [section]: { [name]: keyed } });
    onChanged();
  });
  return select;
}

// ---- time -----------------------------------------------------------------------------------

// The mask chosen in "Path" at the current frame, or null.
function pathMaskName() {
  const name = valueAt((studio.scene.params || {})["Path"], studio.frame);
  return name && studio.scene.masks && name in studio.scene.masks ? name : null;
}

// Adds a key of the "Path" mask at the current frame (its shape there; a mask not yet keyed keeps
// its own form, a drawing by reference included, as the first key) or removes the key there.
function toggleMaskKey() {
  const name = pathMaskName();
  if (!name) {
    setStatus("choose a mask in \"Path\" to key it", true);
    return;
  }
  const sceneMask = studio.scene.masks[name];
  let shape = sceneMask;
  if (isKeyed(sceneMask) && keyAt(sceneMask, studio.frame) < 0) {
    const m = studio.masks[name];
    shape = { vertices: m.vertices, inTangents: m.inTangents, outTangents: m.outTangents, closed: m.closed };
  }
  toggleKey(studio.scene.masks, name, studio.frame, shape);
  markKeys();
  commit(false);
  loadMasks().then(drawOverlay);
}

function updateMaskKeyButton() {
  const name = pathMaskName();
  const keyed = name !== null && keyAt(studio.scene.masks[name], studio.frame) >= 0;
  const button = $("mask-key");
  button.disabled = name === null;
  button.classList.toggle("on", keyed);
  button.textContent = (keyed ? "\u25C6" : "\u25C7") + " Mask";
  button.title = name === null ? "Choose a mask in \"Path\" to key it"
    : (keyed ? "Remove the key of " : "Add a key of ") + name + " at frame " + studio.frame;
  const chooser = name === null ? document.createElement("select")
    : interpolationChooser("masks", name, markKeys);
  chooser.id = "mask-interpolation";
  chooser.hidden = !keyed;
  $("mask-interpolation").replaceWith(chooser);
}

// Marks under the time slider, one row for each kind of key: parameters, the width graph, masks.
function markKeys() {
  const marks = $("key-marks");
  marks.replaceChildren();
  const byKind = { param: new Map(), graph: new Map(), mask: new Map() };
  const add = (kind, name, value) => {
    if (!isKeyed(value)) return;
    for (const key of value.keys) {
      const f = key[0];
      const names = byKind[kind].get(f) || [];
      names.push(interpolationOf(key) === "linear" ? name : name + " (" + interpolationOf(key) + ")");
      byKind[kind].set(f, names);
    }
  };
  for (const [label, value] of Object.entries(studio.scene.params || {})) {
    add(label === "Width Graph" ? "graph" : "param", label, value);
  }
  for (const [name, value] of Object.entries(studio.scene.masks || {})) add("mask", name, value);
  const span = Math.max(1, studio.last - studio.first);
  for (const [kind, frames] of Object.entries(byKind)) {
    for (const [f, names] of frames) {
      if (f < studio.first || f > studio.last) continue;
      const mark = document.createElement("span");
      mark.className = kind;
      mark.style.left = ((f - studio.first) / span * 100) + "%";
      mark.title = "frame " + f + ": " + names.join(", ");
      marks.appendChild(mark);
    }
  }
  updateMaskKeyButton();
}

function setFrame(frame, draft) {
  studio.frame = frame;
  $("time-slider").value = frame;
  $("frame-number").textContent = frame;
  if (studio.changedAt === null) studio.changedAt = performance.now();
  buildPanel();
  updateMaskKeyButton();
  loadMasks().then(drawOverlay);
  requestFrame(draft);
}

let playing = null;
function togglePlay() {
  if (playing) {
    clearTimeout(playing);
    playing = null;
    $("play").textContent = "Play";
    requestFrame(false);
    return;
  }
  $("play").textContent = "Stop";
  const rate = studio.scene.frameRate || 24;
  const step = () => {
    const next = studio.frame >= studio.last ? studio.first : studio.frame + 1;
    const shown = studio.framesShown;
    setFrame(next, true);
    const wait = () => {
      if (!playing) return;
      if (studio.framesShown === shown) {
        playing = setTimeout(wait, 5);
      } else {
        playing = setTimeout(step, 1000 / rate);
      }
    };
    playing = setTimeout(wait, 5);
  };
  playing = setTimeout(step, 0);
}

// ---- loading, saving, exporting -------------------------------------------------------------

async function loadScene() {
  const response = await api("GET", "/api/scene");
  const file = response.headers.get("X-Lathewind-File");
  $("scene-name").textContent = file ? file : "the built-in demo scene (no file)";
  studio.scene = await response.json();
  if (!studio.scene.params) studio.scene.params = {};
  if (!studio.scene.masks) studio.scene.masks = {};
}

async function loadMasks() {
  const response = await api("GET", "/api/masks?frame=" + studio.frame);
  studio.masks = await response.json();
}

async function save() {
  try {
    const response = await api("POST", "/api/save");
    const result = await response.json();
    setStatus("saved " + result.saved);
  } catch (error) {
    setStatus(error.message, true);
  }
}

// An export runs as a job of the studio's: the page starts it, then follows its progress until it
// ends or is cancelled.
const MOVIE_KINDS = ["mov", "mkv", "mp4"];

// The export's name for another kind: the same stem, a frame field for stills, none for a movie.
function exportNameFor(name, kind) {
  const stem = name.replace(/\.[A-Za-z0-9]+$/, "").replace(/\.?%0?\d*d$/, "") || "export";
  return stem + (MOVIE_KINDS.includes(kind) ? "" : ".%04d") + "." + kind;
}

async function exportFrames(sequence) {
  const body = {
    first: sequence ? studio.first : studio.frame,
    output: $("export-name").value,
    format: $("export-kind").value,
  };
  if (sequence) body.last = studio.last;
  setStatus("exporting\u2026");
  try {
    await api("POST", "/api/export", body);
    $("export-cancel").hidden = false;
    $("export-progress").hidden = false;
    watchExport();
  } catch (error) {
    setStatus(error.message, true);
  }
}

async function watchExport() {
  let job;
  try {
    job = await (await api("GET", "/api/export")).json();
  } catch (error) {
    setStatus(error.message, true);
    return;
  }
  studio.exportState = job.state;
  const progress = $("export-progress");
  progress.max = job.total;
  progress.value = job.done;
  if (job.state === "running") {
    setStatus("exporting: " + job.done + " of " + job.total + " frames");
    setTimeout(watchExport, 200);
    return;
  }
  $("export-cancel").hidden = true;
  progress.hidden = true;
  if (job.state === "done") {
    setStatus("wrote " + job.written.length + " file(s): " + job.written[0]);
  } else if (job.state === "cancelled") {
    setStatus("export cancelled: " + job.done + " of " + job.total + " frames written");
  } else {
    setStatus(job.error, true);
  }
}

async function cancelExport() {
  try {
    await api("DELETE", "/api/export");
  } catch (error) {
    setStatus(error.message, true);
  }
}

async function start() {
  try {
    const params = await api("GET", "/api/params");
    studio.params = await params.json();
    await loadScene();
    await loadMasks();
  } catch (error) {
    setStatus(error.message, true);
    return;
  }
  [studio.first, studio.last] = sceneFrames();
  studio.frame = studio.first;
  const slider = $("time-slider");
  slider.min = studio.first;
  slider.max = studio.last;
  slider.value = studio.frame;
  slider.disabled = studio.first === studio.last;
  $("play").disabled = studio.first === studio.last;
  $("frame-number").textContent = studio.frame;
  slider.addEventListener("input", () => setFrame(Number(slider.value), true));
  slider.addEventListener("change", () => setFrame(Number(slider.value), false));
  $("play").addEventListener("click", togglePlay);
  $("save").addEventListener("click", save);
  $("export-frame").addEventListener("click", () => exportFrames(false));
  $("export-sequence").addEventListener("click", () => exportFrames(true));
  $("export-cancel").addEventListener("click", cancelExport);
  $("export-kind").addEventListener("change", () => {
    $("export-name").value = exportNameFor($("export-name").value, $("export-kind").value);
  });
  $("mask-key").addEventListener("click", toggleMaskKey);
  buildPanel();
  markKeys();
  setUpOverlayDragging();
  window.addEventListener("resize", fitLayer);
  fitLayer();
  requestFrame(false);
  studio.ready = true;
}

document.addEventListener("DOMContentLoaded", start);
