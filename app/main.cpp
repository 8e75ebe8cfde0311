#include "Main.h"
#include "WizardTexts.h"

#include <QApplication>
#include <QFont>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(WizardTexts::kProgramTitle);
    QApplication::setApplicationVersion(WizardTexts::kVersion);
    // The window's fonts by the names it was designed with, drawn with their metric-compatible
    // free counterparts.
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Lucida Console"), QStringLiteral("Liberation Mono"));
    Main window;
    window.show();
    return application.exec();
}
