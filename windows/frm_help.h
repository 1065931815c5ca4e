#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QFrame;
class ClickablePicture;

// The About window: title, version, the company that uses the program, the developer and a copy warning.
// A top-level window of its own, so it outlives the main window; it is destroyed when closed.
class Frm_Help : public QWidget
{
    Q_OBJECT
public:
    Frm_Help();

    // Load step: writes the version line.
    void Form_Load();
    void Picture1_Click();
    void Cmd_OK_Click();

    QFrame* Frame1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* lblCompany = nullptr;
    ClickablePicture* Picture1 = nullptr;
    QLabel* Label5 = nullptr;
    QFrame* Line1 = nullptr;
    QLabel* lblDisclaimer = nullptr;
    QPushButton* Cmd_OK = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// A picture that reports clicks; the developer's logo.
class ClickablePicture : public QWidget
{
    Q_OBJECT
public:
    ClickablePicture(QWidget* parent, const QString& resource);

signals:
    void Click();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_resource;
};
