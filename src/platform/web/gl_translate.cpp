#include "platform/web/gl_translate.h"

#include <GL/gl.h>

#include <cmath>
#include <cstring>

namespace {

void setIdentity(double m[16])
{
    for (int k = 0; k < 16; k++) m[k] = (k % 5 == 0) ? 1.0 : 0.0;
}

double* currentMatrix(TranslatorState& s)
{
    return s.projectionMode ? s.projection[s.projectionTop] : s.modelview[s.modelviewTop];
}

void multiplyCurrent(TranslatorState& s, const double m[16])
{
    double* cur = currentMatrix(s);
    double product[16];
    multiplyMatrix(cur, m, product);
    memcpy(cur, product, sizeof product);
    s.stateChanged = true;
}

uint8_t toByte(double v)
{
    // GL clamps a given colour to [0, 1] before it reaches the pixels.
    if (!(v > 0.0)) return 0;
    if (v >= 1.0) return 255;
    return (uint8_t)(v * 255.0 + 0.5);
}

WebDraw* appendDraw(WebFrame& frame, int32_t kind)
{
    if (frame.drawCount == WEB_MAX_DRAWS) {
        frame.dropped++;
        return nullptr;
    }
    WebDraw* d = &frame.draws[frame.drawCount++];
    memset(d, 0, sizeof *d);
    d->kind = kind;
    return d;
}

// The draw the next triangle goes into: the last one while no state changed.
WebDraw* triangleDraw(TranslatorState& s, WebFrame& frame)
{
    if (!s.stateChanged && frame.drawCount > 0) {
        WebDraw* last = &frame.draws[frame.drawCount - 1];
        if (last->kind == WEBDRAW_TRIANGLES) return last;
    }
    WebDraw* d = appendDraw(frame, WEBDRAW_TRIANGLES);
    if (!d) return nullptr;
    d->first = frame.vertexCount;
    d->depthTest = s.depthTest;
    d->blend = s.blend;
    d->blendSrc = s.blendSrc;
    d->blendDst = s.blendDst;
    double mvp[16];
    multiplyMatrix(s.projection[s.projectionTop], s.modelview[s.modelviewTop], mvp);
    for (int k = 0; k < 16; k++) d->mvp[k] = (float)mvp[k];
    s.stateChanged = false;
    return d;
}

void emitTriangle(TranslatorState& s, WebFrame& frame, const WebVertex& a, const WebVertex& b,
                  const WebVertex& c)
{
    if (frame.vertexCount + 3 > (int)WEB_MAX_VERTICES) {
        frame.dropped += 3;
        return;
    }
    WebDraw* d = triangleDraw(s, frame);
    if (!d) return;
    frame.vertices[frame.vertexCount++] = a;
    frame.vertices[frame.vertexCount++] = b;
    frame.vertices[frame.vertexCount++] = c;
    d->count += 3;
}

void addVertex(TranslatorState& s, WebFrame& frame, const double* xyz)
{
    if (s.beginMode != GL_QUADS && s.beginMode != GL_TRIANGLES) return;
    WebVertex& v = s.pending[s.pendingCount++];
    v.x = (float)xyz[0];
    v.y = (float)xyz[1];
    v.z = (float)xyz[2];
    v.r = toByte(s.colour[0]);
    v.g = toByte(s.colour[1]);
    v.b = toByte(s.colour[2]);
    v.a = toByte(s.colour[3]);
    const WebVertex* p = s.pending;
    if (s.beginMode == GL_TRIANGLES && s.pendingCount == 3) {
        emitTriangle(s, frame, p[0], p[1], p[2]);
        s.pendingCount = 0;
    } else if (s.beginMode == GL_QUADS && s.pendingCount == 4) {
        // Split on the 1-3 diagonal, as Mesa splits a quad: the colours
        // interpolate across the same two triangles as on the desktop.
        emitTriangle(s, frame, p[0], p[1], p[3]);
        emitTriangle(s, frame, p[1], p[2], p[3]);
        s.pendingCount = 0;
    }
}

void setCap(TranslatorState& s, double cap, bool on)
{
    if (cap == GL_DEPTH_TEST) s.depthTest = on;
    else if (cap == GL_BLEND) s.blend = on;
    else return;
    s.stateChanged = true;
}

} // namespace

void multiplyMatrix(const double a[16], const double b[16], double out[16])
{
    for (int col = 0; col < 4; col++)
        for (int row = 0; row < 4; row++) {
            double sum = 0.0;
            for (int k = 0; k < 4; k++) sum += a[k * 4 + row] * b[col * 4 + k];
            out[col * 4 + row] = sum;
        }
}

