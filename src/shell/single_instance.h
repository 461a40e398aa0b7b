#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace kv::shell {

// One running copy per user and program directory. The first launch listens on
// a local socket; a later one connects, asks the first to come to the front and
// ends.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    explicit SingleInstance(QString serverName, QObject* parent = nullptr);

    // True when no other copy answers: this one now listens for later launches.
    // False when another copy runs and was asked to come to the front. A socket
    // left behind by a crashed copy is replaced.
    bool claim();

  signals:
    void activationRequested();

  private:
    void acceptConnections();

    QString m_name;
    QLocalServer m_server;
};

} // namespace kv::shell
