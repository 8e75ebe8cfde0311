#pragma once

#include <QtGlobal>

#include <array>
#include <cstdint>

class LogSink;

// The control's fixed 32,768-byte receive ring. The decoder peeks at the unread bytes, decides how
// many form one unit and removes exactly that many; an incomplete unit waits for the next arrival.
// Invariant: mRxIn == (mRxOut + mRxCount) mod kSize.
class RxBuffer
{
public:
    static constexpr int kSize = 32768;

    explicit RxBuffer(LogSink &log) : mLog(log) {}

    void Init();
    bool Add(uint8_t value);
    bool Value(qint16 iOffset, uint8_t &pValue) const;
    bool Remove(qint16 iCount);
    bool Compact();
    static int Pos(int lBase, int lOffset) { return (lBase + lOffset) % kSize; }

    int count() const { return mRxCount; }
    int in() const { return mRxIn; }
    int out() const { return mRxOut; }
    int freeSpace() const { return kSize - mRxCount; }

private:
    LogSink &mLog;
    std::array<uint8_t, kSize> mRxBuffer{};
    int mRxCount = 0;
    int mRxIn = 0;
    int mRxOut = 0;
};
