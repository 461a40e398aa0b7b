#include "intake/intake_dialogs.h"
#include "platform/qt_text.h"

#include "intake/intake_messages.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QProgressDialog>
#include <QThread>

#include <memory>

namespace kv::intake {

namespace fs = std::filesystem;
using platform::qs;

std::optional<fs::path> askSaveTarget(QWidget* parent) {
    QFileDialog dialog(parent, qs(msg::kSaveTitle));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(qs(msg::kSaveFilter) + QStringLiteral(" (*.bmp)"));
    dialog.setDefaultSuffix(qs(msg::kSaveExtension));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return fs::path(dialog.selectedFiles().front().toStdString());
}

std::optional<fs::path> askScanTarget(QWidget* parent, QString& remembered) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(qs(msg::kBitmapFilter));
    dialog.setDefaultSuffix(QStringLiteral("bmp"));
    dialog.selectFile(remembered);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    remembered = dialog.selectedFiles().front();
    return fs::path(remembered.toStdString());
}

platform::scanner::AcquireResult scanPages(QWidget* parent, platform::Ui& ui,
                                           platform::scanner::SaneScanner& scanner,
                                           const std::string& device, const fs::path& target,
                                           const platform::scanner::PageCallback& onPage) {
    platform::scanner::AcquireResult result = platform::scanner::AcquireResult::Done;
    platform::Ui::WaitCursor wait(ui);
    QProgressDialog note(qs(msg::kScanning), QString(), 0, 0, parent);
    note.setWindowTitle(qs(msg::kScannerTitle));
    note.setCancelButton(nullptr);
    note.setWindowModality(Qt::WindowModal);
    note.setMinimumDuration(0);
    // Pages are posted to the note, which lives on this thread until the scan ends.
    QProgressDialog* receiver = &note;
    QEventLoop loop;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        result = scanner.acquire(
            device, target, [receiver, &onPage](int pagesToCome, const fs::path& page) {
                QMetaObject::invokeMethod(
                    receiver, [&onPage, pagesToCome, page] { onPage(pagesToCome, page); },
                    Qt::QueuedConnection);
            });
    }));
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    note.show();
    loop.exec();
    worker->wait();
    // Pages posted just before the end still reach the album.
    QCoreApplication::sendPostedEvents(&note);
    return result;
}

} // namespace kv::intake
