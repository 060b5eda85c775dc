#include "platform/win32/key_aliases.h"
#include "platform/platform.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_pads.h"
#include "platform/window.h"

// The key map's values are Windows' own virtual keys. The thread's key state
// follows the key messages already taken from the queue, and frames run only
// once the queue is empty, so it is the state as of every event taken. The
// pads were read when the queue was found empty.
short readKeyboard(int vk)
{
    short state = GetKeyState(vk);
    if (int alias = getKeyAlias(vk)) state |= GetKeyState(alias);
    if (padsHold(vk)) state |= 0x80;
    return state;
}

uint32_t readClock()
{
    return GetTickCount();
}

void swapBuffers(DeviceContext* dc)
{
    SwapBuffers(dc->hdc);
}
