// The controls of the wizard window, placed where the original form placed them: positions are in
// twips, 15 to a logical pixel.
#include "Main.h"
#include "WizardTexts.h"
#include "ucTelnet.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

namespace {

constexpr int kTwipsPerPixel = 15;

int pixels(int twips)
{
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

template <typename W> W *place(W *widget, const char *name, int left, int top, int width, int height)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(pixels(left), pixels(top), pixels(width), pixels(height));
    return widget;
}

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
    // Frame captions sit on the frame's top line, so that the controls placed 16 pixels below the
    // frame's top clear them.
    // With a style sheet in place, the fonts are given there too.
    setStyleSheet(QStringLiteral("* { font: 8pt \"MS Sans Serif\"; }"
                                 "QLabel#lblInstructions { font: 9.75pt \"Arial\"; }"
                                 "QLabel#Label2 { font: bold 9.75pt \"MS Sans Serif\"; }"
                                 "QLineEdit#txtLogin, QLineEdit#txtPassword, QPlainTextEdit#txtTerminal"
                                 " { font: 8.25pt \"Lucida Console\"; }"
                                 "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
                                 "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px;"
                                 " background-color: palette(window); }"));

    lblInstructions = place(new QLabel(this), "lblInstructions", 120, 120, 8055, 4455);
    lblInstructions->setAutoFillBackground(true);
    QPalette white = lblInstructions->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    lblInstructions->setPalette(white);
    lblInstructions->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblInstructions->setWordWrap(true);
    lblInstructions->setTextFormat(Qt::PlainText);

    lblProgBarTitle =
        place(new QLabel(QStringLiteral("lblProgBar text"), this), "lblProgBarTitle", 1800, 4680, 5415, 255);
    lblProgBarTitle->setAlignment(Qt::AlignCenter);
    pbMainProgress = place(new QProgressBar(this), "pbMainProgress", 120, 5040, 8055, 375);
    pbMainProgress->setTextVisible(false);

    frmParamters =
        place(new QGroupBox(QStringLiteral("Upgrade Parameters"), this), "frmParamters", 120, 5520, 8055, 1815);
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
    imgTick = place(new QLabel(frmQD8400Ip), "imgTick", 3360, 240, 240, 255);
    imgTick->setPixmap(tickPixmap());

    cmdAbout = button(this, "cmdAbout", QStringLiteral("About..."), 1080);
    cmdStartUpgrade = button(this, "cmdStartUpgrade", QStringLiteral("Start Upgrade"), 2280);
    cmdCancel = button(this, "cmdCancel", QStringLiteral("Cancel"), 3480);
    cmdPrevious = button(this, "cmdPrevious", QStringLiteral("<< Previous"), 4680);
    cmdNext = button(this, "cmdNext", QStringLiteral("Next >>"), 5880);
    cmdExit = button(this, "cmdExit", QStringLiteral("Exit"), 7080);

    txtLogin = hiddenBox(this, "txtLogin", QStringLiteral("root"), 1080);
    txtPassword = hiddenBox(this, "txtPassword", QStringLiteral("k8r2Mq5"), 2640);
    txtTerminal = place(new QPlainTextEdit(this), "txtTerminal", 480, 840, 3135, 1215);
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
