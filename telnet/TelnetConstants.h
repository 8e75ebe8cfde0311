#pragma once

#include <QByteArray>

#include <cstdint>

// Telnet command bytes (RFC 854) and the options the decoder names in its trace.
namespace TelnetConstants {

constexpr uint8_t NVT_CR = 13;
constexpr uint8_t NVT_LF = 10;
constexpr uint8_t NVT_NUL = 0;

constexpr uint8_t TLNT_SE = 240;
constexpr uint8_t TLNT_NOP = 241;
constexpr uint8_t TLNT_DM = 242;
constexpr uint8_t TLNT_NRK = 243;
constexpr uint8_t TLNT_IP = 244;
constexpr uint8_t TLNT_AO = 245;
constexpr uint8_t TLNT_AYT = 246;
constexpr uint8_t TLNT_EC = 247;
constexpr uint8_t TLNT_EL = 248;
constexpr uint8_t TLNT_GA = 249;
constexpr uint8_t TLNT_SB = 250;
constexpr uint8_t TLNT_WILL = 251;
constexpr uint8_t TLNT_WONT = 252;
constexpr uint8_t TLNT_DO = 253;
constexpr uint8_t TLNT_DONT = 254;
constexpr uint8_t TLNT_IAC = 255;

constexpr uint8_t TLNT_OPT_TRANSMITBINARY = 0;
constexpr uint8_t TLNT_OPT_ECHO = 1;
constexpr uint8_t TLNT_OPT_SUPPRESSGOAHEAD = 3;
constexpr uint8_t TLNT_OPT_STATUS = 5;
constexpr uint8_t TLNT_OPT_TIMINGMARK = 6;
constexpr uint8_t TLNT_OPT_TERMINALTYPE = 24;
constexpr uint8_t TLNT_OPT_WINDOWSIZE = 31;
constexpr uint8_t TLNT_OPT_TERMINALSPEED = 32;
constexpr uint8_t TLNT_OPT_REMOTEFLOWCONTROL = 33;
constexpr uint8_t TLNT_OPT_LINEMODE = 34;
constexpr uint8_t TLNT_OPT_XDISPLAYLOCATION = 35;
constexpr uint8_t TLNT_OPT_ENVIRONMENTVARAIBLES = 36;
constexpr uint8_t TLNT_OPT_NEWENVIRONMENTOPTION = 39;

// Session states of the control.
constexpr int TL_STAT_IDLE = 0;
constexpr int TL_STAT_CONNECTED = 1;
constexpr int TL_STAT_OPENED = 2;

// The trace name of a command byte from TLNT_SE to TLNT_DONT.
QByteArray CommandName(uint8_t command);

// The trace name of an option: its TLNT_OPT_ name, or "Unrecognised option [n]".
QByteArray OptionName(uint8_t option);

} // namespace TelnetConstants
