// Tarnwhistle's side in the browser. It keeps one connection to the native host
// "dev.tarnwhistle.browser_host", which relays between this extension and the running Tarnwhistle
// program, and answers the program's requests about the front tab. It reads the address of the
// active tab only when asked, never page content, and stores nothing.
//
// Messages from the host:
//   {"type": "request", "id": N, "expected": null | {"window", "tab", "url"}}
// Messages to the host:
//   {"type": "answer", "id": N, "value": ...}   or   {"type": "answer", "id": N, "error": "…"}
//   {"type": "focus", "focused": true | false}  whenever a window of this browser gains or loses
//                                               the focus (and once after connecting)
//
// A request without an expected tab answers the active tab of the last focused window as
// {"window", "tab", "url"} (ids as text; the address being loaded while a navigation is under
// way), or null when the browser has no window. With an expected tab it answers null without a
// window, false when the front tab differs from it in window, tab or address, and otherwise points
// the tab at "about:blank" and answers true.

"use strict";

const api = globalThis.browser ?? globalThis.chrome;

const HOST_NAME = "dev.tarnwhistle.browser_host";
const FIRST_RETRY_MS = 1000;
const LAST_RETRY_MS = 30000;
// A connection that lasted this long was a working one: the next loss retries quickly again.
const STABLE_MS = 10000;
// How long a blank request waits for the browser to show the blank page before answering.
const BLANK_COMMIT_MS = 2000;

let port = null;
let retryMs = FIRST_RETRY_MS;
let retryTimer = null;

function connect() {
  if (port !== null) return;
  if (retryTimer !== null) {
    clearTimeout(retryTimer);
    retryTimer = null;
  }
  let p;
  try {
    p = api.runtime.connectNative(HOST_NAME);
  } catch (e) {
    scheduleRetry();
    return;
  }
  port = p;
  const openedAt = Date.now();
  p.onMessage.addListener((message) => {
    handle(p, message);
  });
  p.onDisconnect.addListener(() => {
    // Reading lastError marks it as seen (Chromium logs it otherwise).
    void api.runtime.lastError;
    if (port === p) port = null;
    if (Date.now() - openedAt >= STABLE_MS) retryMs = FIRST_RETRY_MS;
    scheduleRetry();
  });
  reportFocus();
}

function scheduleRetry() {
  if (retryTimer !== null || port !== null) return;
  const delay = retryMs;
  retryMs = Math.min(retryMs * 2, LAST_RETRY_MS);
  retryTimer = setTimeout(() => {
    retryTimer = null;
    connect();
  }, delay);
}

function send(p, message) {
  try {
    p.postMessage(message);
  } catch (e) {
    // The port closed meanwhile; onDisconnect takes care of it.
  }
}

async function reportFocus() {
  let focused = false;
  try {
    const w = await api.windows.getLastFocused({ windowTypes: ["normal"] });
    focused = Boolean(w && w.focused);
  } catch (e) {
    focused = false;
  }
  if (port !== null) send(port, { type: "focus", focused });
}

// The front tab as {"window", "tab", "url"}, or null when the browser has no window. One call to
// the browser: the active tab of the window that had the focus last.
async function frontTab() {
  const tabs = await api.tabs.query({ active: true, lastFocusedWindow: true });
  const t = tabs[0];
  if (!t || t.id === undefined || t.windowId === undefined) return null;
  const url = t.pendingUrl || t.url || "";
  return { window: String(t.windowId), tab: String(t.id), url: String(url) };
}

function isTab(value) {
  return (
    value !== null &&
    typeof value === "object" &&
    typeof value.window === "string" &&
    typeof value.tab === "string" &&
    typeof value.url === "string"
  );
}

// Resolves once the tab shows "about:blank", or after `limitMs` in any case. Firefox resolves
// tabs.update before the address changes; Chromium usually after.
function blankCommitted(tabId, limitMs) {
  return new Promise((resolve) => {
    let done = false;
    const finish = () => {
      if (done) return;
      done = true;
      api.tabs.onUpdated.removeListener(listener);
      clearTimeout(timer);
      resolve();
    };
    const listener = (id, change, tab) => {
      if (id === tabId && (change.url === "about:blank" || tab.url === "about:blank")) finish();
    };
    const timer = setTimeout(finish, limitMs);
    api.tabs.onUpdated.addListener(listener);
    api.tabs.get(tabId).then(
      (tab) => {
        if (tab.url === "about:blank" && !tab.pendingUrl) finish();
      },
      () => finish(),
    );
  });
}

async function answer(expected) {
  const current = await frontTab();
  if (expected === null) return current;
  if (current === null) return null;
  if (
    current.window !== expected.window ||
    current.tab !== expected.tab ||
    current.url !== expected.url
  ) {
    return false;
  }
  const tabId = Number(current.tab);
  const committed = blankCommitted(tabId, BLANK_COMMIT_MS);
  await api.tabs.update(tabId, { url: "about:blank" });
  await committed;
  return true;
}

async function handle(p, message) {
  if (!message || message.type !== "request" || !Number.isInteger(message.id)) return;
  const expected = message.expected ?? null;
  if (expected !== null && !isTab(expected)) {
    send(p, { type: "answer", id: message.id, error: "The expected tab is not a tab." });
    return;
  }
  try {
    const value = await answer(expected);
    send(p, { type: "answer", id: message.id, value });
  } catch (e) {
    send(p, { type: "answer", id: message.id, error: String(e && e.message ? e.message : e) });
  }
}

// Every event that wakes this background (a Chromium service worker, a Firefox event page) also
// brings the connection back when it was lost.
api.windows.onFocusChanged.addListener((windowId) => {
  if (port === null) {
    connect();
    return;
  }
  send(port, { type: "focus", focused: windowId !== api.windows.WINDOW_ID_NONE });
});
api.tabs.onActivated.addListener(() => connect());
api.runtime.onStartup.addListener(() => connect());
api.runtime.onInstalled.addListener(() => connect());

connect();
