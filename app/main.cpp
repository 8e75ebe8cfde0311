#include "Main.h"
#include "Environment.h"
#include "LogFile.h"
#include "WizardTexts.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QIcon>

#include <cstdio>
#include <optional>

namespace {

void nameProgram()
{
    QCoreApplication::setApplicationName(WizardTexts::kProgramTitle);
    QCoreApplication::setApplicationVersion(WizardTexts::kVersion);
}

// --help and --version are answered on the terminal, before any window or display is needed. Every
// other argument is left alone, as the window takes none. Returns the exit status when one was asked.
std::optional<int> answerTerminalRequest(int argc, char *argv[])
{
    QCoreApplication terminal(argc, argv);
    nameProgram();
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Installs a firmware upgrade into a QD8400 power analyser over Ethernet, in a wizard window.\n"
                       "See the manual page QD8400Upgrade(1)."));
    // Qt's own one-dash options, such as -reverse, stay whole words rather than letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // Qt's --help-all would list options only the window reads, so the help option is this one.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on commandline options."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qPrintable(WizardTexts::kProgramTitle), qPrintable(WizardTexts::kVersion));
        return 0;
    }
    return std::nullopt;
}

// Installed in the system's program folder, the program shares that folder with every other program
// and must not write there, even where it could (as root): its log goes to the user's state folder,
// and the folder box starts where the program was started instead.
bool runsFromInstallFolder()
{
    return QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath() ==
           QFileInfo(QStringLiteral(QD8400UPGRADE_INSTALL_BINDIR)).canonicalFilePath();
}

} // namespace

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = answerTerminalRequest(argc, argv))
        return *status;
    QApplication application(argc, argv);
    nameProgram();
    QGuiApplication::setDesktopFileName(QStringLiteral("qd8400upgrade"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("qd8400upgrade")));
    // The window's fonts by the names it was designed with, drawn with their metric-compatible
    // free counterparts.
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Lucida Console"), QStringLiteral("Liberation Mono"));
    Environment environment;
    environment.settings.logPath = LogFile::defaultPath();
    environment.settings.logFallbackPath = LogFile::defaultFallbackPath();
    if (runsFromInstallFolder()) {
        environment.settings.logPath = LogFile::defaultFallbackPath();
        environment.programFolder = QDir::currentPath();
    }
    Main window(std::move(environment));
    window.show();
    return application.exec();
}
