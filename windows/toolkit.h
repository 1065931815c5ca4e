#pragma once

// A small set of controls with the behaviour the windows rely on: 3-D frames and panels, push and option
// buttons, text boxes that report changes and typed characters, and a shape placed in twips.

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <functional>

QFont uiFont(qreal pointSize, bool bold);
// Makes the Korean window font resolve to an installed Korean Gothic family when it is missing.
void installFontSubstitutes();
QString uiFontFamily();

// Places a child at x, y, width, height in pixels relative to its parent.
void place(QWidget* widget, int x, int y, int width, int height);

// A captioned 3-D frame: a raised border with its caption in the top edge.
class SSFrame : public QFrame
{
    Q_OBJECT
public:
    explicit SSFrame(QWidget* parent, const QString& caption = QString());
    void setCaption(const QString& caption, const QColor& color, qreal pointSize);
    QString caption() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_caption;
    QColor m_captionColor;
    QFont m_captionFont;
};

// A 3-D panel: a sunken box with a centred caption; also a container.
class SSPanel : public QLabel
{
    Q_OBJECT
public:
    explicit SSPanel(QWidget* parent, const QString& caption = QString());
    QString Caption() const { return text(); }
    void setCaption(const QString& caption) { setText(caption); }
};

// A 3-D push button with a caption or a picture; Click runs on a click.
class SSCommand : public QPushButton
{
    Q_OBJECT
public:
    explicit SSCommand(QWidget* parent, const QString& caption = QString());
    void setTabStop(bool tabStop);
    // Shows the picture, drawn at the given size, instead of the caption; the caption stays the button's text.
    void setPicture(const QString& resource, const QSize& size);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_picture;
    QSize m_pictureSize;
};

// A 3-D option button. Buttons with the same parent form one group with at most one on. The clicked signal
// comes from the operator's click only; turning a button on or off from code raises nothing.
class SSOption : public QRadioButton
{
    Q_OBJECT
public:
    explicit SSOption(QWidget* parent, const QString& caption);
    bool Value() const { return isChecked(); }
    void setValue(bool on);
};

// A single-line text box. Change runs after every change of the text, also one made from code; KeyPress
// runs with the typed character code before the box handles the key.
class TextBox : public QLineEdit
{
    Q_OBJECT
public:
    explicit TextBox(QWidget* parent, const QString& text = QString());

signals:
    void Change();
    void KeyPress(qint16 keyAscii);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// The outline of a rectangle whose Left, Top, Width and Height are set in twips (15 twips to the pixel).
class Shape : public QWidget
{
    Q_OBJECT
public:
    explicit Shape(QWidget* parent);
    float Left() const { return m_left; }
    float Top() const { return m_top; }
    float Width() const { return m_width; }
    float Height() const { return m_height; }
    void setLeft(float twips);
    void setTop(float twips);
    void setWidth(float twips);
    void setHeight(float twips);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void updateGeometryFromTwips();
    float m_left = 0;
    float m_top = 0;
    float m_width = 0;
    float m_height = 0;
};

// A check box whose value is 0 when unchecked and 1 when checked.
class CheckBox : public QCheckBox
{
    Q_OBJECT
public:
    CheckBox(QWidget* parent, const QString& caption);
    int Value() const { return isChecked() ? 1 : 0; }
};
