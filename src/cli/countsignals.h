#pragma once

// SIGINT, SIGTERM and SIGHUP ask a running orvane-count to stop after the current frame and
// print its summary; a second one changes nothing, a third one ends it at once. SIGPIPE is
// ignored: a closed output is a failed write, reported as such.
void installStopSignals();
// The number of the first stop signal caught, 0 while none was.
int stopSignal();
