#include "platform/egl/offscreen_gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>

namespace {

bool fail(char* why, size_t whySize, const char* step)
{
    snprintf(why, whySize, "%s failed (EGL error 0x%04x)", step, (unsigned)eglGetError());
    return false;
}

EGLint attrib(EGLDisplay d, EGLConfig c, EGLint name)
{
    EGLint v = 0;
    eglGetConfigAttrib(d, c, name, &v);
    return v;
}

// Exactly 8 bits of red, green and blue, no alpha, stencil or multisampling:
// the pixels the program's window has. Of those, the deepest depth buffer.
bool chooseConfig(EGLDisplay d, EGLConfig& chosen, EGLint& depth)
{
    const EGLint wanted[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                             EGL_OPENGL_BIT, EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8,
                             EGL_BLUE_SIZE, 8, EGL_DEPTH_SIZE, 16, EGL_NONE};
    EGLConfig configs[256];
    EGLint n = 0;
    if (!eglChooseConfig(d, wanted, configs, 256, &n)) return false;
    depth = 0;
    for (EGLint i = 0; i < n; i++) {
        EGLConfig c = configs[i];
        if (attrib(d, c, EGL_RED_SIZE) != 8 || attrib(d, c, EGL_GREEN_SIZE) != 8 ||
            attrib(d, c, EGL_BLUE_SIZE) != 8 || attrib(d, c, EGL_ALPHA_SIZE) != 0 ||
            attrib(d, c, EGL_STENCIL_SIZE) != 0 || attrib(d, c, EGL_SAMPLES) != 0)
            continue;
        EGLint bits = attrib(d, c, EGL_DEPTH_SIZE);
        if (bits > depth) {
            depth = bits;
            chosen = c;
        }
    }
    return depth > 0;
}

} // namespace

bool openOffscreenGl(OffscreenGl& gl, int width, int height, char* why, size_t whySize)
{
    gl = OffscreenGl{nullptr, nullptr, nullptr, 0};
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) {
        snprintf(why, whySize, "EGL has no eglGetPlatformDisplayEXT");
        return false;
    }
    EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (d == EGL_NO_DISPLAY) return fail(why, whySize, "Mesa's surfaceless EGL display");
    if (!eglInitialize(d, nullptr, nullptr)) return fail(why, whySize, "eglInitialize");
    gl.display = d;
    EGLConfig config = nullptr;
    EGLint depth = 0;
    if (!chooseConfig(d, config, depth)) {
        closeOffscreenGl(gl);
        snprintf(why, whySize, "no EGL configuration with 8-bit RGB, a depth buffer and desktop GL");
        return false;
    }
    const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(d, config, size);
    if (surface == EGL_NO_SURFACE) {
        fail(why, whySize, "eglCreatePbufferSurface");
        closeOffscreenGl(gl);
        return false;
    }
    gl.surface = surface;
    // Desktop GL; with no version asked for, a compatibility context.
    if (!eglBindAPI(EGL_OPENGL_API)) {
        fail(why, whySize, "eglBindAPI(EGL_OPENGL_API)");
        closeOffscreenGl(gl);
        return false;
    }
    EGLContext context = eglCreateContext(d, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) {
        fail(why, whySize, "eglCreateContext");
        closeOffscreenGl(gl);
        return false;
    }
    gl.context = context;
    if (!eglMakeCurrent(d, surface, surface, context)) {
        fail(why, whySize, "eglMakeCurrent");
        closeOffscreenGl(gl);
        return false;
    }
    gl.depthBits = depth;
    return true;
}

void closeOffscreenGl(OffscreenGl& gl)
{
    if (!gl.display) return;
    eglMakeCurrent(gl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (gl.context) eglDestroyContext(gl.display, gl.context);
    if (gl.surface) eglDestroySurface(gl.display, gl.surface);
    eglTerminate(gl.display);
    gl = OffscreenGl{nullptr, nullptr, nullptr, 0};
}
