#include "platform/scripted/gl_record.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

namespace {

// A frame makes about 90,000 calls; room for a few times that. Calls past the
// room are counted but not kept, so a runaway frame cannot overrun memory.
constexpr size_t maxCalls = 1 << 19;
constexpr size_t maxArgs = 1 << 21;

GlOp ops[maxCalls];
unsigned argStart[maxCalls];
unsigned char argCount[maxCalls];
double argPool[maxArgs];
size_t nCalls;
size_t nArgs;
GlCounts counts;

const char* const names[GLREC_OP_COUNT] = {
    "glBegin",       "glEnd",         "glVertex3f",  "glColor3f",    "glColor4f",   "glClear",
    "glClearColor",  "glLoadIdentity", "glPushMatrix", "glPopMatrix", "glEnable",    "glDisable",
    "glBlendFunc",   "glMatrixMode",  "gluLookAt",   "gluPerspective", "swap",
};

void record(GlOp op, int argc, const double* args)
{
    if (op == GLREC_BEGIN) counts.begins++;
    else if (op == GLREC_VERTEX3F) counts.vertices++;
    else if (op == GLREC_COLOR3F || op == GLREC_COLOR4F) counts.colors++;
    if (nCalls == maxCalls || nArgs + argc > maxArgs) return;
    ops[nCalls] = op;
    argStart[nCalls] = (unsigned)nArgs;
    argCount[nCalls] = (unsigned char)argc;
    for (int k = 0; k < argc; k++) argPool[nArgs++] = args[k];
    nCalls++;
}

void record0(GlOp op)
{
    record(op, 0, nullptr);
}

void record1(GlOp op, double a)
{
    record(op, 1, &a);
}

void record2(GlOp op, double a, double b)
{
    double args[2] = {a, b};
    record(op, 2, args);
}

void record3(GlOp op, double a, double b, double c)
{
    double args[3] = {a, b, c};
    record(op, 3, args);
}

void record4(GlOp op, double a, double b, double c, double d)
{
    double args[4] = {a, b, c, d};
    record(op, 4, args);
}

bool isFloatArgOp(GlOp op)
{
    return op == GLREC_VERTEX3F || op == GLREC_COLOR3F || op == GLREC_COLOR4F ||
           op == GLREC_CLEARCOLOR;
}

void writeNumber(FILE* out, double v, bool asFloat)
{
    if (!std::isfinite(v)) fputs("null", out);
    else if (asFloat) fprintf(out, "%.9g", v);
    else fprintf(out, "%.17g", v);
}

} // namespace

void glrecReset()
{
    nCalls = 0;
    nArgs = 0;
    counts = GlCounts{0, 0, 0};
}

void glrecSwap()
{
    record0(GLREC_SWAP);
}

size_t glrecSize()
{
    return nCalls;
}

GlCall glrecCall(size_t i)
{
    return GlCall{ops[i], argCount[i], &argPool[argStart[i]]};
}

const GlOp* glrecOps()
{
    return ops;
}

GlCounts glrecCounts()
{
    return counts;
}

const char* glrecName(GlOp op)
{
    return op < GLREC_OP_COUNT ? names[op] : "?";
}

void glrecWriteJson(FILE* out)
{
    fputc('[', out);
    for (size_t i = 0; i < nCalls; i++) {
        GlCall c = glrecCall(i);
        if (i) fputs(", ", out);
        fprintf(out, "[\"%s\"", names[c.op]);
        bool asFloat = isFloatArgOp(c.op);
        for (int k = 0; k < c.argc; k++) {
            fputs(", ", out);
            // Enumerants and bitfields print as integers; doubles keep 17 digits.
            if (c.op == GLREC_LOOKAT || c.op == GLREC_PERSPECTIVE || asFloat)
                writeNumber(out, c.args[k], asFloat);
            else
                fprintf(out, "%ld", (long)c.args[k]);
        }
        fputc(']', out);
    }
    fputc(']', out);
}

// The GL and GLU entry points the system calls, recorded instead of drawn.
extern "C" {

void glBegin(GLenum mode) { record1(GLREC_BEGIN, mode); }
void glEnd(void) { record0(GLREC_END); }
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { record3(GLREC_VERTEX3F, x, y, z); }
void glColor3f(GLfloat r, GLfloat g, GLfloat b) { record3(GLREC_COLOR3F, r, g, b); }
void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) { record4(GLREC_COLOR4F, r, g, b, a); }
void glClear(GLbitfield mask) { record1(GLREC_CLEAR, mask); }
void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) { record4(GLREC_CLEARCOLOR, r, g, b, a); }
void glLoadIdentity(void) { record0(GLREC_LOADIDENTITY); }
void glPushMatrix(void) { record0(GLREC_PUSHMATRIX); }
void glPopMatrix(void) { record0(GLREC_POPMATRIX); }
void glEnable(GLenum cap) { record1(GLREC_ENABLE, cap); }
void glDisable(GLenum cap) { record1(GLREC_DISABLE, cap); }
void glBlendFunc(GLenum s, GLenum d) { record2(GLREC_BLENDFUNC, s, d); }
void glMatrixMode(GLenum mode) { record1(GLREC_MATRIXMODE, mode); }

void gluLookAt(GLdouble ex, GLdouble ey, GLdouble ez, GLdouble cx, GLdouble cy, GLdouble cz,
               GLdouble ux, GLdouble uy, GLdouble uz)
{
    double args[9] = {ex, ey, ez, cx, cy, cz, ux, uy, uz};
    record(GLREC_LOOKAT, 9, args);
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar)
{
    record4(GLREC_PERSPECTIVE, fovy, aspect, zNear, zFar);
}

} // extern "C"
