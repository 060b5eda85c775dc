// What the page's entry needs of the web platform besides platform.h.
#pragma once

// Starts taking the page's key events (and forgetting held keys when the page
// loses focus).
void webListenForKeys();
