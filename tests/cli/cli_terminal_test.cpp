// The print command's terminal parts in process: the prompt on the terminal, the
// progress line, and what Ctrl+C and SIGTERM decide at the engine's questions.

#include "cli/console_ui.h"
#include "cli/terminal_job.h"
#include "cli/terminal_progress.h"
#include "jobs/job_messages.h"
#include "platform/terminal.h"

#include <gtest/gtest.h>

#include <csignal>
#include <deque>
#include <optional>
#include <sstream>
#include <string>

namespace kv::cli {
namespace {

using Answer = platform::Ui::Answer;
using Buttons = platform::Ui::Buttons;
using Icon = platform::Ui::Icon;

// Lines typed at the prompt; none left is a closed standard input.
ConsoleUi::LineReader typed(std::deque<std::string> lines) {
    return [lines]() mutable -> std::optional<std::string> {
        if (lines.empty())
            return std::nullopt;
        std::string line = lines.front();
        lines.pop_front();
        return line;
    };
}

TEST(CliTerminal, PromptTakesTheFirstLetterOfTheGermanButtons) {
    const struct {
        Buttons buttons;
        std::deque<std::string> lines;
        Answer answer;
        int prompts; // how often the choices were shown
    } cases[] = {
        {Buttons::YesNo, {"j"}, Answer::Yes, 1},
        {Buttons::YesNo, {"  Ja"}, Answer::Yes, 1},
        {Buttons::YesNo, {"n"}, Answer::No, 1},
        {Buttons::YesNo, {"", "y", "N"}, Answer::No, 3},
        {Buttons::YesNo, {}, Answer::No, 1},
        {Buttons::RetryCancel, {"w"}, Answer::Retry, 1},
        {Buttons::RetryCancel, {"j", "a"}, Answer::Cancel, 2},
        {Buttons::RetryCancel, {}, Answer::Cancel, 1},
        {Buttons::OkCancel, {"o"}, Answer::Ok, 1},
    };
    for (const auto& c : cases) {
        std::ostringstream err;
        ConsoleUi ui(err, Answers::Unset);
        ui.setPrompt(typed(c.lines));
        SCOPED_TRACE(c.lines.empty() ? std::string("(closed)") : c.lines.back());
        EXPECT_EQ(ui.ask("Frage?", c.buttons, Icon::Question), c.answer);
        const std::string choices = c.buttons == Buttons::YesNo         ? "[j/n] "
                                    : c.buttons == Buttons::RetryCancel ? "[w/a] "
                                                                        : "[o/a] ";
        std::string expected = "Frage?\n";
        for (int i = 0; i < c.prompts; ++i)
            expected += choices;
        if (c.lines.empty())
            expected += "\n";
        EXPECT_EQ(err.str(), expected);
    }
    // --yes and --no answer without a prompt; a plain message asks nothing.
    for (const Answers given : {Answers::Yes, Answers::No}) {
        std::ostringstream err;
        ConsoleUi ui(err, given);
        ui.setPrompt(typed({"n"}));
        EXPECT_EQ(ui.ask("Frage?", Buttons::YesNo, Icon::Question),
                  given == Answers::Yes ? Answer::Yes : Answer::No);
        EXPECT_EQ(err.str(), "Frage?\n");
    }
    std::ostringstream err;
    ConsoleUi ui(err, Answers::Unset);
    int before = 0;
    ui.setPrompt(typed({"j"}));
    ui.setBeforeText([&before] { ++before; });
    ui.message("Hinweis", Icon::Information);
    EXPECT_EQ(ui.ask("OK?", Buttons::Ok, Icon::Information), Answer::Ok);
    EXPECT_EQ(err.str(), "Hinweis\nOK?\n");
    EXPECT_EQ(before, 2);
}

TEST(CliTerminal, ProgressLinesPerPhaseAndTenPercent) {
    // value, warming up, colour stages, transferring
    const struct {
        int value;
        bool warm;
        bool colour;
        bool transfer;
    } steps[] = {
        {0, true, false, false},    {100, false, true, false}, {300, false, true, false},
        {865, false, false, false}, {0, false, false, true},   {80, false, false, true},
        {87, false, false, true},   {433, false, false, true}, {865, false, false, true},
    };
    std::ostringstream piped;
    std::ostringstream terminal;
    TerminalProgress lines(piped, false);
    TerminalProgress inPlace(terminal, true);
    for (TerminalProgress* p : {&lines, &inPlace})
        for (const auto& s : steps) {
            p->flags.warmingUp = s.warm;
            p->flags.colourStagesRunning = s.colour;
            p->setTransferring(s.transfer);
            p->showProgress(s.value);
        }
    EXPECT_EQ(piped.str(), "Aufwärmen 0 %\nPapier 11 %\nPapier 34 %\nPapier 100 %\n"
                           "Übertragung 0 %\nÜbertragung 10 %\nÜbertragung 50 %\n"
                           "Übertragung 100 %\n");
    // In place: each change of the shown text redraws the line, blanks over the
    // rest of a longer one; the line is finished before other text.
    inPlace.endLine();
    inPlace.endLine();
    EXPECT_EQ(terminal.str(), "\rAufwärmen 0 %\rPapier 11 %   \rPapier 34 %\rPapier 100 %"
                              "\rÜbertragung 0 %\rÜbertragung 9 %\rÜbertragung 10 %"
                              "\rÜbertragung 50 %\rÜbertragung 100 %\n");
}

TEST(CliTerminal, SignalsDecideTheStopQuestion) {
    using jobs::msg::kAskContinuePrinting;
    using jobs::msg::kAskNoPaper;
    using jobs::msg::kAskStopPrinting;
    struct sigaction before {};
    sigaction(SIGINT, nullptr, &before);
    {
        std::ostringstream err;
        ConsoleUi console(err, Answers::No);
        const platform::InterruptCatcher signals;
        TerminalJobUi ui(console, signals, err);
        platform::FakeClock clock;
        TerminalJobHost host(clock, signals, nullptr, err, true);

        EXPECT_FALSE(host.pumpOneEvent());
        std::raise(SIGINT);
        EXPECT_EQ(signals.interrupts(), 1);
        EXPECT_TRUE(host.pumpOneEvent()) << "Ctrl+C is ESC";
        EXPECT_FALSE(host.pumpOneEvent()) << "once";
        // The first Ctrl+C: the question is answered as given (--no goes on).
        EXPECT_EQ(ui.ask(kAskStopPrinting, Buttons::YesNo, Icon::Information), Answer::No);
        EXPECT_FALSE(ui.stoppedBySignal());
        std::raise(SIGINT);
        EXPECT_TRUE(host.pumpOneEvent());
        // The second stops at once, and nothing goes on after it.
        EXPECT_EQ(ui.ask(kAskStopPrinting, Buttons::YesNo, Icon::Information), Answer::Yes);
        EXPECT_TRUE(ui.stoppedBySignal());
        EXPECT_EQ(ui.ask(kAskContinuePrinting, Buttons::YesNo, Icon::Question), Answer::No);
        EXPECT_EQ(err.str(), std::string(kAskStopPrinting) + "\n" + std::string(kAskStopPrinting) +
                                 "\nkvphoto-cli: interrupted: answered Yes\n" +
                                 std::string(kAskContinuePrinting) +
                                 "\nkvphoto-cli: interrupted: answered No\n");
    }
    {
        std::ostringstream err;
        ConsoleUi console(err, Answers::Yes);
        const platform::InterruptCatcher signals;
        EXPECT_EQ(signals.interrupts(), 0) << "counted afresh";
        TerminalJobUi ui(console, signals, err);
        std::raise(SIGTERM);
        EXPECT_TRUE(signals.terminated());
        // SIGTERM: every question goes the way that stops, --yes or not.
        EXPECT_EQ(ui.ask(kAskNoPaper, Buttons::YesNo, Icon::Information), Answer::No);
        EXPECT_EQ(ui.ask(jobs::msg::kPrinterFault, Buttons::RetryCancel, Icon::Information),
                  Answer::Cancel);
        EXPECT_EQ(ui.ask(kAskStopPrinting, Buttons::YesNo, Icon::Information), Answer::Yes);
    }
    // The handlers found before are back.
    struct sigaction after {};
    sigaction(SIGINT, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, SIG_DFL);
}

} // namespace
} // namespace kv::cli
