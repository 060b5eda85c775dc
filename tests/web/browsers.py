"""The page's three browser engines behind one small driver, from the
standard library alone:

  chromium  headless Chromium over its DevTools protocol (chromium.Browser)
  firefox   Firefox ESR on a private Xvfb screen over WebDriver BiDi
  webkit    WebKitGTK's MiniBrowser on a private Xvfb screen, driven by
            WebKitWebDriver over W3C WebDriver (HTTP)

start(engine, url) gives a driver showing url, with evaluate(expression,
timeout) (promises awaited, the value as JSON gives it back), wait_for,
key(kind, code, key, vk) (as the DevTools protocol takes a key; code one of
KEYS), touches([(kind, finger, x, y), ...]) (fingers going "down", "move"
or "up" at once, at CSS pixels), click(x, y), screenshot() ((width, height,
RGB bytes)), close(), name and version."""

import base64
import ctypes
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "window"))

import chromium  # noqa: E402
import xvfb  # noqa: E402

ENGINES = ("chromium", "firefox", "webkit")
FIREFOX = "/usr/bin/firefox-esr"
WEBKIT_DRIVER = "/usr/bin/WebKitWebDriver"
MINIBROWSER = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser"

# The viewport every engine shows the page in, in CSS pixels.
WIDTH, HEIGHT = 1000, 800
SCREEN = "1280x1024"


# KeyboardEvent.code -> the WebDriver key value that gives it.
KEYS = {"ArrowUp": "\ue013", "KeyV": "v"}


def missing(engine):
    """Why engine cannot run here, or None."""
    needed = {"chromium": [chromium.CHROMIUM],
              "firefox": [FIREFOX, shutil.which("Xvfb") or "Xvfb"],
              "webkit": [WEBKIT_DRIVER, MINIBROWSER, shutil.which("Xvfb") or "Xvfb"]}[engine]
    absent = [p for p in needed if not os.path.exists(p)]
    return "no " + ", ".join(absent) if absent else None


def start(engine, url):
    """A driver of engine showing url (it may still be loading)."""
    return {"chromium": ChromiumDriver, "firefox": FirefoxDriver,
            "webkit": WebKitDriver}[engine](url)


# The expression's value as a JSON text, its promise awaited: the same
# values in every engine, whatever each protocol's own serialisation does.
def _as_json(expression):
    return ("Promise.resolve().then(() => (%s))"
            ".then(v => JSON.stringify(v === undefined ? null : v))" % expression)


def _touch_actions(changes, finger_id):
    """WebDriver's pointer sources for one tick of touch changes: each
    finger moves to its place, then goes down or up."""
    sources = []
    for kind, finger, x, y in changes:
        move = {"type": "pointerMove", "x": int(round(x)), "y": int(round(y))}
        second = {"down": {"type": "pointerDown", "button": 0},
                  "move": {"type": "pause"},
                  "up": {"type": "pointerUp", "button": 0}}[kind]
        sources.append({"type": "pointer", "id": finger_id(finger),
                        "parameters": {"pointerType": "touch"}, "actions": [move, second]})
    return sources


def _click_actions(x, y):
    """WebDriver's pointer source for a click of the mouse's left button."""
    return [{"type": "pointer", "id": "mouse", "parameters": {"pointerType": "mouse"},
             "actions": [{"type": "pointerMove", "x": int(round(x)), "y": int(round(y))},
                         {"type": "pointerDown", "button": 0}, {"type": "pointerUp", "button": 0}]}]


class ChromiumDriver(chromium.Browser):
    """chromium.Browser as it is (call and all), with the driver's methods."""

    name = "chromium"

    def __init__(self, url):
        super().__init__(url, WIDTH, HEIGHT)
        try:
            self.version = self.call("Browser.getVersion")["product"]
        except BaseException:
            self.close()
            raise
        self.fingers = {}

    def touches(self, changes):
        # The protocol takes every finger on the screen and works out which
        # went down, moved or came up since the last event.
        down_or_moved = [c for c in changes if c[0] != "up"]
        for kind, finger, x, y in down_or_moved:
            self.fingers[finger] = (x, y)
        if down_or_moved:
            kind = "touchStart" if any(c[0] == "down" for c in changes) else "touchMove"
            self._dispatch_touch(kind)
        if any(c[0] == "up" for c in changes):
            for _, finger, _, _ in (c for c in changes if c[0] == "up"):
                self.fingers.pop(finger, None)
            self._dispatch_touch("touchEnd" if not self.fingers else "touchMove")

    def click(self, x, y):
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left", clickCount=1)

    def _dispatch_touch(self, kind):
        points = [{"x": x, "y": y, "id": finger} for finger, (x, y) in sorted(self.fingers.items())]
        self.call("Input.dispatchTouchEvent", type=kind, touchPoints=points)


