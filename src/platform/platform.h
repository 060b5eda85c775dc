// What the frame sees of the machine: the key state, the tick count, the
// random generator and the buffer swap. The program links the SDL implementation
// (Linux) or the Win32 one (Windows); tests, benchmarks and hillcar-replay link
// the scripted one. Nothing here includes SDL or windows.h.
#pragma once

#include <cstdint>

// The drawable whose buffers a frame swaps. Opaque outside the platform layer.
struct DeviceContext;

// Key state of a virtual key (the key map's VK values): bit 7 (0x80) is set
// while the key is held, as of the events the loop has already taken.
short getKeyState(int vk);

// Milliseconds since system start, as an unsigned 32-bit count that wraps.
uint32_t getTickCount();

// Show the frame just drawn.
void swapBuffers(DeviceContext* dc);

// The C library generator every random choice draws from (rand), and its
// seeding (srand). The program uses its platform's own; hillcar-replay can put
// an exact model of another C library's in its place, so that one script
// builds the same world on every platform.
int platformRand();
void platformSrand(uint32_t seed);
