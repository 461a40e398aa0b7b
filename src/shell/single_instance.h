#pragma once

#include "platform/launch_tokens.h"

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

namespace kv::shell {

// One running copy per user and program directory. The first launch listens on
// a local socket; a later one connects, asks the first to come to the front,
// hands over the files it was started with and ends.
//
// A request is lines of UTF-8: the launcher's tokens ("startup-id<TAB>id",
// "activation-token<TAB>token") where it gave any, "raise", then "open<TAB>path"
// per file; values are percent-encoded, so that any byte of a file name survives.
// It ends when the later launch disconnects. A receiver skips lines it does not
// know, so older and newer copies of the program still understand each other.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    // What one request may hold at most, far more than an album of paths; a
    // larger one is dropped whole.
    static constexpr qint64 kMaxRequestBytes = 4 * 1024 * 1024;

    // A bare `serverName` is a socket in the user's private folder ($XDG_RUNTIME_DIR/kvphoto,
    // else ~/.cache/kvphoto/run); a path is taken as it is. Only processes of the same
    // user are talked to, either way.
    explicit SingleInstance(QString serverName, QObject* parent = nullptr);

    // True when no other copy answers: this one now listens for later launches.
    // False when another copy runs and was asked to come to the front and to add
    // `files` (absolute paths), with the tokens this launch was given by the desktop;
    // handedOver() tells whether all of that was sent.
    // A socket left behind by a crashed copy is replaced. Without a private folder, or
    // when another user's program answers, it says so and runs without the guard (true).
    bool claim(const QStringList& files = {}, const platform::LaunchTokens& launch = {});
    // Where later launches meet this one.
    const QString& serverName() const { return m_name; }
    bool handedOver() const { return m_handedOver; }

  signals:
    // A later launch asks to come to the front, with its launcher's tokens (empty
    // when it was given none, or is an older copy of the program).
    void activationRequested(const kv::platform::LaunchTokens& launch);
    // The files of one later launch, in its order, once its request is complete.
    void filesReceived(const QStringList& files);

  private:
    void acceptConnections();

    QString m_name;
    QString m_problem; // why there is no private folder to meet in
    QLocalServer m_server;
    bool m_handedOver = false;
};

} // namespace kv::shell
