#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_pads.h"
#include "platform/window.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>

namespace {

constexpr int WIDTH = 800;
constexpr int HEIGHT = 600;
const char* const CLASS_NAME = "Hillcar";

// One window, one drawable: static storage, as the program never has more.
Window theWindow;
DeviceContext theDC;
HINSTANCE instance;

// The mode last read, whose every field but the three changed goes back into
// the change request.
DEVMODEA queriedMode;

// Set when the window's size changes, which Windows tells the window
// procedure also outside the message loop (at creation, while the user drags
// the frame); peekMessage hands it on as one MSG_SIZE.
bool sizeChanged;

// Keys other than Escape get no default processing: the frame polls the
// keyboard itself. A close request ends the loop, but the window stays until
// shutdown, after its GL context is gone.
LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return 0;
    case WM_CLOSE:
        PostQuitMessage(0);
        return 0;
    case WM_DESTROY:
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        sizeChanged = true;
        return DefWindowProcA(hwnd, message, wParam, lParam);
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

// "what: reason" on stderr and in a box titled "Error". The reason is the
// system's text for the thread's last error, or, when the failed call set
// none, the one given here.
void reportFailureBecause(const char* what, const char* otherwise)
{
    DWORD code = GetLastError();
    char reason[256] = "";
    DWORD n = 0;
    if (code != 0)
        n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, reason, sizeof reason, nullptr);
    // The system's text ends in a line break.
    while (n > 0 && (reason[n - 1] == '\n' || reason[n - 1] == '\r' || reason[n - 1] == ' '))
        reason[--n] = '\0';
    if (n == 0 && code != 0) std::snprintf(reason, sizeof reason, "error %lu", (unsigned long)code);
    else if (n == 0) std::snprintf(reason, sizeof reason, "%s", otherwise);
    static char text[512];
    std::snprintf(text, sizeof text, "%s: %s", what, reason);
    std::fprintf(stderr, "hillcar: %s\n", text);
    MessageBoxA(nullptr, text, "Error", MB_OK | MB_ICONERROR);
}

} // namespace

