// What the program's entry needs of the windowing layer: message boxes, the one
// window, its GL context, the display mode, the cursor and a message queue that
// never blocks. Implemented over SDL2 in sdl/sdl_window.cpp and over Win32 in
// win32/win32_window.cpp; nothing here includes SDL or windows.h. Only the
// entry point calls these; frames see platform.h alone.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <cstdio>

struct Window;    // the one window (opaque)
struct GLContext; // a GL context (opaque)

// Message kinds, numbered as the Win32 messages they stand for.
enum : int {
    MSG_OTHER = 0,     // anything the program leaves to default processing
    MSG_SIZE = 0x05,   // the window's drawable changed size (getDrawableSize tells it)
    MSG_CLOSE = 0x10,  // the window's close request, or the system asking to end
    MSG_QUIT = 0x12,   // the quit request posted by postQuitMessage
    MSG_KEYDOWN = 0x100,
};

struct Message {
    int kind;  // one of MSG_*
    int vk;    // MSG_KEYDOWN: the virtual key, 0 for a key the program does not use
    int param; // MSG_QUIT: the code given to postQuitMessage
};

struct DisplayMode {
    int width;
    int height;
    int bitsPerPixel;
    uint32_t format; // the layer's own pixel format code, kept for the change
    int refreshRate;
};

// Message boxes with no owner. askYesNo answers true for Yes only: Return picks
// Yes and Escape picks No, and a box closed or not shown at all counts as No.
bool askYesNo(const char* text, const char* title);
void showMessage(const char* text, const char* title); // OK button, no icon

// A failed start-up step: "what: <the layer's reason>" on stderr, and in a box
// titled "Error" when a display can show one.
void reportFailure(const char* what);

// Where the program's own text goes outside the window: stream (stdout or
// stderr) itself, or, when it leads nowhere, a store of the text that
// showStoredText puts in a box. A Windows program built for the GUI has no
// standard streams unless they are redirected, even when started from a
// console; on Linux they are always the streams.
FILE* textOut(FILE* stream);
// Shows what the store holds, if anything, in a box titled title, and empties it.
void showStoredText(const char* title);

// Starts the windowing layer; false, reported, when there is no display.
bool startWindowing();
void stopWindowing();

// The one window: title, at (0, 0), 800x600 outer size; borderless when full
// screen, else captioned and resizable. Returns null, reported, on failure.
// It also fixes the pixel format the GL context will get.
Window* createWindow(const char* title, bool fullscreen);
void destroyWindow(Window* window);

// The window's drawable in pixels, as of the messages already taken.
void getDrawableSize(Window* window, int* width, int* height);

DeviceContext* getDC(Window* window);
void releaseDC(Window* window, DeviceContext* dc);

// A GL context on dc, or null (reported). makeCurrent(null, null) leaves no
// context current.
GLContext* createGLContext(DeviceContext* dc);
bool makeCurrent(DeviceContext* dc, GLContext* rc);
void deleteGLContext(GLContext* rc);

void hideCursor();

// The display mode of the screen the window is on; false when it can't be had.
bool getCurrentDisplayMode(Window* window, DisplayMode* mode);
// Switch the display to mode for as long as the window lives; false when the
// display has no such mode or refuses it.
bool changeDisplayMode(Window* window, const DisplayMode* mode);
// Put back the display mode the desktop had.
void restoreDisplayMode(Window* window);

// Takes at most one waiting message without blocking; false when none waits.
// A posted quit request is returned once no other message waits. A layer with
// a window procedure of its own (Win32) dispatches every other message to it
// here and hands it back as MSG_OTHER, already handled; a change of the
// drawable's size comes as MSG_SIZE from every layer. Finding no message, it
// reads the pads for the frame that follows.
bool peekMessage(Message* msg);
void postQuitMessage(int code);

// The clock and the keyboard. The loop reads them once before each frame and
// hands the frame what it read (live.h), so they are not the frame's own
// getTickCount and getKeyState.
// Milliseconds since system start, unsigned 32-bit, wrapping.
uint32_t readClock();
// State of a virtual key of the key map: 0x80 while the keyboard or any pad
// holds it (platform/pad.h maps the pads), as of the messages already taken.
// Pads come and go while the program runs.
short readKeyboard(int vk);
