// A hidden 800x600 SDL window with a compatibility GL context, current on the
// calling thread, for the benchmarks that draw for real.
#pragma once

// Opens the window once (later calls return the first result). On failure
// returns false with a reason in *why; the GL benchmarks then skip.
bool benchWindowOpen(const char** why);
void benchWindowClose();
