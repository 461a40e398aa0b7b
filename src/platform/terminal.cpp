#include "platform/terminal.h"

#include <cerrno>
#include <csignal>

#include <poll.h>
#include <unistd.h>

namespace kv::platform {

namespace {

volatile std::sig_atomic_t g_interrupts = 0;
volatile std::sig_atomic_t g_terminated = 0;

extern "C" void countSignal(int signal) {
    if (signal == SIGINT)
        g_interrupts = g_interrupts + 1;
    else
        g_terminated = 1;
}

struct sigaction g_oldInt;
struct sigaction g_oldTerm;

} // namespace

bool isTerminal(Stream stream) {
    return ::isatty(stream == Stream::Input ? STDIN_FILENO : STDERR_FILENO) == 1;
}

InterruptCatcher::InterruptCatcher() {
    g_interrupts = 0;
    g_terminated = 0;
    struct sigaction action {};
    action.sa_handler = countSignal;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    // Restarted calls: the printer's register traffic must not fail on a key press;
    // the prompt waits in poll, which a signal always ends.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &g_oldInt);
    sigaction(SIGTERM, &action, &g_oldTerm);
}

InterruptCatcher::~InterruptCatcher() {
    sigaction(SIGINT, &g_oldInt, nullptr);
    sigaction(SIGTERM, &g_oldTerm, nullptr);
}

int InterruptCatcher::interrupts() const {
    return g_interrupts;
}

bool InterruptCatcher::terminated() const {
    return g_terminated != 0;
}

LineRead readTerminalLine(std::string& line) {
    line.clear();
    const std::sig_atomic_t interrupts = g_interrupts;
    for (;;) {
        if (g_interrupts != interrupts || g_terminated)
            return LineRead::Interrupted;
        pollfd input{STDIN_FILENO, POLLIN, 0};
        const int ready = ::poll(&input, 1, 100);
        if (ready < 0 && errno != EINTR)
            return LineRead::End;
        if (ready <= 0)
            continue;
        char c = 0;
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return line.empty() ? LineRead::End : LineRead::Line;
        if (c == '\n')
            return LineRead::Line;
        line += c;
    }
}

} // namespace kv::platform
