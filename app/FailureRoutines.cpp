#include "FailureRoutines.h"

#include "FailureTexts.h"
#include "WizardTexts.h"

Dialogs::Message failureMessage(FailureRoutine routine, const QString &address)
{
    const FailureText failure = failureText(routine, address);
    return Dialogs::notice(failure.critical ? Dialogs::Icon::Critical : Dialogs::Icon::None, WizardTexts::kAbortTitle,
                           failure.text());
}
