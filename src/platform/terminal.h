#pragma once

#include <string>

// The terminal services of the command-line front end: whether a stream is a
// terminal, Ctrl+C and SIGTERM as counts, and one line typed at a prompt.
namespace kv::platform {

enum class Stream { Input, Error };

bool isTerminal(Stream stream);

// While it lives, SIGINT and SIGTERM only count (the handlers set flags and do
// nothing else); the handlers found before are put back when it ends. One at a time.
class InterruptCatcher {
  public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

    // Ctrl+C presses since construction.
    int interrupts() const;
    // SIGTERM came.
    bool terminated() const;
};

enum class LineRead {
    Line,        // a line was typed (without its line feed)
    End,         // standard input was closed
    Interrupted, // Ctrl+C or SIGTERM came while waiting
};

// Reads one line from standard input. While an InterruptCatcher lives, a signal
// ends the wait.
LineRead readTerminalLine(std::string& line);

} // namespace kv::platform
