#pragma once

#include <QObject>

class QSocketNotifier;

namespace kv::platform {

// Turns SIGTERM and SIGINT into a Qt signal on the user-interface thread, so that
// a request to end the program runs its clean-up like a session ending does.
// One instance per process.
class TerminationWatcher : public QObject {
    Q_OBJECT
  public:
    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;

    // False when the signal handlers could not be installed.
    bool active() const { return m_notifier != nullptr; }

  signals:
    void terminationRequested();

  private:
    void drain();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace kv::platform
