#include "TelnetConstants.h"

namespace TelnetConstants {

QByteArray CommandName(uint8_t command)
{
    static constexpr const char *kNames[] = {"TLNT_SE", "TLNT_NOP",  "TLNT_DM",   "TLNT_NRK", "TLNT_IP",
                                             "TLNT_AO", "TLNT_AYT",  "TLNT_EC",   "TLNT_EL",  "TLNT_GA",
                                             "TLNT_SB", "TLNT_WILL", "TLNT_WONT", "TLNT_DO",  "TLNT_DONT"};
    Q_ASSERT(command >= TLNT_SE && command <= TLNT_DONT);
    return QByteArray(kNames[command - TLNT_SE]);
}

QByteArray OptionName(uint8_t option)
{
    switch (option) {
    case TLNT_OPT_TRANSMITBINARY:
        return "TLNT_OPT_TRANSMITBINARY";
    case TLNT_OPT_ECHO:
        return "TLNT_OPT_ECHO";
    case TLNT_OPT_SUPPRESSGOAHEAD:
        return "TLNT_OPT_SUPPRESSGOAHEAD";
    case TLNT_OPT_STATUS:
        return "TLNT_OPT_STATUS";
    case TLNT_OPT_TIMINGMARK:
        return "TLNT_OPT_TIMINGMARK";
    case TLNT_OPT_TERMINALTYPE:
        return "TLNT_OPT_TERMINALTYPE";
    case TLNT_OPT_WINDOWSIZE:
        return "TLNT_OPT_WINDOWSIZE";
    case TLNT_OPT_TERMINALSPEED:
        return "TLNT_OPT_TERMINALSPEED";
    case TLNT_OPT_REMOTEFLOWCONTROL:
        return "TLNT_OPT_REMOTEFLOWCONTROL";
    case TLNT_OPT_LINEMODE:
        return "TLNT_OPT_LINEMODE";
    case TLNT_OPT_XDISPLAYLOCATION:
        return "TLNT_OPT_XDISPLAYLOCATION";
    case TLNT_OPT_ENVIRONMENTVARAIBLES:
        return "TLNT_OPT_ENVIRONMENTVARAIBLES";
    case TLNT_OPT_NEWENVIRONMENTOPTION:
        return "TLNT_OPT_NEWENVIRONMENTOPTION";
    default:
        return "Unrecognised option [" + QByteArray::number(option) + "]";
    }
}

} // namespace TelnetConstants
