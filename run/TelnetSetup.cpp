#include "TelnetSetup.h"

#include "Script.h"
#include "ucTelnet.h"

#include <algorithm>

namespace TelnetSetup {

void scaleGuard(ucTelnet &telnet, double timeScale)
{
    telnet.setGuardTickMs(std::max(1, static_cast<int>(1000 * timeScale)));
}

void configureLogIn(ucTelnet &telnet, const UpgradeInputs &inputs, quint16 port)
{
    telnet.setRemoteHost(inputs.address);
    telnet.setRemotePort(port);
    telnet.setPrompt(Script::kPrompt);
    telnet.setUserName(inputs.login);
    telnet.setPassword(inputs.password);
}

} // namespace TelnetSetup
