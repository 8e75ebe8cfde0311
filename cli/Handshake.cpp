#include "Handshake.h"

#include <QRandomGenerator>

#include <cerrno>
#include <unistd.h>

namespace Handshake {

namespace {

constexpr char kVariable[] = "QD8400_UPGRADE_INSTRUMENT";
constexpr int kSecretBytes = 16;

} // namespace

Secret make()
{
    QByteArray secret(kSecretBytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(secret.data()), kSecretBytes / 4);
    const QByteArray text = secret.toHex();
    return {QByteArray(kVariable) + '=' + text, text + '\n'};
}

bool requested()
{
    return qEnvironmentVariableIsSet(kVariable);
}

QString check()
{
    const QByteArray expected = qgetenv(kVariable);
    qunsetenv(kVariable);
    const QString refused =
        QStringLiteral("an instrument's process runs only when the fleet starts it; use check or run");
    if (expected.size() != 2 * kSecretBytes || ::isatty(STDIN_FILENO))
        return refused;
    QByteArray line;
    char byte = 0;
    while (line.size() <= expected.size()) {
        const ssize_t got = ::read(STDIN_FILENO, &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || byte == '\n')
            break;
        line += byte;
    }
    return line == expected ? QString() : refused;
}

} // namespace Handshake
