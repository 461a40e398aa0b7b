// The yardstick for kvphoto's start-up and ending: an empty Qt Widgets window.
// Without arguments it ends right after its first paint. With `--stay MARKER` it
// makes the file MARKER after its first paint and stays until SIGTERM, which
// closes the window the way a close button would. Prints nothing.
#include <QApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};

void onTerm(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(g_pipe[1], &byte, 1);
}

class EmptyWindow : public QWidget {
  public:
    explicit EmptyWindow(QString marker) : m_marker(std::move(marker)) {}

  protected:
    void paintEvent(QPaintEvent* event) override {
        QWidget::paintEvent(event);
        if (m_painted)
            return;
        m_painted = true;
        // Queued, as kvphoto does it: the paint reaches the screen first.
        if (m_marker.isEmpty())
            QTimer::singleShot(0, this, &QWidget::close);
        else
            QTimer::singleShot(0, this, [this] { QFile(m_marker).open(QIODevice::WriteOnly); });
    }

  private:
    QString m_marker;
    bool m_painted = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const qsizetype stay = args.indexOf(QStringLiteral("--stay"));
    EmptyWindow window(stay > 0 && stay + 1 < args.size() ? args[stay + 1] : QString());
    if (stay > 0 && pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        std::signal(SIGTERM, onTerm);
        auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, &window);
        QObject::connect(notifier, &QSocketNotifier::activated, &window, &QWidget::close);
    }
    window.resize(640, 480);
    window.show();
    return app.exec();
}
