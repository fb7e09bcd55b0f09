#pragma once

// SIGINT, SIGTERM and SIGHUP ask a running orvane-count to stop after the current frame; a
// second one ends it at once.
void installStopSignals();
// The number of the first stop signal caught, 0 while none was.
int stopSignal();
