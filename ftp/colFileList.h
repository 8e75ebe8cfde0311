#pragma once

#include "KeyedList.h"
#include "cFileListing.h"

// Listing records, numbered from 1, optionally keyed.
using colFileList = KeyedList<cFileListing>;
