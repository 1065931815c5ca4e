#include "windows/frm_help.h"

#include "windows/app_version.h"
#include "windows/pictures.h"
#include "windows/toolkit.h"
#include "windows/web_opener.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

namespace {

const QColor kLabelBlue(0x25, 0x55, 0xD1);

} // namespace

ClickablePicture::ClickablePicture(QWidget* parent, const QString& resource) : QWidget(parent), m_resource(resource)
{
    setCursor(Qt::PointingHandCursor);
}

void ClickablePicture::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit Click();
}

void ClickablePicture::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, picture(m_resource, size(), devicePixelRatioF()));
}

Frm_Help::Frm_Help() : QWidget(nullptr)
{
    setObjectName(QStringLiteral("Frm_Help"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("프로그램 정보"));
    setWindowIcon(appIcon());
    setFixedSize(386, 293);
    installFontSubstitutes();
    setFont(uiFont(9, false));

    const QColor menuBackground = QApplication::palette("QMenu").color(QPalette::Window);
    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    place(Frame1, 4, 0, 377, 289);
    Frame1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    QPalette framePalette = Frame1->palette();
    framePalette.setColor(QPalette::Window, menuBackground);
    framePalette.setColor(QPalette::WindowText, kLabelBlue);
    framePalette.setColor(QPalette::Button, menuBackground);
    Frame1->setPalette(framePalette);
    Frame1->setAutoFillBackground(true);

    auto label = [this](const char* name, const QString& text, int x, int y, int w, int h) {
        auto* l = new QLabel(text, Frame1);
        l->setObjectName(QString::fromLatin1(name));
        place(l, x, y, w, h);
        return l;
    };

    Image1 = label("Image1", QString(), 20, 18, 123, 36);
    Image1->setPixmap(QPixmap::fromImage(picture(QStringLiteral(":/company-logo.svg"), QSize(123, 36))));
    Label11 = label("Label11", QStringLiteral("Quorlex Label"), 148, 26, 222, 21);
    Label11->setFont(uiFont(15.75, true));
    lblVersion = label("lblVersion", QStringLiteral("버전 : 1.0.2"), 32, 64, 259, 15);
    Label9 = label("Label9", QStringLiteral("Released 2026-12-07 by Example Soft Co., Ltd."), 32, 90, 315, 14);
    Label7 = label("Label7", QStringLiteral("Tel)  000-0000-0000"), 32, 114, 129, 17);
    Label3 = label("Label3", QStringLiteral("Homepage : example.org     e-mail : help@example.org"), 32, 138, 313, 17);
    Label8 = label("Label8", QStringLiteral("Programmed by the Example Soft label team"), 32, 162, 313, 17);
    Label6 = label("Label6", QStringLiteral("사용자 :"), 32, 186, 57, 17);
    Label6->setFont(uiFont(9, true));
    lblCompany = label("lblCompany", QStringLiteral("Quorlex"), 96, 186, 257, 17);
    lblCompany->setFont(uiFont(9, true));
    Picture1 = new ClickablePicture(Frame1, QStringLiteral(":/developer-logo.svg"));
    Picture1->setObjectName(QStringLiteral("Picture1"));
    place(Picture1, 248, 194, 102, 37);
    Label5 = label("Label5", QStringLiteral("(주)예제소프트"), 16, 208, 212, 21);
    Label5->setFont(uiFont(15.75, true));
    Line1 = new QFrame(Frame1);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    place(Line1, 8, 247, 361, 2);
    lblDisclaimer = label("lblDisclaimer",
                          QString(16, QLatin1Char(' ')) +
                              QStringLiteral("경고: 이 프로그램은 저작권법의 보호를 받습니다. 무단 복제를 금합니다."),
                          16, 252, 233, 30);
    lblDisclaimer->setWordWrap(true);
    lblDisclaimer->setFont(uiFont(8, false));
    Cmd_OK = new QPushButton(QStringLiteral("확  인"), Frame1);
    Cmd_OK->setObjectName(QStringLiteral("Cmd_OK"));
    place(Cmd_OK, 256, 256, 106, 23);
    Cmd_OK->setDefault(true);

    connect(Picture1, &ClickablePicture::Click, this, &Frm_Help::Picture1_Click);
    connect(Cmd_OK, &QPushButton::clicked, this, &Frm_Help::Cmd_OK_Click);

    Form_Load();
}

void Frm_Help::Form_Load()
{
    lblVersion->setText(applicationVersionText());
}

void Frm_Help::Picture1_Click()
{
    openWebSite(developerWebSite()); // a browser that cannot be started changes nothing here
}

void Frm_Help::Cmd_OK_Click()
{
    close();
}

void Frm_Help::keyPressEvent(QKeyEvent* event)
{
    // Enter and Escape press OK.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape) {
        Cmd_OK_Click();
        return;
    }
    QWidget::keyPressEvent(event);
}
