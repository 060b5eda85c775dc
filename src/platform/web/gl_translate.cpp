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

void setColour(TranslatorState& s, float r, float g, float b, float a)
{
    s.colour[0] = r;
    s.colour[1] = g;
    s.colour[2] = b;
    s.colour[3] = a;
}

WebDraw* appendDraw(WebFrame& frame, int32_t kind)
{
    if (frame.drawCount == WEB_MAX_DRAWS) return nullptr;
    WebDraw* d = &frame.draws[frame.drawCount++];
    memset(d, 0, sizeof *d);
    d->kind = kind;
    return d;
}

// The draw the next primitive of a kind goes into: the last one while it is of
// that kind and no state changed.
WebDraw* primitiveDraw(TranslatorState& s, WebFrame& frame, int32_t kind)
{
    if (!s.stateChanged && frame.drawCount > 0) {
        WebDraw* last = &frame.draws[frame.drawCount - 1];
        if (last->kind == kind) return last;
    }
    WebDraw* d = appendDraw(frame, kind);
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

// The calls of one primitive, from the one after its glBegin: its corners
// appended to one draw (no state can change inside a primitive), each written
// once, straight to its place. Returns the index of its glEnd, or last when
// it has none; corners of an unfinished quad or triangle are left out.
size_t translatePrimitive(TranslatorState& s, int32_t mode, size_t i, size_t last, WebFrame& frame)
{
    const int corners = mode == GL_QUADS ? 4 : (mode == GL_TRIANGLES ? 3 : 0);
    const int32_t kind = mode == GL_QUADS ? WEBDRAW_QUADS : WEBDRAW_TRIANGLES;
    WebDraw* draw = nullptr;
    WebVertex spare[4]; // where a quad or triangle with no room goes
    WebVertex* w = spare;
    int n = 0;
    // The current colour, kept in locals while the corners take it.
    float r = s.colour[0], g = s.colour[1], b = s.colour[2], alpha = s.colour[3];
    for (; i < last; i++) {
        const GlCall c = glrecCall(i);
        const double* a = c.args;
        if (c.op == GLREC_VERTEX3F) {
            if (corners == 0) continue;
            if (n == 0) {
                bool room = frame.vertexCount + corners <= (int)WEB_MAX_VERTICES;
                w = room ? &frame.vertices[frame.vertexCount] : spare;
            }
            w[n] = WebVertex{(float)a[0], (float)a[1], (float)a[2], r, g, b, alpha};
            if (++n < corners) continue;
            n = 0;
            // The draw is made by the first whole quad or triangle, so that a
            // primitive with none leaves no empty draw.
            if (w != spare && !draw) draw = primitiveDraw(s, frame, kind);
            if (w == spare || !draw) {
                frame.dropped += corners;
            } else {
                frame.vertexCount += corners;
                draw->count += corners;
            }
        } else if (c.op == GLREC_COLOR3F) {
            r = (float)a[0];
            g = (float)a[1];
            b = (float)a[2];
            alpha = 1.0f;
        } else if (c.op == GLREC_COLOR4F) {
            r = (float)a[0];
            g = (float)a[1];
            b = (float)a[2];
            alpha = (float)a[3];
        } else if (c.op == GLREC_END) {
            break;
        }
    }
    setColour(s, r, g, b, alpha);
    return i < last ? i : last;
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
    setColour(s, 1.0f, 1.0f, 1.0f, 1.0f);
    s.blendSrc = GL_ONE;
    s.blendDst = GL_ZERO;
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
        case GLREC_BEGIN: i = translatePrimitive(s, (int32_t)a[0], i + 1, last, frame); break;
        case GLREC_COLOR3F: setColour(s, (float)a[0], (float)a[1], (float)a[2], 1.0f); break;
        case GLREC_COLOR4F: setColour(s, (float)a[0], (float)a[1], (float)a[2], (float)a[3]); break;
        case GLREC_END:
        case GLREC_VERTEX3F: break; // outside a primitive: nothing to draw
        case GLREC_CLEAR:
            if (WebDraw* d = appendDraw(frame, WEBDRAW_CLEAR)) {
                d->clearMask = (uint32_t)a[0];
                memcpy(d->clearColour, s.clearColour, sizeof d->clearColour);
            } else {
                frame.dropped++;
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
