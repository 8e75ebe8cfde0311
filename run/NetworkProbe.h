#pragma once

#include <QString>

// Does the instrument answer one ICMP echo sent with an IP time-to-live of 3 within the time-out?
// Uses an unprivileged ICMP datagram socket where the kernel allows it, else a raw socket, else the
// system ping program. An address text that is not a dotted IPv4 address gives false.
bool ProbeInstrument(const QString &address, int timeoutMilliseconds = 4000);
