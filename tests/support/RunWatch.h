#pragma once

#include "PartialRunView.h"
#include "Run.h"

// A view beside a front end's, for a test or a measurement: it is told everything the run shows,
// records what it overrides and leaves the rest to the front end.
class RunWatch : public PartialRunView
{
public:
    explicit RunWatch(Run &run) { run.addView(*this); }
};
