// XInput pads, for the Win32 sources only. XInput is loaded at run time
// (xinput1_4.dll, else xinput9_1_0.dll), so that the program imports only
// DLLs every Windows has and runs on the keyboard alone where neither exists.
// The four user slots are read whenever the message queue has been found
// empty, so that a frame sees them as of the messages already taken.
#pragma once

void startPads();
void stopPads();
// Reads what every connected pad holds now.
void readPads();
// Whether any pad held virtual key vk at the last readPads.
bool padsHold(int vk);
