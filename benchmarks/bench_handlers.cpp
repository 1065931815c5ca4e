// How long the window's handlers take, in process: each size preset, one nudge click, one typed character up
// to the preview label (and the repaint after it), the same with the label picture window open, a redraw of
// the label picture, and one Print press to a pseudo-terminal with and without the 30001-pass pause. Prints the
// median of many runs of each.

#include "printing/epl2_job.h"
#include "printing/print_press.h"
#include "windows/frm_label_picture.h"
#include "windows/frm_main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

double medianMicroseconds(int runs, const std::function<void()>& once)
{
    std::vector<double> samples;
    samples.reserve(size_t(runs));
    QElapsedTimer clock;
    for (int i = 0; i < runs; ++i) {
        clock.start();
        once();
        samples.push_back(double(clock.nsecsElapsed()) / 1000.0);
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

void report(const char* what, double microseconds)
{
    if (microseconds >= 1000.0)
        std::printf("  %-52s %10.2f ms\n", what, microseconds / 1000.0);
    else
        std::printf("  %-52s %10.1f us\n", what, microseconds);
}

// A raw pseudo-terminal whose other side is drained after each press.
struct Pty
{
    int master = -1;
    QByteArray path;
    Pty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        grantpt(master);
        unlockpt(master);
        path = ptsname(master);
    }
    ~Pty() { close(master); }
    qint64 drain()
    {
        char buffer[4096];
        qint64 total = 0;
        for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;)
            total += n;
        return total;
    }
};

// A network printer on loopback that reads everything it is sent, on a thread of its own.
struct LoopbackPrinter
{
    int listener = -1;
    quint16 port = 0;
    std::atomic<bool> stop{false};
    std::atomic<qint64> received{0};
    std::thread thread;

    LoopbackPrinter()
    {
        listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(listener, reinterpret_cast<sockaddr*>(&address), length);
        listen(listener, 8);
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        thread = std::thread([this] {
            while (!stop) {
                pollfd entry{listener, POLLIN, 0};
                if (poll(&entry, 1, 20) <= 0)
                    continue;
                const int connection = accept(listener, nullptr, nullptr);
                char buffer[4096];
                for (ssize_t n; (n = read(connection, buffer, sizeof buffer)) > 0;)
                    received += n;
                close(connection);
            }
        });
    }
    ~LoopbackPrinter()
    {
        stop = true;
        thread.join();
        close(listener);
    }
};

// Runs the window's Print press, with the window's event processing in the pause or with none at all.
class BenchHost : public PrintHost
{
public:
    BenchHost(Frm_Main& window, bool pause) : m_window(window), m_pause(pause) {}
    ComposedJob composeJob() override { return ::composeJob(m_window.labelSettings()); }
    QString portName() override { return m_window.PortName; }
    MSComm& serialControl() override { return *m_window.MSC_Com1; }
    void processEvents() override
    {
        if (m_pause)
            QCoreApplication::processEvents();
    }
    void reportFailure(const QString& cause) override { std::fprintf(stderr, "press failed: %s\n", qPrintable(cause)); }

private:
    Frm_Main& m_window;
    bool m_pause;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Frm_Main window;
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.showCentred();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    QCoreApplication::processEvents();

    std::printf("Window handlers (median):\n");
    const std::pair<const char*, SSOption*> sizes[] = {
        {"size preset 1M", window.SSOpt_1M},
        {"size preset 2M", window.SSOpt_2M},
        {"size preset 3M", window.SSOpt_3M},
        {"size preset 6M (SSOpt_9M)", window.SSOpt_9M},
        {"size preset 9M (SSOpt_6M)", window.SSOpt_6M},
    };
    for (const auto& [name, button] : sizes)
        report(name, medianMicroseconds(201, [&] { QTest::mouseClick(button, Qt::LeftButton); }));

    bool up = true;
    report("one nudge click", medianMicroseconds(1001, [&] {
               QTest::mouseClick(up ? window.SSCmd_VerXP : window.SSCmd_VerXM, Qt::LeftButton);
               up = !up;
           }));