void makeLookAt(const double a[9], double out[16])
{
    double f[3] = {a[3] - a[0], a[4] - a[1], a[5] - a[2]};
    double fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    if (fl > 0.0)
        for (double& v : f) v /= fl;
    const double* up = a + 6;
    double s[3] = {f[1] * up[2] - f[2] * up[1], f[2] * up[0] - f[0] * up[2],
                   f[0] * up[1] - f[1] * up[0]};
    double sl = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
    if (sl > 0.0)
        for (double& v : s) v /= sl;
    double u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
    double r[16] = {s[0], u[0], -f[0], 0, s[1], u[1], -f[1], 0, s[2], u[2], -f[2], 0, 0, 0, 0, 1};
    // Then the translation by -eye.
    for (int row = 0; row < 3; row++)
        r[12 + row] = -(r[row] * a[0] + r[4 + row] * a[1] + r[8 + row] * a[2]);
    memcpy(out, r, sizeof r);
}

void makePerspective(double fovy, double aspect, double zNear, double zFar, double out[16])
{
    const double pi = 3.14159265358979323846;
    double half = fovy / 2.0 * pi / 180.0;
    double depth = zFar - zNear;
    double sine = std::sin(half);
    for (int k = 0; k < 16; k++) out[k] = 0.0;
    // GLU leaves the matrix alone for a degenerate frustum.
    if (depth == 0.0 || sine == 0.0 || aspect == 0.0) {
        setIdentity(out);
        return;
    }
    double cot = std::cos(half) / sine;
    out[0] = cot / aspect;
    out[5] = cot;
    out[10] = -(zFar + zNear) / depth;
    out[11] = -1.0;
    out[14] = -2.0 * zNear * zFar / depth;
}

void resetTranslator(TranslatorState& s)
{
    memset(&s, 0, sizeof s);
    setIdentity(s.modelview[0]);
    setIdentity(s.projection[0]);
    for (float& c : s.colour) c = 1.0f;
    s.blendSrc = GL_ONE;
    s.blendDst = GL_ZERO;
    s.beginMode = -1;
    s.stateChanged = true;
}

void beginWebFrame(WebFrame& frame)
{
    frame.vertexCount = 0;
    frame.drawCount = 0;
    frame.dropped = 0;
}

void translateCalls(TranslatorState& s, size_t first, size_t last, WebFrame& frame)
{
    for (size_t i = first; i < last; i++) {
        const GlCall c = glrecCall(i);
        const double* a = c.args;
        switch (c.op) {
        case GLREC_BEGIN:
            s.beginMode = (int32_t)a[0];
            s.pendingCount = 0;
            break;
        case GLREC_END:
            s.beginMode = -1;
            s.pendingCount = 0;
            break;
        case GLREC_VERTEX3F: addVertex(s, frame, a); break;
        case GLREC_COLOR3F:
            for (int k = 0; k < 3; k++) s.colour[k] = (float)a[k];
            s.colour[3] = 1.0f;
            break;
        case GLREC_COLOR4F:
            for (int k = 0; k < 4; k++) s.colour[k] = (float)a[k];
            break;
        case GLREC_CLEAR:
            if (WebDraw* d = appendDraw(frame, WEBDRAW_CLEAR)) {
                d->clearMask = (uint32_t)a[0];
                memcpy(d->clearColour, s.clearColour, sizeof d->clearColour);
            }
            break;
        case GLREC_CLEARCOLOR:
            // GL keeps the clear colour clamped to [0, 1].
            for (int k = 0; k < 4; k++)
                s.clearColour[k] = a[k] > 1.0 ? 1.0f : (a[k] > 0.0 ? (float)a[k] : 0.0f);
            break;
        case GLREC_LOADIDENTITY:
            setIdentity(currentMatrix(s));
            s.stateChanged = true;
            break;
        case GLREC_PUSHMATRIX: {
            // A push past the stack's room or a pop of its last matrix is an
            // error in GL that changes nothing.
            int& top = s.projectionMode ? s.projectionTop : s.modelviewTop;
            double(*stack)[16] = s.projectionMode ? s.projection : s.modelview;
            if (top + 1 < WEB_STACK_DEPTH) {
                memcpy(stack[top + 1], stack[top], sizeof stack[top]);
                top++;
            }
            break;
        }
        case GLREC_POPMATRIX: {
            int& top = s.projectionMode ? s.projectionTop : s.modelviewTop;
            if (top > 0) top--;
            s.stateChanged = true;
            break;
        }
        case GLREC_ENABLE: setCap(s, a[0], true); break;
        case GLREC_DISABLE: setCap(s, a[0], false); break;
        case GLREC_BLENDFUNC:
            s.blendSrc = (int32_t)a[0];
            s.blendDst = (int32_t)a[1];
            s.stateChanged = true;
            break;
        case GLREC_MATRIXMODE:
            if (a[0] == GL_PROJECTION) s.projectionMode = true;
            else if (a[0] == GL_MODELVIEW) s.projectionMode = false;
            break;
        case GLREC_LOOKAT: {
            double m[16];
            makeLookAt(a, m);
            multiplyCurrent(s, m);
            break;
        }
        case GLREC_PERSPECTIVE: {
            double m[16];
            makePerspective(a[0], a[1], a[2], a[3], m);
            multiplyCurrent(s, m);
            break;
        }
        case GLREC_SWAP:
        case GLREC_OP_COUNT: break;
        }
    }
}
