// The page's WebGL 1 drawer for the frames the program translates
// (src/platform/web/gl_translate.h): per frame one upload of the vertices,
// then its clears and its runs of triangles, each under its own matrix, depth
// test and blend. Installed as Module.hillcarDraw.
"use strict";

// Words of one translated draw (struct WebDraw), and bytes of one vertex.
const HILLCAR_DRAW_WORDS = 28;
const HILLCAR_VERTEX_BYTES = 16;
const HILLCAR_MAX_VERTICES = 1 << 18;

function hillcarMakeDrawer(canvas, module) {
  // No alpha: the frame clears with alpha 0, which must not let the page show
  // through. No antialiasing, as the desktop's window has none.
  const gl = canvas.getContext("webgl", {alpha: false, antialias: false, depth: true});
  if (!gl) return null;

  function shader(type, text) {
    const s = gl.createShader(type);
    gl.shaderSource(s, text);
    gl.compileShader(s);
    if (!gl.getShaderParameter(s, gl.COMPILE_STATUS)) throw new Error(gl.getShaderInfoLog(s));
    return s;
  }
  const program = gl.createProgram();
  gl.attachShader(program, shader(gl.VERTEX_SHADER,
    "attribute vec3 p; attribute vec4 c; uniform mat4 m; varying vec4 v;" +
    "void main() { gl_Position = m * vec4(p, 1.0); v = c; }"));
  gl.attachShader(program, shader(gl.FRAGMENT_SHADER,
    "precision mediump float; varying vec4 v; void main() { gl_FragColor = v; }"));
  gl.bindAttribLocation(program, 0, "p");
  gl.bindAttribLocation(program, 1, "c");
  gl.linkProgram(program);
  if (!gl.getProgramParameter(program, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(program));
  gl.useProgram(program);
  const matrix = gl.getUniformLocation(program, "m");

  gl.bindBuffer(gl.ARRAY_BUFFER, gl.createBuffer());
  gl.bufferData(gl.ARRAY_BUFFER, HILLCAR_MAX_VERTICES * HILLCAR_VERTEX_BYTES, gl.STREAM_DRAW);
  gl.enableVertexAttribArray(0);
  gl.enableVertexAttribArray(1);
  gl.vertexAttribPointer(0, 3, gl.FLOAT, false, HILLCAR_VERTEX_BYTES, 0);
  gl.vertexAttribPointer(1, 4, gl.UNSIGNED_BYTE, true, HILLCAR_VERTEX_BYTES, 12);
  gl.viewport(0, 0, canvas.width, canvas.height);

  const drawer = function (vertices, vertexCount, draws, drawCount) {
    // The heap's views are fetched at each frame: a grown heap replaces them.
    const u8 = module.HEAPU8, i32 = module.HEAP32, f32 = module.HEAPF32;
    gl.bufferSubData(gl.ARRAY_BUFFER, 0, u8.subarray(vertices, vertices + vertexCount * HILLCAR_VERTEX_BYTES));
    for (let k = 0; k < drawCount; k++) {
      const w = (draws >> 2) + k * HILLCAR_DRAW_WORDS;
      if (i32[w] === 0) {
        gl.clearColor(f32[w + 8], f32[w + 9], f32[w + 10], f32[w + 11]);
        gl.clear(i32[w + 7] & (gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT));
        continue;
      }
      if (i32[w + 3]) gl.enable(gl.DEPTH_TEST); else gl.disable(gl.DEPTH_TEST);
      if (i32[w + 4]) gl.enable(gl.BLEND); else gl.disable(gl.BLEND);
      gl.blendFunc(i32[w + 5], i32[w + 6]);
      gl.uniformMatrix4fv(matrix, false, f32.subarray(w + 12, w + 28));
      gl.drawArrays(gl.TRIANGLES, i32[w + 1], i32[w + 2]);
    }
    drawer.frames++;
  };
  drawer.frames = 0;
  drawer.gl = gl;
  return drawer;
}