    window.Txt_Item->setFocus();
    bool type = true;
    report("one typed character in Txt_Item", medianMicroseconds(1001, [&] {
               QTest::keyClick(window.Txt_Item, type ? Qt::Key_A : Qt::Key_Backspace);
               type = !type;
           }));
    type = true;
    report("one typed character, with the repaint after it", medianMicroseconds(301, [&] {
               QTest::keyClick(window.Txt_Item, type ? Qt::Key_A : Qt::Key_Backspace);
               QCoreApplication::processEvents();
               type = !type;
           }));

    // The label picture window: composed, drawn from the bytes and painted at its zoom after every change.
    window.Mnu_LabelPicture_Click();
    Frm_LabelPicture* picture = window.pictureWindow();
    if (!QTest::qWaitForWindowExposed(picture))
        return 1;
    type = true;
    report("one typed character, label picture open, both repainted", medianMicroseconds(301, [&] {
               QTest::keyClick(window.Txt_Item, type ? Qt::Key_A : Qt::Key_Backspace);
               QCoreApplication::processEvents();
               type = !type;
           }));
    std::printf("Label picture redraw (compose, draw the first label, paint at its zoom; median):\n");
    const std::pair<const char*, std::function<void()>> labels[] = {
        {"1M", [&] { window.SSOpt_1M_Click(1); }},
        {"2M five-across",
         [&] {
             window.SSOpt_2M_Click(1);
             window.Chk_Print5->setChecked(true);
         }},
        {"9M",
         [&] {
             window.Chk_Print5->setChecked(false);
             window.SSOpt_6M_Click(1);
         }},
    };
    for (const QSize size : {picture->size(), QSize(1200, 900)}) { // as it first opens, and larger
        picture->resize(size);
        for (const auto& [name, choose] : labels) {
            choose();
            window.Txt_Item->setText(QStringLiteral("AB1234"));
            window.Txt_Version->setText(QStringLiteral("V1"));
            QCoreApplication::processEvents();
            const double us = medianMicroseconds(201, [&] {
                picture->refresh();
                picture->Pic_Label->repaint();
            });
            const QString what = QStringLiteral("%1, window %2 by %3, %4 pixels per dot")
                                     .arg(QLatin1String(name))
                                     .arg(size.width())
                                     .arg(size.height())
                                     .arg(picture->Pic_Label->zoom());
            report(qPrintable(what), us);
        }
    }
    picture->close();
    window.SSOpt_3M_Click(1);
    window.Txt_Item->setText(QString());
    window.Txt_Item->setFocus();
    type = true;
    report("one typed character, label picture closed again", medianMicroseconds(1001, [&] {
               QTest::keyClick(window.Txt_Item, type ? Qt::Key_A : Qt::Key_Backspace);
               type = !type;
           }));

    Pty printer;
    qputenv("QUORLEX_LABEL_COM1", printer.path);
    window.SSOpt_3M_Click(1);
    window.Txt_Item->setText(QStringLiteral("AB1234"));
    window.Txt_Version->setText(QStringLiteral("V1"));
    window.Txt_Data->setText(QStringLiteral("0623"));
    const qint64 jobSize = composeJob(window.labelSettings()).bytes.size();
    for (bool pause : {false, true}) {
        BenchHost host(window, pause);
        PrintPress press;
        qint64 received = 0;
        const double us = medianMicroseconds(pause ? 15 : 101, [&] {
            press.run(host);
            received += printer.drain();
        });
        report(pause ? "Print press to a pseudo-terminal, with the pause"
                     : "Print press to a pseudo-terminal, no pause",
               us);
        if (received % jobSize != 0)
            std::fprintf(stderr, "unexpected byte count %lld\n", static_cast<long long>(received));
    }

    LoopbackPrinter network;
    qputenv("QUORLEX_LABEL_LPT1", QStringLiteral("socket://127.0.0.1:%1").arg(network.port).toLatin1());
    window.Mnu_Lpt_Click();
    for (bool pause : {false, true}) {
        BenchHost host(window, pause);
        PrintPress press;
        report(pause ? "Print press to a loopback network printer, with the pause"
                     : "Print press to a loopback network printer, no pause",
               medianMicroseconds(pause ? 15 : 101, [&] { press.run(host); }));
    }
    return 0;
}
