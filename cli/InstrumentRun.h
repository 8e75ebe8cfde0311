#pragma once

#include "Options.h"

// One instrument's check or upgrade in a process of its own, started by the fleet: its run's events
// go to standard output, its log to DIR/ADDRESS/logfile.txt, its result also to
// DIR/ADDRESS/result.json (a check's to DIR/ADDRESS/check.json), and the process ends with the
// run's exit status once its result is out. The terminal's signals do not reach it; the fleet's
// requests to stop come on standard input. Runs in the event loop, which the end of the process
// leaves.
int runInstrument(const Options &options);