bool askYesNo(const char* text, const char* title)
{
    return MessageBoxA(nullptr, text, title, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void showMessage(const char* text, const char* title)
{
    MessageBoxA(nullptr, text, title, MB_OK);
}

namespace {

// The store of text meant for a standard stream that leads nowhere: a pipe
// the program writes into and reads back from when showing it.
FILE* store;
HANDLE storeReader;

bool leadsSomewhere(FILE* stream)
{
    HANDLE h = GetStdHandle(stream == stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}

} // namespace

FILE* textOut(FILE* stream)
{
    if (leadsSomewhere(stream)) return stream;
    if (store) return store;
    // Room for far more than the program ever says: a write never waits.
    HANDLE reader, writer;
    if (!CreatePipe(&reader, &writer, nullptr, 1 << 16)) return stream;
    int fd = _open_osfhandle((intptr_t)writer, _O_WRONLY | _O_BINARY);
    store = fd < 0 ? nullptr : _fdopen(fd, "wb");
    if (!store) {
        if (fd >= 0) _close(fd);
        else CloseHandle(writer);
        CloseHandle(reader);
        return stream;
    }
    setvbuf(store, nullptr, _IONBF, 0);
    storeReader = reader;
    return store;
}

void showStoredText(const char* title)
{
    if (!store) return;
    static char text[4096];
    DWORD waiting = 0, got = 0;
    if (!PeekNamedPipe(storeReader, nullptr, 0, nullptr, &waiting, nullptr) || waiting == 0) return;
    if (waiting > sizeof text - 1) waiting = sizeof text - 1;
    if (!ReadFile(storeReader, text, waiting, &got, nullptr)) return;
    while (got > 0 && text[got - 1] == '\n') got--;
    text[got] = '\0';
    MessageBoxA(nullptr, text, title, MB_OK);
}

void reportFailure(const char* what)
{
    reportFailureBecause(what, "the system gave no reason");
}

// The class is registered once and never unregistered.
bool startWindowing()
{
    instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = WndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = CLASS_NAME;
    if (RegisterClassA(&wc) == 0) {
        reportFailure("Could Not Register Window Class");
        return false;
    }
    startPads();
    return true;
}

void stopWindowing()
{
    stopPads();
}

Window* createWindow(const char* title, bool fullscreen)
{
    // The outer size is 800x600 either way; a captioned window draws inside its
    // frame.
    DWORD style = fullscreen ? (WS_POPUP | WS_VISIBLE) : (WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND hwnd = CreateWindowExA(0, CLASS_NAME, title, style, 0, 0, WIDTH, HEIGHT, nullptr,
                                nullptr, instance, nullptr);
    if (!hwnd) {
        reportFailure("Could Not Create Window");
        return nullptr;
    }
    theWindow.hwnd = hwnd;
    return &theWindow;
}

void destroyWindow(Window* window)
{
    DestroyWindow(window->hwnd);
    window->hwnd = nullptr;
}

void getDrawableSize(Window* window, int* width, int* height)
{
    RECT r = {};
    GetClientRect(window->hwnd, &r);
    *width = r.right - r.left;
    *height = r.bottom - r.top;
}

DeviceContext* getDC(Window* window)
{
    theDC.hdc = GetDC(window->hwnd);
    return &theDC;
}

void releaseDC(Window* window, DeviceContext* dc)
{
    ReleaseDC(window->hwnd, dc->hdc);
    dc->hdc = nullptr;
}

// The pixel format goes on the device context first: 24 colour bits, 16 depth
// bits, double buffered, nothing else.
GLContext* createGLContext(DeviceContext* dc)
{
    PIXELFORMATDESCRIPTOR pfd;
    std::memset(&pfd, 0, sizeof pfd);
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 24;
    pfd.cDepthBits = 16;
    pfd.iLayerType = PFD_MAIN_PLANE;
    SetLastError(0);
    int format = ChoosePixelFormat(dc->hdc, &pfd);
    if (format == 0 || !SetPixelFormat(dc->hdc, format, &pfd)) {
        reportFailureBecause("Could Not Set The Pixel Format",
                             "no OpenGL pixel format for this window; is there an OpenGL driver?");
        return nullptr;
    }
    SetLastError(0);
    HGLRC rc = wglCreateContext(dc->hdc);
    if (!rc) reportFailureBecause("Could Not Create GL Context", "no OpenGL driver took it");
    return reinterpret_cast<GLContext*>(rc);
}

bool makeCurrent(DeviceContext* dc, GLContext* rc)
{
    if (wglMakeCurrent(dc ? dc->hdc : nullptr, reinterpret_cast<HGLRC>(rc))) return true;
    // Letting go of the context at shutdown has nothing to report.
    if (rc) reportFailure("Could Not Make The GL Context Current");
    return false;
}

void deleteGLContext(GLContext* rc)
{
    wglDeleteContext(reinterpret_cast<HGLRC>(rc));
}

void hideCursor()
{
    ShowCursor(FALSE);
}

bool getCurrentDisplayMode(Window*, DisplayMode* mode)
{
    std::memset(&queriedMode, 0, sizeof queriedMode);
    queriedMode.dmSize = sizeof queriedMode;
    if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &queriedMode)) return false;
    mode->width = (int)queriedMode.dmPelsWidth;
    mode->height = (int)queriedMode.dmPelsHeight;
    mode->bitsPerPixel = (int)queriedMode.dmBitsPerPel;
    mode->format = 0;
    mode->refreshRate = (int)queriedMode.dmDisplayFrequency;
    return true;
}

// For the life of the process only: the system restores the stored mode when
// it ends, even if it ends without the restore below.
bool changeDisplayMode(Window*, const DisplayMode* mode)
{
    DEVMODEA dm = queriedMode;
    dm.dmSize = sizeof dm;
    dm.dmPelsWidth = (DWORD)mode->width;
    dm.dmPelsHeight = (DWORD)mode->height;
    dm.dmBitsPerPel = (DWORD)mode->bitsPerPixel;
    dm.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    return ChangeDisplaySettingsA(&dm, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
}

void restoreDisplayMode(Window*)
{
    ChangeDisplaySettingsA(nullptr, 0);
}

// Every message but the quit request is translated and dispatched to WndProc
// here, so the entry's loop sees it as already handled; a size change the
// window procedure saw is handed on before the next message is taken.
bool peekMessage(Message* msg)
{
    msg->vk = 0;
    msg->param = 0;
    if (sizeChanged) {
        sizeChanged = false;
        msg->kind = MSG_SIZE;
        return true;
    }
    MSG m;
    if (!PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        // The queue is empty: the pads as of every message taken.
        readPads();
        return false;
    }
    if (m.message == WM_QUIT) {
        msg->kind = MSG_QUIT;
        msg->param = (int)m.wParam;
        return true;
    }
    TranslateMessage(&m);
    DispatchMessageA(&m);
    msg->kind = MSG_OTHER;
    return true;
}

void postQuitMessage(int code)
{
    PostQuitMessage(code);
}
