#include "RxBuffer.h"

#include "LogSink.h"

#include <QByteArray>

#include <cstring>

namespace {

QByteArray compactTrace(const char *head, int count, int out, const char *separator, int in)
{
    return QByteArray("\r\n") + head + QByteArray::number(count) + ',' + QByteArray::number(out) + separator +
           QByteArray::number(in) + ']';
}

} // namespace

void RxBuffer::Init()
{
    mRxCount = 0;
    mRxIn = 0;
    mRxOut = 0;
}

bool RxBuffer::Add(uint8_t value)
{
    if (mRxCount >= kSize)
        return false;
    mRxBuffer[static_cast<size_t>(mRxIn)] = value;
    ++mRxCount;
    mRxIn = Pos(mRxIn, 1);
    return true;
}

bool RxBuffer::Value(qint16 iOffset, uint8_t &pValue) const
{
    if (mRxCount <= iOffset)
        return false;
    pValue = mRxBuffer[static_cast<size_t>(Pos(mRxOut, iOffset))];
    return true;
}

bool RxBuffer::Remove(qint16 iCount)
{
    bool removed = false;
    if (mRxCount >= 1 && iCount >= 1) {
        mRxCount -= iCount;
        mRxOut = Pos(mRxOut, iCount);
        removed = true;
    }
    // Removing a multi-byte unit (CR LF, an IAC command) moves what is left to the front, so the
    // short bursts of a shell dialogue rarely wrap around the end of the ring.
    if (iCount > 1)
        Compact();
    return removed;
}

bool RxBuffer::Compact()
{
    mLog.Log_Add(compactTrace(">>RxBuffer_Compact() [", mRxCount, mRxOut, ", ", mRxIn));
    bool moved = false;
    if (mRxCount >= 1 && mRxIn != mRxOut && mRxOut >= 1 && mRxIn > mRxOut) {
        // The unread run is contiguous here (it does not wrap), and may overlap its destination.
        std::memmove(mRxBuffer.data(), mRxBuffer.data() + mRxOut, static_cast<size_t>(mRxCount));
        mRxIn = Pos(mRxIn - mRxOut, kSize);
        mRxOut = 0;
        moved = true;
    } else if (mRxCount == 0) {
        mRxIn = 0;
        mRxOut = 0;
    }
    mLog.Log_Add(compactTrace("<<RxBuffer_Compact() [", mRxCount, mRxOut, ",", mRxIn));
    return moved;
}
