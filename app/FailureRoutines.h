#pragma once

#include "Dialogs.h"
#include "FailureRoutine.h"

#include <QString>

// The routine's message box; `address` is quoted by AbortNotInstrument only.
Dialogs::Message failureMessage(FailureRoutine routine, const QString &address = QString());
