"""Headless Chromium for the page's tests, from the standard library alone: a
local HTTP server for the page's folder, Chromium started on it, and its
DevTools protocol spoken over a minimal WebSocket client."""

import base64
import functools
import http.server
import json
import os
import shutil
import socket
import struct
import subprocess
import tempfile
import threading
import time
import urllib.request
import zlib

CHROMIUM = "/usr/bin/chromium"

# Flags for a machine with no network and no GPU: root needs no sandbox, and
# the background services would only try the network.
FLAGS = ["--no-sandbox", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
         "--hide-scrollbars", "--mute-audio"]
# Where WebGL runs: headless on SwiftShader (the processor, no display), or in a
# window on an X display (Xvfb) through ANGLE over that display's OpenGL, Mesa.
GPU_FLAGS = {
    "swiftshader": ["--headless", "--use-angle=swiftshader", "--enable-unsafe-swiftshader"],
    "mesa": ["--use-gl=angle", "--use-angle=gl", "--ignore-gpu-blocklist"],
}


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class PageServer:
    """Serves a folder on 127.0.0.1 at a free port, in a thread."""

    def __init__(self, folder):
        handler = functools.partial(_QuietHandler, directory=folder)
        handler.extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map)
        handler.extensions_map[".wasm"] = "application/wasm"
        handler.extensions_map[".js"] = "text/javascript"
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def url(self, path):
        return "http://127.0.0.1:%d/%s" % (self.port, path)

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class WebSocket:
    """A WebSocket client: text frames out (masked), whole messages in."""

    def __init__(self, url):
        assert url.startswith("ws://")
        hostport, path = url[5:].split("/", 1)
        host, port = hostport.split(":")
        self.sock = socket.create_connection((host, int(port)), timeout=60)
        key = base64.b64encode(os.urandom(16)).decode()
        request = ("GET /%s HTTP/1.1\r\nHost: %s\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                   "Sec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n\r\n" % (path, hostport, key))
        self.sock.sendall(request.encode())
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = self.sock.recv(1)
            if not chunk:
                raise ConnectionError("WebSocket handshake cut short")
            head += chunk
        if b" 101 " not in head.split(b"\r\n")[0]:
            raise ConnectionError("WebSocket handshake refused: %r" % head[:200])

    def _read(self, n):
        data = bytearray()
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise ConnectionError("WebSocket closed")
            data += chunk
        return bytes(data)

    def send(self, text):
        payload = text.encode()
        header = bytearray([0x81])
        n = len(payload)
        if n < 126:
            header.append(0x80 | n)
        elif n < 65536:
            header += bytes([0x80 | 126]) + struct.pack(">H", n)
        else:
            header += bytes([0x80 | 127]) + struct.pack(">Q", n)
        mask = os.urandom(4)
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        self.sock.sendall(bytes(header) + mask + masked)

    def receive(self):
        message = b""
        while True:
            b0, b1 = self._read(2)
            n = b1 & 0x7F
            if n == 126:
                n = struct.unpack(">H", self._read(2))[0]
            elif n == 127:
                n = struct.unpack(">Q", self._read(8))[0]
            mask = self._read(4) if b1 & 0x80 else None
            payload = self._read(n)
            if mask:
                payload = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
            opcode = b0 & 0x0F
            if opcode == 8:
                raise ConnectionError("WebSocket closed by the browser")
            if opcode in (9, 10):  # ping, pong
                continue
            message += payload
            if b0 & 0x80:
                return message.decode()

    def close(self):
        self.sock.close()


class Browser:
    """Headless Chromium showing one page, driven through its DevTools protocol."""

    def __init__(self, url, width=1000, height=800, gpu="swiftshader"):
        self.profile = tempfile.mkdtemp(prefix="hillcar-chromium-")
        self.proc = subprocess.Popen(
            [CHROMIUM] + FLAGS + GPU_FLAGS[gpu] +
            ["--user-data-dir=" + self.profile, "--remote-debugging-port=0",
             "--window-size=%d,%d" % (width, height), url],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.next_id = 0
        port = self._debugging_port()
        deadline = time.time() + 30
        page = None
        while page is None and time.time() < deadline:
            with urllib.request.urlopen("http://127.0.0.1:%d/json/list" % port) as r:
                targets = json.load(r)
            page = next((t for t in targets if t.get("type") == "page"), None)
            if page is None:
                time.sleep(0.1)
        if page is None:
            raise RuntimeError("Chromium shows no page")
        self.ws = WebSocket(page["webSocketDebuggerUrl"])

    def _debugging_port(self):
        path = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.time() + 30
        while time.time() < deadline:
            if self.proc.poll() is not None:
                raise RuntimeError("Chromium ended at start (status %d)" % self.proc.returncode)
            try:
                with open(path) as f:
                    line = f.readline().strip()
                if line:
                    return int(line)
            except OSError:
                pass
            time.sleep(0.05)
        raise RuntimeError("Chromium opened no debugging port")

    def call(self, method, **params):
        self.next_id += 1
        self.ws.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            reply = json.loads(self.ws.receive())
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError("%s: %s" % (method, reply["error"]))
                return reply["result"]

    def evaluate(self, expression, timeout=60):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True,
                           awaitPromise=True, timeout=timeout * 1000)
        if "exceptionDetails" in result:
            raise RuntimeError("page: %s" % json.dumps(result["exceptionDetails"])[:800])
        return result["result"].get("value")

    def wait_for(self, expression, timeout=60):
        deadline = time.time() + timeout
        while time.time() < deadline:
            # Until the page has loaded, its names are not there yet.
            if self.evaluate("(() => { try { return !!(%s); } catch (e) { return false; } })()"
                             % expression):
                return
            time.sleep(0.05)
        raise TimeoutError("page never had: " + expression)

    def key(self, kind, code, key, vk):
        """kind 'keyDown' or 'keyUp' for the key at KeyboardEvent.code code."""
        self.call("Input.dispatchKeyEvent", type=kind, code=code, key=key,
                  windowsVirtualKeyCode=vk, nativeVirtualKeyCode=vk)

    def screenshot(self):
        """The page as shown: (width, height, RGB bytes)."""
        data = base64.b64decode(self.call("Page.captureScreenshot", format="png")["data"])
        return decode_png(data)

    def close(self):
        try:
            self.ws.close()
        except OSError:
            pass
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.profile, ignore_errors=True)


