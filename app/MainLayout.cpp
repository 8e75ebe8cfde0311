// The controls of the wizard window, their positions, captions and fonts.
#include "Main.h"
#include "Script.h"
#include "Twips.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

namespace {

using Twips::pixels;
using Twips::place;

QPushButton *button(QWidget *parent, const char *name, const QString &caption, int left)
{
    return place(new QPushButton(caption, parent), name, left, 7440, 1095, 495);
}

// A green tick of 16 by 17 pixels.
QPixmap tickPixmap()
{
    QPixmap pixmap(16, 17);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0, 128, 0), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(QPolygonF({QPointF(2.5, 9), QPointF(6.5, 13.5), QPointF(14, 3)}));
    return pixmap;
}

QLineEdit *hiddenBox(QWidget *parent, const char *name, const QString &text, int left)
{
    auto *box = place(new QLineEdit(text, parent), name, left, 480, 1335, 285);
    box->hide();
    return box;
}

} // namespace

void Main::buildControls()
{
    setFixedSize(pixels(8310), pixels(7965));
    // The controls sit on a client area that carries the style sheet: a sheet on the window itself
    // would reach the About window and the message boxes too, as they are its children.
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("clientArea"));
    client->setGeometry(rect());
    // Frame captions sit on the frame's top line, so that the controls placed 16 pixels below the
    // frame's top clear them. With a style sheet in place, the fonts are given there too: a sheet
    // gives the controls inside a frame the application's font otherwise.
    client->setStyleSheet(
        QStringLiteral("* { font: 8pt \"MS Sans Serif\"; }"
                       "QLabel#lblInstructions { font: 9.75pt \"Arial\"; }"
                       "QLabel#Label2 { font: bold 9.75pt \"MS Sans Serif\"; }"
                       "QLineEdit#txtLogin, QLineEdit#txtPassword, QPlainTextEdit#txtTerminal"
                       " { font: 8.25pt \"Lucida Console\"; }"
                       "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
                       "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px;"
                       " background-color: palette(window); }"));

    lblInstructions = place(new QLabel(client), "lblInstructions", 120, 120, 8055, 4455);
    lblInstructions->setAutoFillBackground(true);
    QPalette white = lblInstructions->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    lblInstructions->setPalette(white);
    lblInstructions->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblInstructions->setWordWrap(true);
    lblInstructions->setTextFormat(Qt::PlainText);

    lblProgBarTitle =
        place(new QLabel(QStringLiteral("lblProgBar text"), client), "lblProgBarTitle", 1800, 4680, 5415, 255);
    lblProgBarTitle->setAlignment(Qt::AlignCenter);
    pbMainProgress = place(new QProgressBar(client), "pbMainProgress", 120, 5040, 8055, 375);
    pbMainProgress->setTextVisible(false);
    // How far a file transfer has got, on the caption's line at its left.
    lblTransfer = place(new QLabel(client), "lblTransfer", 120, 4680, 3000, 255);

    frmParamters =
        place(new QGroupBox(QStringLiteral("Upgrade Parameters"), client), "frmParamters", 120, 5520, 8055, 1815);
    frmSourceDirectory = place(new QGroupBox(QStringLiteral("Upgrade Files Directory/Folder"), frmParamters),
                               "frmSourceDirectory", 120, 240, 7695, 735);
    txtUpgradeSourceDir = place(new QLineEdit(frmSourceDirectory), "txtUpgradeSourceDir", 120, 240, 6495, 375);
    cmdBrowseUpgradeFiles = place(new QPushButton(QStringLiteral("Browse"), frmSourceDirectory),
                                  "cmdBrowseUpgradeFiles", 6720, 240, 855, 375);
    frmQD8400Ip =
        place(new QGroupBox(QStringLiteral("QD8400 IP Address"), frmParamters), "frmQD8400Ip", 120, 1080, 4095, 615);
    static constexpr int kOctetLefts[4] = {120, 960, 1800, 2640};
    for (int i = 0; i < 4; ++i) {
        const QByteArray name = "txtIpOctet" + QByteArray::number(i);
        txtIpOctet[i] = place(new QLineEdit(frmQD8400Ip), name.constData(), kOctetLefts[i], 240, 615, 285);
        txtIpOctet[i]->setAlignment(Qt::AlignCenter);
        txtIpOctet[i]->setMaxLength(3);
    }
    static constexpr int kDotLefts[3] = {720, 1560, 2400};
    for (int i = 0; i < 3; ++i) {
        auto *dot = place(new QLabel(QStringLiteral("."), frmQD8400Ip), "Label2", kDotLefts[i], 240, 255, 255);
        dot->setAlignment(Qt::AlignCenter);
    }
    // Right of the fourth box (the offsets of both frames added), but on the client area itself: the
    // address frame is disabled once the address has answered, and a child of a disabled frame is
    // drawn greyed.
    imgTick = place(new QLabel(client), "imgTick", 120 + 120 + 3360, 5520 + 1080 + 240, 240, 255);
    imgTick->setPixmap(tickPixmap());

    cmdAbout = button(client, "cmdAbout", QStringLiteral("About..."), 1080);
    cmdStartUpgrade = button(client, "cmdStartUpgrade", QStringLiteral("Start Upgrade"), 2280);
    cmdCancel = button(client, "cmdCancel", QStringLiteral("Cancel"), 3480);
    cmdPrevious = button(client, "cmdPrevious", QStringLiteral("<< Previous"), 4680);
    cmdNext = button(client, "cmdNext", QStringLiteral("Next >>"), 5880);
    cmdExit = button(client, "cmdExit", QStringLiteral("Exit"), 7080);

    txtLogin = hiddenBox(client, "txtLogin", Script::kLogin, 1080);
    txtPassword = hiddenBox(client, "txtPassword", Script::kPassword, 2640);
    txtTerminal = place(new QPlainTextEdit(client), "txtTerminal", 480, 840, 3135, 1215);
    txtTerminal->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtTerminal->hide();

    QWidget *const tabOrder[] = {txtTerminal,
                                 txtLogin,
                                 txtPassword,
                                 cmdStartUpgrade,
                                 frmParamters,
                                 frmSourceDirectory,
                                 cmdBrowseUpgradeFiles,
                                 frmQD8400Ip,
                                 cmdNext,
                                 cmdExit,
                                 cmdPrevious,
                                 cmdCancel,
                                 cmdAbout,
                                 txtIpOctet[0],
                                 txtIpOctet[1],
                                 txtIpOctet[2],
                                 txtIpOctet[3],
                                 txtUpgradeSourceDir};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
}
