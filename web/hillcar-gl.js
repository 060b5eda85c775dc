// The page's WebGL 1 drawer for the frames the program translates
// (src/platform/web/gl_translate.h): per frame one upload of the vertices,
// then its clears and its runs of triangles and quads, each under its own
// matrix, depth test and blend. Quads are split into two triangles by a fixed
// index buffer: corners (0, 1, 3) and (1, 2, 3), the diagonal Mesa takes, so
// that colours interpolate as on the desktop. The drawing fills the canvas's
// drawing buffer, whatever its size; a context the browser takes away and
// gives back is filled again. Installed as Module.hillcarDraw.
"use strict";

// Words of one translated draw (struct WebDraw), and bytes of one vertex.
const HILLCAR_DRAW_WORDS = 28;
const HILLCAR_VERTEX_BYTES = 28;
const HILLCAR_MAX_VERTICES = 1 << 18;
const HILLCAR_QUAD_CORNERS = [0, 1, 3, 1, 2, 3];

function hillcarMakeDrawer(canvas, module) {
  // No alpha: the frame clears with alpha 0, which must not let the page show
  // through. No antialiasing, as the desktop's window has none.
  const gl = canvas.getContext("webgl", {alpha: false, antialias: false, depth: true});
  // A frame has more than 65,536 vertices: 32-bit indices.
  if (!gl || !gl.getExtension("OES_element_index_uint")) return null;

  function shader(type, text) {
    const s = gl.createShader(type);
    gl.shaderSource(s, text);
    gl.compileShader(s);
    if (!gl.getShaderParameter(s, gl.COMPILE_STATUS)) throw new Error(gl.getShaderInfoLog(s));
    return s;
  }
  const quadIndices = new Uint32Array(HILLCAR_MAX_VERTICES / 4 * 6);
  for (let q = 0, k = 0; q < HILLCAR_MAX_VERTICES / 4; q++)
    for (const corner of HILLCAR_QUAD_CORNERS) quadIndices[k++] = 4 * q + corner;
  let matrix = null;

  // Everything the drawer keeps in the context: made at the start and again
  // when the browser gives back a context it took away, which lost it all.
  function upload() {
    gl.getExtension("OES_element_index_uint");
    const program = gl.createProgram();
    gl.attachShader(program, shader(gl.VERTEX_SHADER,
      "attribute vec3 p; attribute vec4 c; uniform mat4 m; varying vec4 v;" +
      "void main() { gl_Position = m * vec4(p, 1.0); v = clamp(c, 0.0, 1.0); }"));
    gl.attachShader(program, shader(gl.FRAGMENT_SHADER,
      "precision mediump float; varying vec4 v; void main() { gl_FragColor = v; }"));
    gl.bindAttribLocation(program, 0, "p");
    gl.bindAttribLocation(program, 1, "c");
    gl.linkProgram(program);
    if (!gl.getProgramParameter(program, gl.LINK_STATUS))
      throw new Error(gl.getProgramInfoLog(program));
    gl.useProgram(program);
    matrix = gl.getUniformLocation(program, "m");

    gl.bindBuffer(gl.ARRAY_BUFFER, gl.createBuffer());
    gl.bufferData(gl.ARRAY_BUFFER, HILLCAR_MAX_VERTICES * HILLCAR_VERTEX_BYTES, gl.STREAM_DRAW);
    gl.enableVertexAttribArray(0);
    gl.enableVertexAttribArray(1);
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, gl.createBuffer());
    gl.bufferData(gl.ELEMENT_ARRAY_BUFFER, quadIndices, gl.STATIC_DRAW);
  }
  upload();

  // A phone takes the context from a page in the background. Until it comes
  // back nothing is drawn; the frames run on, so the world is the same.
  canvas.addEventListener("webglcontextlost", function (e) {
    e.preventDefault(); // asks for the context back
    drawer.lost = true;
  });
  canvas.addEventListener("webglcontextrestored", function () {
    upload();
    drawer.lost = false;
    drawer.restored++;
  });

  const drawer = function (vertices, vertexCount, draws, drawCount) {
    if (drawer.lost || gl.isContextLost()) return;
    // The whole drawing buffer, whatever size the page gives it.
    gl.viewport(0, 0, gl.drawingBufferWidth, gl.drawingBufferHeight);
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
      // The attributes start at the draw's first vertex, so that the quads'
      // fixed indices count from it.
      const first = i32[w + 1] * HILLCAR_VERTEX_BYTES, count = i32[w + 2];
      gl.vertexAttribPointer(0, 3, gl.FLOAT, false, HILLCAR_VERTEX_BYTES, first);
      gl.vertexAttribPointer(1, 4, gl.FLOAT, false, HILLCAR_VERTEX_BYTES, first + 12);
      if (i32[w] === 2)
        gl.drawElements(gl.TRIANGLES, count / 4 * 6, gl.UNSIGNED_INT, 0);
      else
        gl.drawArrays(gl.TRIANGLES, 0, count);
    }
    drawer.frames++;
  };
  drawer.frames = 0; // frames drawn
  drawer.lost = false;
  drawer.restored = 0; // contexts given back
  drawer.gl = gl;
  return drawer;
}
