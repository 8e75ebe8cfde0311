#pragma once

#include <QString>

#include <cstring>

// Why a system call failed, as strerror tells it for this error number.
inline QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
