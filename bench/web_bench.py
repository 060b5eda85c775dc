#!/usr/bin/env python3
"""The page's own work per frame beside the native frame's, in one run:

    bench/web_bench.py --bench build-bench/bench/hillcar-bench --page build-web/page \
        --test-page build-web/test-page

Native: hillcar-bench's BM_FrameCounting/keys:0 (every stage, GL calls only
counted). Page, in headless Chromium: the same kind of warm world (400 idle
frames, then frames 16 ms apart), each frame split into the frame in wasm (GL
calls recorded), the translator, and the WebGL submission (one upload, a few
draws, the same frame again and again; the GPU's work is not waited for
but its back-pressure is felt). Then the page's frame rate as it runs on its
own: headless on SwiftShader, and in a window on Xvfb through Mesa's llvmpipe
when Xvfb is there."""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "web"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "window"))
import chromium  # noqa: E402
import xvfb  # noqa: E402

WARM = "rand glibc\nseed 2024\nrepeat 400 100000 16\n"

# Runs in the page: after the warm run and 100 more frames (the first frames
# also pay for the browser's optimising compile of the wasm), blocks of 30
# frames each timed in two parts with nothing drawn, so that the browser's GPU
# process (SwiftShader, on the same processors) is idle meanwhile; each part's
# figure is its best block's mean, the one least disturbed by other work on
# the machine. Then frames translated and drawn, for the submission's cost.
MEASURE = """(() => {
  const r = hillcarRunScript(%s);
  if (r.status !== 0) throw new Error(r.errors);
  hillcarDrawLastFrame();
  const blocks = %d, size = 30, now = () => performance.now();
  let tick = 100000 + 400 * 16, frame = Infinity, translate = Infinity, present = Infinity;
  for (let i = 0; i < 100; i++) {
    tick += 16;
    Module._webRunFrame(tick);
    Module._webTranslateFrame();
  }
  for (let b = 0; b < blocks; b++) {
    let f = 0, t = 0;
    for (let i = 0; i < size; i++) {
      tick += 16;
      const t0 = now();
      Module._webRunFrame(tick);
      const t1 = now();
      Module._webTranslateFrame();
      f += t1 - t0;
      t += now() - t1;
    }
    frame = Math.min(frame, f / size);
    translate = Math.min(translate, t / size);
  }
  for (let b = 0; b < 3; b++) {
    const t0 = now();
    for (let i = 0; i < size; i++) Module._webPresentFrame();
    present = Math.min(present, (now() - t0) / size);
  }
  return {frame: 1000 * frame, translate: 1000 * translate, submit: 1000 * (present - translate),
          vertices: Module._webFrameVertices(), draws: Module._webFrameDraws()};
})()"""


def frame_rate(server, gpu):
    """(renderer, frames a second) of the page running on its own."""
    browser = chromium.Browser(server.url("index.html?seed=2024"), gpu=gpu)
    try:
        browser.wait_for("Module.hillcarDraw && Module.hillcarDraw.frames >= 30", 60)
        f0, t0 = browser.evaluate("Module.hillcarDraw.frames"), time.time()
        time.sleep(5)
        f1, t1 = browser.evaluate("Module.hillcarDraw.frames"), time.time()
        renderer = browser.evaluate(
            "(() => { const gl = Module.hillcarDraw.gl;"
            " const e = gl.getExtension('WEBGL_debug_renderer_info');"
            " return e ? gl.getParameter(e.UNMASKED_RENDERER_WEBGL) : gl.getParameter(gl.RENDERER); })()")
    finally:
        browser.close()
    return renderer, (f1 - f0) / (t1 - t0)


def native_frame(bench):
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        subprocess.run([bench, "--benchmark_filter=BM_FrameCounting/keys:0$",
                        "--benchmark_min_time=2", "--benchmark_out_format=json",
                        "--benchmark_out=" + out.name],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        result = json.load(out)["benchmarks"][0]
    scale = {"us": 1.0, "ms": 1000.0, "ns": 0.001}[result["time_unit"]]
    return result["cpu_time"] * scale


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bench", required=True, help="hillcar-bench (a Release build)")
    parser.add_argument("--page", required=True, help="folder of the built page")
    parser.add_argument("--test-page", help="folder of the built scripted run (trace.html); "
                        "by default test-page beside the page's folder")
    parser.add_argument("--blocks", type=int, default=20, help="blocks of 30 frames")
    args = parser.parse_args()

    test_page = args.test_page or os.path.join(os.path.dirname(os.path.abspath(args.page)),
                                               "test-page")
    native = native_frame(args.bench)
    server = chromium.PageServer(args.page)
    test_server = chromium.PageServer(test_page)
    try:
        browser = chromium.Browser(test_server.url("trace.html"))
        try:
            browser.wait_for("window.hillcarReady", 60)
            page = browser.evaluate(MEASURE % (json.dumps(WARM), args.blocks), 600)
        finally:
            browser.close()
        rates = [frame_rate(server, "swiftshader")]
        if shutil.which("Xvfb"):
            xvfb_proc, display = xvfb.start_xvfb("1280x1024")
            os.environ["DISPLAY"] = display
            try:
                rates.append(frame_rate(server, "mesa"))
            finally:
                xvfb.stop_xvfb(xvfb_proc)
    finally:
        server.close()
        test_server.close()

    own = page["frame"] + page["translate"]
    print("native frame, GL calls counted (BM_FrameCounting/keys:0): %8.1f us" % native)
    print("page, frame in wasm with the GL calls recorded:          %8.1f us" % page["frame"])
    print("page, translator (%d vertices, %d draws):            %8.1f us" % (
        page["vertices"], page["draws"], page["translate"]))
    print("page, its own work (frame and translator):               %8.1f us" % own)
    print("ratio page's own work / native frame:                    %8.2f" % (own / native))
    print("ratio translator / frame in wasm (at most 1):            %8.2f" % (
        page["translate"] / page["frame"]))
    print("page, WebGL submission (upload and draws, with the")
    print("  renderer's back-pressure on a frame drawn again):      %8.1f us" % page["submit"])
    for renderer, rate in rates:
        print("page frame rate on its own, %s: %.1f frames/s" % (renderer, rate))
    print("load average during the run: %.1f" % os.getloadavg()[0])


if __name__ == "__main__":
    main()
