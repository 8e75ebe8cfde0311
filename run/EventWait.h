#pragma once

// Returns after milliseconds × timeScale, sleeping in a local event loop: window, socket and timer
// events go on being handled meanwhile, and the processor is free in between.
void waitWithEvents(int milliseconds, double timeScale);