class _OnXvfb:
    """What the engines on a private X screen share: the screen, a
    temporary HOME, a process group for the browser or its driver, and
    their ending."""

    proc = screen = home = None

    def _begin(self, prefix):
        self.home = tempfile.mkdtemp(prefix=prefix)
        self.log = os.path.join(self.home, "log")
        self.screen, display = xvfb.start_xvfb(SCREEN)
        runtime = os.path.join(self.home, "runtime")
        os.mkdir(runtime, 0o700)
        self.env = xvfb.program_env(display)
        self.env.update(HOME=self.home, XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=self.home + "/config",
                        XDG_CACHE_HOME=self.home + "/cache", XDG_DATA_HOME=self.home + "/data")
        self.env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        self.env["MOZ_CRASHREPORTER_DISABLE"] = "1"

    def _spawn(self, argv):
        with open(self.log, "ab") as log:
            self.proc = subprocess.Popen(argv, env=self.env, stdin=subprocess.DEVNULL, stdout=log,
                                         stderr=subprocess.STDOUT, start_new_session=True)

    def _log_tail(self):
        try:
            with open(self.log, errors="replace") as f:
                return f.read()[-1500:]
        except OSError:
            return ""

    def _end(self):
        """The browser's whole process group, its screen and its HOME."""
        if self.proc is not None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                pass
            xvfb.kill_group(self.proc.pid)
            self.proc.wait()
            self.proc = None
        if self.screen is not None:
            xvfb.stop_xvfb(self.screen)
            self.screen = None
        if self.home is not None:
            shutil.rmtree(self.home, ignore_errors=True)
            self.home = None

    wait_for = chromium.Browser.wait_for


