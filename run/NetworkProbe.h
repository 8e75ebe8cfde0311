#pragma once

#include <QString>

enum class ProbeAnswer
{
    Answered,
    NoAnswer,
    // No ICMP socket could be opened here and the ping program could not send the echo either.
    NotMade,
};

// Does the instrument answer one ICMP echo sent with an IP time-to-live of 3 within the time-out?
// Uses an unprivileged ICMP datagram socket where the kernel allows it, else a raw socket, else the
// system ping program. An address text that is not a dotted IPv4 address gives no answer.
ProbeAnswer probeNetwork(const QString &address, int timeoutMilliseconds = 4000);
// Answered or not: a probe that could not be made is no answer.
bool ProbeInstrument(const QString &address, int timeoutMilliseconds = 4000);

// Why a probe could not be made, and how to let this program make it.
inline const QString kProbeNotMade = QStringLiteral(
    "The network probe (one ICMP echo) could not be made: this user may open no ICMP socket and ping could not "
    "send one. Allow it with: sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\", or install ping "
    "(iputils-ping).");
