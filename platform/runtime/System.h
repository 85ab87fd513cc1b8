// Services of the running program that the GUI backend provides: the alert
// sound and the quit request. Code below the GUI (the script engine) calls
// these; the backend installs its handlers; tests install counters.
#pragma once

#include <functional>

namespace mirt {

void AlertSound();
void SetAlertSoundHandler(std::function<void()> handler);

// Asks the application to quit: the current event handler finishes first.
void RequestQuit();
void SetQuitRequestHandler(std::function<void()> handler);

// Pseudo-random integers: Randomize seeds from the time of day,
// Random(n) gives 0 <= r < n uniformly (0 when n <= 0).
void Randomize();
int Random(int n);

} // namespace mirt
