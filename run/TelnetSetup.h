#pragma once

#include "UpgradeHost.h"

class ucTelnet;

// The Telnet control as every run sets it up.
namespace TelnetSetup {

// The guard's one-second tick, scaled like every wait.
void scaleGuard(ucTelnet &telnet, double timeScale);
// The instrument's address and Telnet port, the log-in and the maintenance shell's prompt.
void configureLogIn(ucTelnet &telnet, const UpgradeInputs &inputs, quint16 port);

} // namespace TelnetSetup
