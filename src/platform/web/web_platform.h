// What the page's entry needs of the web platform besides platform.h.
#pragma once

// Starts taking the page's key events (and forgetting held keys when the page
// loses focus).
void webListenForKeys();

// Reads the pads the browser has (its Gamepad API): once per frame, before
// the frame takes its keys.
void webReadPads();

// After a frame has taken its keys: a control's tap it saw is over.
void webFrameKeysTaken();
