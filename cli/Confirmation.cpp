#include "Confirmation.h"

#include "RunTexts.h"

#include <QByteArray>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A long fleet is named by its first addresses and a count.
constexpr qsizetype kAddressesNamed = 10;

QString named(const QStringList &addresses)
{
    QString text = addresses.mid(0, kAddressesNamed).join(QStringLiteral(", "));
    if (addresses.size() > kAddressesNamed)
        text += QStringLiteral(" and %1 more").arg(addresses.size() - kAddressesNamed);
    return text;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t written = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (written < 0 && errno != EINTR)
            return false;
        done += written > 0 ? written : 0;
    }
    return true;
}

// One line as typed, without its line end; what there is at the end of the input.
QByteArray readLine(int fd)
{
    QByteArray line;
    char byte = 0;
    for (;;) {
        const ssize_t got = ::read(fd, &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || byte == '\n')
            return line;
        line += byte;
    }
}

} // namespace

Confirmation confirmUpgrade(const QStringList &addresses)
{
    const int terminal = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (terminal < 0)
        return {false, "no terminal to confirm the upgrade on: give --yes to upgrade without asking"};
    const QString question = QStringLiteral("%1\n\nUpgrade %2 instrument(s): %3\nType yes to go on: ")
                                 .arg(QString(RunTexts::kDataLossWarning).replace("\r\n", "\n"))
                                 .arg(addresses.size())
                                 .arg(named(addresses));
    const bool asked = writeAll(terminal, question.toLocal8Bit());
    const QByteArray answer = asked ? readLine(terminal).trimmed() : QByteArray();
    ::close(terminal);
    if (answer.compare("yes", Qt::CaseInsensitive) == 0)
        return {true, QString()};
    return {false, "not confirmed: nothing was sent"};
}
