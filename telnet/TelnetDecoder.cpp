// The byte level of the control: arrivals go into the receive ring with a hex trace, then every
// complete unit is decoded. Text goes to the captured text and the terminal view; every option the
// server proposes is refused.
#include "LogSink.h"
#include "TelnetConstants.h"
#include "ucTelnet.h"

using namespace TelnetConstants;

namespace {

QByteArray bracketed(const char *text, int first, int second)
{
    return QByteArray("\r\n") + text + " [" + QByteArray::number(first) + ',' + QByteArray::number(second) + ']';
}

} // namespace

void ucTelnet::DataArrival(const QByteArray &data)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const qsizetype bytesTotal = data.size();
    mLog.Log_Add("\r\n>>DataArrival(" + QByteArray::number(bytesTotal) + ")=[");
    if (mRxBuffer.count() > 0)
        mLog.Log_Add("\r\n[" + QByteArray::number(mRxBuffer.count()) + ',' + QByteArray::number(mRxBuffer.out()) + ',' +
                     QByteArray::number(mRxBuffer.in()) + ']');
    QByteArray rendering(bytesTotal, '.');
    for (qsizetype i = 0; i < bytesTotal; ++i) {
        const auto byte = static_cast<uint8_t>(data[i]);
        mRxBuffer.Add(byte);
        if (i > 0)
            mLog.Log_Add(" ");
        if (byte >= 32 && byte <= 128)
            rendering[i] = static_cast<char>(byte);
        const char pair[2] = {kHex[byte >> 4], kHex[byte & 0x0F]};
        mLog.Log_Add(QByteArrayView(pair, 2));
    }
    mLog.Log_Add("]~[" + rendering + ']');
    mLog.Log_Add("\r\n<<DataArrival");
}

void ucTelnet::Process_RxBuffer()
{
    uint8_t b0 = 0;
    uint8_t b1 = 0;
    uint8_t b2 = 0;
    // Each turn decodes one complete unit; a unit cut off at the end of the data waits in the ring.
    while (mRxBuffer.Value(0, b0)) {
        if (b0 == NVT_CR) {
            if (!mRxBuffer.Value(1, b1))
                break;
            if (b1 == NVT_LF)
                passOn("\r\n");
            else if (b1 == NVT_NUL)
                passOn("\r");
            else
                mLog.Log_Add(bracketed("Unrecognised NVT_CR pattern", b0, b1));
            mRxBuffer.Remove(2);
        } else if (b0 < 128) {
            const char character = static_cast<char>(b0);
            passOn(QByteArrayView(&character, 1));
            mRxBuffer.Remove(1);
        } else if (b0 == TLNT_IAC) {
            if (!mRxBuffer.Value(1, b1))
                break;
            if (b1 >= TLNT_SE && b1 <= TLNT_SB) {
                mLog.Log_Add("\r\n" + CommandName(b1));
                mRxBuffer.Remove(2);
            } else if (b1 >= TLNT_WILL && b1 <= TLNT_DONT) {
                mLog.Log_Add("\r\n" + CommandName(b1));
                if (!mRxBuffer.Value(2, b2))
                    break;
                if (handleVerb(b1, b2))
                    mRxBuffer.Remove(3);
            } else {
                // IAC IAC (an escaped data byte 255) is dropped like any other unknown pair.
                mLog.Log_Add(bracketed("Unrecognised TLNT_IAC pattern", b0, b1));
                mRxBuffer.Remove(2);
            }
        } else {
            mLog.Log_Add("\r\nUnrecognised single pattern [" + QByteArray::number(b0) + ']');
            mRxBuffer.Remove(1);
        }
    }
    if (!mTerminalPending.isEmpty()) {
        if (mTerminalView)
            mTerminalView(mTerminalPending);
        mTerminalPending.clear();
    }
    Process_Input();
}

void ucTelnet::passOn(QByteArrayView text)
{
    msCaptured.append(text);
    if (mTerminalView)
        mTerminalPending.append(text);
}

bool ucTelnet::handleVerb(uint8_t verb, uint8_t option)
{
    switch (verb) {
    case TLNT_DO:
        return Handle_Do(option);
    case TLNT_DONT:
        return Handle_Dont(option);
    case TLNT_WILL:
        return Handle_Will(option);
    default:
        return Handle_Wont(option);
    }
}

// The control refuses every option in both directions and acknowledges every refusal, each time
// one arrives; it keeps no per-option state and never asks for anything itself.
bool ucTelnet::Handle_Do(uint8_t option)
{
    mLog.Log_Add(" " + OptionName(option));
    Send_IacWont(option);
    return true;
}

bool ucTelnet::Handle_Dont(uint8_t option)
{
    return Handle_Do(option);
}

bool ucTelnet::Handle_Will(uint8_t option)
{
    return Handle_Do(option);
}

bool ucTelnet::Handle_Wont(uint8_t option)
{
    mLog.Log_Add(" " + OptionName(option));
    Send_IacDont(option);
    return true;
}

void ucTelnet::Send_IacWont(uint8_t option)
{
    sendIac(TLNT_WONT, option);
}

void ucTelnet::Send_IacDont(uint8_t option)
{
    sendIac(TLNT_DONT, option);
}

void ucTelnet::sendIac(uint8_t verb, uint8_t option)
{
    const char answer[3] = {static_cast<char>(TLNT_IAC), static_cast<char>(verb), static_cast<char>(option)};
    if (wskConnection.state() == QAbstractSocket::ConnectedState)
        wskConnection.write(answer, 3);
}
