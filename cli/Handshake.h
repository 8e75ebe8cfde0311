#pragma once

#include <QByteArray>
#include <QString>

// How the fleet starts one instrument's process, and how that process knows it: a secret of the
// fleet's own, once in the process's environment and once as the first line on its standard input.
// A person cannot start an instrument's process by accident, and one started any other way sends
// nothing. After the secret the fleet's requests follow on the same input, one a line; its end
// means the fleet has gone, and the run goes on.
namespace Handshake {

// Stop at once if nothing has been changed on the instrument yet; otherwise run on to the end.
inline constexpr char kStopIfUnchanged[] = "stop-if-unchanged";
// Stop now, whatever the instrument is doing.
inline constexpr char kStop[] = "stop";
// The instrument waited for is in maintenance mode: its upgrade may begin now (its turn within --jobs).
inline constexpr char kGo[] = "go";

struct Secret
{
    QByteArray environmentEntry; // NAME=VALUE, for the process's environment
    QByteArray line;             // to write first on the process's standard input
};

// A new secret for one process.
Secret make();
// This process was started as an instrument's (it may still fail the check).
bool requested();
// Empty when the fleet that started this process gave the secret twice; otherwise why not. The
// secret leaves the environment, so that nothing this process starts inherits it.
QString check();

} // namespace Handshake
