#pragma once

#include "platform/ui.h"

#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace kv::cli {

// How the command line answers the program's questions.
enum class Answers {
    Unset, // neither --yes nor --no: No (or Cancel), and the tool says so
    Yes,
    No,
};

// The program's message boxes on a terminal: every text goes to the error stream
// exactly as the box would show it, followed by a line feed; questions are shown
// the same way and answered from the command line. There is no wait cursor.
class ConsoleUi : public platform::Ui {
  public:
    // One line typed by the user; nullopt when none can come (closed, interrupted).
    using LineReader = std::function<std::optional<std::string>()>;

    ConsoleUi(std::ostream& err, Answers answers) : m_err(err), m_answers(answers) {}

    void message(std::string_view text, Icon icon) override;
    Answer ask(std::string_view text, Buttons buttons, Icon icon) override;

    // With neither --yes nor --no, questions are asked: "[j/n]" (Ja/Nein), "[w/a]"
    // (Wiederholen/Abbrechen) or "[o/a]" (OK/Abbrechen) after the text, answered by
    // a line from `reader`; no line is the No (or Cancel) answer.
    void setPrompt(LineReader reader) { m_reader = std::move(reader); }
    // Runs before any text is written (a progress line is finished first).
    void setBeforeText(std::function<void()> hook) { m_beforeText = std::move(hook); }

    // Messages shown so far: a step that reports failure only by a message failed
    // when this grew.
    int messageCount() const { return m_messages; }

  protected:
    void beginWait() override {}
    void endWait() override {}

  private:
    Answer prompt(Buttons buttons, Answer positive, Answer negative);

    std::ostream& m_err;
    Answers m_answers;
    LineReader m_reader;
    std::function<void()> m_beforeText;
    int m_messages = 0;
};

} // namespace kv::cli