def decode_png(data):
    """An 8-bit RGB or RGBA, non-interlaced PNG to (width, height, RGB bytes)."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos = 8
    idat = b""
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, "unsupported PNG"
        elif kind == b"IDAT":
            idat += body
        pos += 12 + n
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    out = bytearray(width * height * 3)
    prev = bytearray(stride)
    for y in range(height):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        if f == 1:
            for i in range(channels, stride):
                line[i] = (line[i] + line[i - channels]) & 0xFF
        elif f == 2:
            for i in range(stride):
                line[i] = (line[i] + prev[i]) & 0xFF
        elif f == 3:
            for i in range(stride):
                left = line[i - channels] if i >= channels else 0
                line[i] = (line[i] + ((left + prev[i]) >> 1)) & 0xFF
        elif f == 4:
            for i in range(stride):
                a = line[i - channels] if i >= channels else 0
                b = prev[i]
                c = prev[i - channels] if i >= channels else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 0xFF
        if channels == 3:
            out[y * width * 3:(y + 1) * width * 3] = line
        else:
            out[y * width * 3:(y + 1) * width * 3] = bytes(
                line[i] for i in range(stride) if i % 4 != 3)
        prev = line
    return width, height, bytes(out)


def write_png(path, width, height, rgb):
    """RGB bytes to an 8-bit PNG file."""
    rows = b"".join(b"\x00" + rgb[y * width * 3:(y + 1) * width * 3] for y in range(height))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" +
                chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(rows, 6)) + chunk(b"IEND", b""))
