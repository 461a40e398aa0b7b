#pragma once

#include "platform/launch_tokens.h"
#include "shell/app_state.h"
#include "shell/startup.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

namespace kv::platform {
class TerminationWatcher;
}
namespace kv::platform::scanner {
class SaneScanner;
}

class QTranslator;

namespace kv::shell {

class MainWindow;
class SingleInstance;

// The program's start-up and the way it ends. Owns the application state and
// the main window for the run.
class Application : public QObject {
    Q_OBJECT
  public:
    Application();
    ~Application() override;

    // Start-up in order; false when the program ends at once with exitCode(),
    // also when another copy runs and took over the files to open (and `launch`,
    // the tokens the desktop started this copy with).
    bool start(const CommandLine& commandLine, const platform::LaunchTokens& launch = {});
    int exitCode() const { return m_exitCode; }
    // A termination request came before the message loop ran.
    bool terminating() const { return m_terminating; }

    AppState& state() { return m_state; }
    MainWindow* mainWindow() { return m_window.get(); }

  private:
    void initialiseScanner();
    // The start-up steps after the window's first paint: port set-up, media prompt.
    void finishStart();
    void promptForMedia();
    // The files of the command line and of later launches, as if dropped, once
    // drops are taken and no dialog or print job is in the way.
    void openPendingFiles();
    void endRun();

    AppState m_state;
    std::unique_ptr<platform::TerminationWatcher> m_termination;
    std::unique_ptr<QTranslator> m_qtTexts;
    std::unique_ptr<SingleInstance> m_instance;
    // Declared before the window, so it is closed after the window is gone.
    std::unique_ptr<platform::scanner::SaneScanner> m_scanner;
    std::unique_ptr<MainWindow> m_window;
    int m_exitCode = 0;
    bool m_terminating = false;
    bool m_startFinished = false;
    std::vector<std::string> m_refusedArguments;
    QStringList m_pendingFiles;
    QTimer m_openRetry;
};

} // namespace kv::shell
