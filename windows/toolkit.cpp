#include "windows/toolkit.h"

#include "windows/label_outline.h"
#include "windows/pictures.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QSet>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

const QString kWindowFontFamily = QStringLiteral("굴림");

} // namespace

QString uiFontFamily()
{
    // Resolved once: asking the font database for a family it lacks is slow, and the answer cannot change
    // while the program runs.
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families();
        const QSet<QString> families(installed.cbegin(), installed.cend());
        // The window font first, then the Korean Gothic families Debian ships, best match first.
        for (const QString& candidate : {kWindowFontFamily, QStringLiteral("NanumGothic"), QStringLiteral("나눔고딕"),
                                         QStringLiteral("NanumBarunGothic"), QStringLiteral("Noto Sans CJK KR"),
                                         QStringLiteral("Baekmuk Gulim"), QStringLiteral("UnDotum")}) {
            if (families.contains(candidate))
                return candidate;
        }
        return kWindowFontFamily; // let the font database pick a fallback
    }();
    return family;
}

void installFontSubstitutes()
{
    // Text that names the window font directly (style sheets, rich text) finds the same substitute.
    static const bool installed = [] {
        if (uiFontFamily() != kWindowFontFamily)
            QFont::insertSubstitution(kWindowFontFamily, uiFontFamily());
        return true;
    }();
    Q_UNUSED(installed);
}

QFont uiFont(qreal pointSize, bool bold)
{
    QFont font(uiFontFamily());
    font.setPointSizeF(pointSize);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

void place(QWidget* widget, int x, int y, int width, int height)
{
    widget->setGeometry(x, y, width, height);
}

SSFrame::SSFrame(QWidget* parent, const QString& caption) : QFrame(parent), m_caption(caption)
{
    setFrameStyle(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);
}

void SSFrame::setCaption(const QString& caption, const QColor& color, qreal pointSize)
{
    m_caption = caption;
    m_captionColor = color;
    m_captionFont = uiFont(pointSize, true);
    update();
}

QString SSFrame::caption() const
{
    return m_caption;
}

void SSFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QPalette pal = palette();
    int top = 0;
    QRect captionRect;
    if (!m_caption.isEmpty()) {
        const QFontMetrics metrics(m_captionFont);
        top = metrics.height() / 2;
        captionRect = QRect(10, 0, metrics.horizontalAdvance(m_caption) + 8, metrics.height());
    }
    // An etched 3-D border: a dark line with a light line inside it.
    const QRect outer = rect().adjusted(0, top, -1, -1);
    painter.setPen(pal.color(QPalette::Dark));
    painter.drawRect(outer.adjusted(0, 0, -1, -1));
    painter.setPen(pal.color(QPalette::Light));
    painter.drawRect(outer.adjusted(1, 1, 0, 0));
    if (!m_caption.isEmpty()) {
        painter.fillRect(captionRect, pal.color(backgroundRole()));
        painter.setFont(m_captionFont);
        painter.setPen(m_captionColor.isValid() ? m_captionColor : pal.color(QPalette::WindowText));
        painter.drawText(captionRect, Qt::AlignCenter, m_caption);
    }
}

SSPanel::SSPanel(QWidget* parent, const QString& caption) : QLabel(caption, parent)
{
    setTextFormat(Qt::PlainText);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setAlignment(Qt::AlignCenter);
    setFocusPolicy(Qt::NoFocus);
}

SSCommand::SSCommand(QWidget* parent, const QString& caption) : QPushButton(caption, parent)
{
    setAutoDefault(false);
}

void SSCommand::setTabStop(bool tabStop)
{
    setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::NoFocus);
}

void SSCommand::setPicture(const QString& resource, const QSize& size)
{
    m_picture = resource;
    m_pictureSize = size;
    update();
}

void SSCommand::paintEvent(QPaintEvent* event)
{
    if (m_picture.isEmpty()) {
        QPushButton::paintEvent(event);
        return;
    }
    // The 3-D button face without its caption, then the picture in the middle. Disabled heading buttons
    // show their picture undimmed.
    QPainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    style()->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, this);
    const QSize size = m_pictureSize;
    QRect target(QPoint(0, 0), size);
    target.moveCenter(rect().center());
    if (isDown())
        target.translate(1, 1);
    painter.drawImage(target.topLeft(), picture(m_picture, size, devicePixelRatioF()));
}

SSOption::SSOption(QWidget* parent, const QString& caption) : QRadioButton(caption, parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAutoExclusive(true);
}

void SSOption::setValue(bool on)
{
    if (isChecked() == on)
        return;
    if (on) {
        setChecked(true);
        return;
    }
    // An exclusive group refuses to turn its last button off; turning one off from code is allowed here.
    setAutoExclusive(false);
    setChecked(false);
    setAutoExclusive(true);
}

TextBox::TextBox(QWidget* parent, const QString& text) : QLineEdit(text, parent)
{
    connect(this, &QLineEdit::textChanged, this, &TextBox::Change);
}

void TextBox::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    if (!text.isEmpty())
        emit KeyPress(qint16(text.at(0).unicode()));
    QLineEdit::keyPressEvent(event);
}

Shape::Shape(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void Shape::setLeft(float twips)
{
    m_left = twips;
    updateGeometryFromTwips();
}

void Shape::setTop(float twips)
{
    m_top = twips;
    updateGeometryFromTwips();
}

void Shape::setWidth(float twips)
{
    m_width = twips;
    updateGeometryFromTwips();
}

void Shape::setHeight(float twips)
{
    m_height = twips;
    updateGeometryFromTwips();
}

void Shape::updateGeometryFromTwips()
{
    setGeometry(outlinePixels(OutlineTwips{m_width, m_height, m_left, m_top}));
}

void Shape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

CheckBox::CheckBox(QWidget* parent, const QString& caption) : QCheckBox(caption, parent) {}
