#include "Confirmation.h"

#include "RunTexts.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

Confirmation confirmUpgrade(const QStringList &addresses)
{
    if (!::isatty(STDIN_FILENO))
        return {false, "no terminal to confirm the upgrade on: give --yes to upgrade without asking"};
    FILE *terminal = std::fopen("/dev/tty", "w");
    FILE *to = terminal ? terminal : stderr;
    std::fprintf(to, "%s\n\nUpgrade %lld instrument(s): %s\nType yes to go on: ",
                 qPrintable(QString(RunTexts::kDataLossWarning).replace("\r\n", "\n")),
                 static_cast<long long>(addresses.size()), qPrintable(addresses.join(", ")));
    std::fflush(to);
    if (terminal)
        std::fclose(terminal);
    std::string answer;
    std::getline(std::cin, answer);
    if (answer == "yes")
        return {true, QString()};
    return {false, "not confirmed: nothing was sent"};
}