class FirefoxDriver(_OnXvfb):
    """Firefox ESR on Xvfb (headless it has no WebGL here) with a fresh
    profile, over WebDriver BiDi on the WebSocket client of chromium.py."""

    name = "firefox"

    def __init__(self, url):
        self.ws = None
        self.next_id = 0
        try:
            self._begin("hillcar-firefox-")
            profile = os.path.join(self.home, "profile")
            os.mkdir(profile)
            # Port 0: Firefox takes a free one and says which on its output.
            self._spawn([FIREFOX, "--profile", profile, "--new-instance",
                         "--remote-debugging-port", "0", "about:blank"])
            self.ws = chromium.WebSocket(self._bidi_url() + "/session")
            session = self.call("session.new", capabilities={})
            self.version = "Firefox " + session["capabilities"]["browserVersion"]
            self.context = self.call("browsingContext.getTree")["contexts"][0]["context"]
            self.call("browsingContext.setViewport", context=self.context,
                      viewport={"width": WIDTH, "height": HEIGHT})
            self.load(url)
        except BaseException:
            self.close()
            raise

    def _bidi_url(self):
        deadline = time.time() + 60
        while time.time() < deadline:
            with open(self.log, "rb") as f:
                m = re.search(rb"WebDriver BiDi listening on (ws://[0-9.:]+)", f.read())
            if m:
                return m.group(1).decode()
            if self.proc.poll() is not None:
                raise RuntimeError("Firefox ended at start (status %d): %s"
                                   % (self.proc.returncode, self._log_tail()))
            time.sleep(0.05)
        raise RuntimeError("Firefox opened no WebDriver BiDi port: " + self._log_tail())

    def call(self, method, timeout=60, **params):
        self.next_id += 1
        self.ws.sock.settimeout(timeout)
        self.ws.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            reply = json.loads(self.ws.receive())
            if reply.get("id") == self.next_id:
                if reply.get("type") == "error":
                    raise RuntimeError("%s: %s: %s" % (method, reply.get("error"),
                                                       reply.get("message")))
                return reply["result"]

    def load(self, url):
        self.call("browsingContext.navigate", context=self.context, url=url, wait="complete")

    def evaluate(self, expression, timeout=60):
        result = self.call("script.evaluate", timeout + 10, expression=_as_json(expression),
                           target={"context": self.context}, awaitPromise=True,
                           resultOwnership="none")
        if result["type"] != "success":
            details = result.get("exceptionDetails", {})
            raise RuntimeError("page: %s" % details.get("text", json.dumps(details)[:800]))
        return json.loads(result["result"]["value"])

    def _actions(self, sources):
        self.call("input.performActions", context=self.context, actions=sources)

    def key(self, kind, code, key=None, vk=None):
        self._actions([{"type": "key", "id": "keyboard",
                        "actions": [{"type": kind, "value": KEYS[code]}]}])

    def touches(self, changes):
        self._actions(_touch_actions(changes, lambda finger: "finger%d" % finger))

    def click(self, x, y):
        self._actions(_click_actions(x, y))

    def screenshot(self):
        data = self.call("browsingContext.captureScreenshot", context=self.context)["data"]
        return chromium.decode_png(base64.b64decode(data))

    def close(self):
        # The profile is thrown away: SIGTERM ends Firefox at once, where
        # BiDi's browser.close takes seconds.
        if self.ws is not None:
            self.ws.close()
            self.ws = None
        self._end()


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class WebKitDriver(_OnXvfb):
    """WebKitGTK's MiniBrowser on Xvfb, through WebKitWebDriver's W3C
    WebDriver over HTTP."""

    name = "webkit"

    def __init__(self, url):
        self.session = None
        self.script_timeout = None
        try:
            self._begin("hillcar-webkit-")
            self._start_driver()
            capabilities = {"webkitgtk:browserOptions": {"binary": MINIBROWSER,
                                                          "args": ["--automation"]}}
            reply = self._request("POST", "/session", {"capabilities": {"alwaysMatch": capabilities}})
            self.session = "/session/" + reply["sessionId"]
            self.version = "WebKitGTK " + reply["capabilities"]["browserVersion"]
            self._size_viewport()
            self.load(url)
        except BaseException:
            self.close()
            raise

    def _start_driver(self):
        # The driver takes no port 0; a port taken in between ends it, and
        # another is tried.
        for _ in range(3):
            self.port = _free_port()
            self._spawn([WEBKIT_DRIVER, "--port=%d" % self.port])
            deadline = time.time() + 30
            while time.time() < deadline and self.proc.poll() is None:
                try:
                    self._request("GET", "/status", timeout=5)
                    return
                except OSError:
                    time.sleep(0.05)
            xvfb.kill_group(self.proc.pid)
            self.proc.wait()
        raise RuntimeError("WebKitWebDriver did not start: " + self._log_tail())

    def _request(self, method, path, body=None, timeout=60):
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request("http://127.0.0.1:%d%s" % (self.port, path), data=data,
                                         method=method,
                                         headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=timeout) as r:
                return json.load(r)["value"]
        except urllib.error.HTTPError as e:
            raise RuntimeError("%s %s: %s" % (method, path, e.read().decode(errors="replace")[:800]))

    def _command(self, method, path, body=None, timeout=60):
        return self._request(method, self.session + path, body, timeout)

    def _size_viewport(self):
        # The window holds the browser's bar too: grow it by what the
        # viewport lacks.
        self._command("POST", "/window/rect", {"width": WIDTH, "height": HEIGHT})
        inner = self.evaluate("[innerWidth, innerHeight]")
        if inner != [WIDTH, HEIGHT]:
            self._command("POST", "/window/rect", {"width": 2 * WIDTH - inner[0],
                                                   "height": 2 * HEIGHT - inner[1]})

    def load(self, url):
        self._command("POST", "/url", {"url": url})

    def evaluate(self, expression, timeout=60):
        if self.script_timeout != timeout:
            self._command("POST", "/timeouts", {"script": int(timeout * 1000)})
            self.script_timeout = timeout
        script = ("const done = arguments[arguments.length - 1]; %s.then("
                  "text => done({value: text}), e => done({error: String(e)}));"
                  % _as_json(expression))
        result = self._command("POST", "/execute/async", {"script": script, "args": []},
                               timeout + 10)
        if "error" in result:
            raise RuntimeError("page: " + result["error"][:800])
        return json.loads(result["value"])

    def key(self, kind, code, key=None, vk=None):
        self._command("POST", "/actions", {"actions": [
            {"type": "key", "id": "keyboard", "actions": [{"type": kind, "value": KEYS[code]}]}]})

    def click(self, x, y):
        self._command("POST", "/actions", {"actions": _click_actions(x, y)})

    # Measured with WebKitGTK 2.50: its WebDriver delivers touch pointers as
    # the one mouse (pointerType "mouse", no touch events), so fingers at once
    # cannot come through the engine's input. The page is handed instead the
    # pointer events a touch screen gives, each finger a pointer of its own
    # on the element under it; no touch events come with them.
    def touches(self, changes):
        self.evaluate("""(changes => { for (const [kind, finger, x, y] of changes) {
          const type = {down: 'pointerdown', move: 'pointermove', up: 'pointerup'}[kind];
          (document.elementFromPoint(x, y) || document.body).dispatchEvent(new PointerEvent(type, {
            bubbles: true, cancelable: true, composed: true, pointerId: 100 + finger,
            pointerType: 'touch', isPrimary: finger === 1, clientX: x, clientY: y,
            button: kind === 'move' ? -1 : 0, buttons: kind === 'up' ? 0 : 1})); } })(%s)"""
                      % json.dumps(changes))

    def screenshot(self):
        return chromium.decode_png(base64.b64decode(self._command("GET", "/screenshot")))

    def close(self):
        if self.session is not None:
            try:
                self._command("DELETE", "", timeout=20)
            except (OSError, RuntimeError):
                pass
            self.session = None
        self._end()


PR_SET_CHILD_SUBREAPER = 36


def become_subreaper():
    """Makes this process the parent of whatever its children leave behind,
    so that end_leftovers finds it (and reaps it: here the first process may
    not)."""
    try:
        ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
    except (OSError, AttributeError):
        pass


def end_leftovers():
    """Kills and reaps every child process still there; their names."""
    names = []
    me = str(os.getpid())
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/stat" % pid) as f:
                stat = f.read()
        except OSError:
            continue
        fields = stat[stat.rfind(")") + 2:].split()
        if fields[1] == me:
            if fields[0] != "Z":
                names.append(stat[stat.find("(") + 1:stat.rfind(")")])
            try:
                os.kill(int(pid), signal.SIGKILL)
            except ProcessLookupError:
                pass
    while True:
        try:
            if os.waitpid(-1, 0)[0] == 0:
                break
        except ChildProcessError:
            break
    return names
