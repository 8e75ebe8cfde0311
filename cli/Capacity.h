#pragma once

#include <QtGlobal>

// How many instruments' processes this machine can hold at once. Each costs the fleet a few open
// files (its pipes and the handle of its process) and itself some memory; an instrument that does
// not fit waits for its turn instead of failing.
namespace Capacity {

// Never more than this many at once, whatever the machine could hold.
constexpr qsizetype kCeiling = 256;
// The fleet's open files for each running instrument, and those it keeps for itself.
constexpr qsizetype kFilesPerInstrument = 4;
constexpr qsizetype kFilesReserved = 32;
// The proportional memory of one instrument's process, with room to spare; at most half of the
// memory available is given to them.
constexpr qsizetype kMiBPerInstrument = 16;

// Raises the limit of open files to its hard limit, which the instruments' processes inherit;
// returns the limit in force.
qsizetype raiseOpenFiles();

// At most this many at once: the --jobs given (0: none), or the ceiling, and never more than the
// open files and the memory hold; at least one.
qsizetype jobs(int given, qsizetype openFiles, qsizetype availableMiB);

// The memory the system has available for new processes (0: unknown).
qsizetype availableMiB();

} // namespace Capacity
