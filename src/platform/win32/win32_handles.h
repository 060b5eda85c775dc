// The Win32 objects behind the platform's opaque handles, shared by the Win32
// sources only.
#pragma once

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

struct Window {
    HWND hwnd;
};

struct DeviceContext {
    HDC hdc;
};
