#pragma once

#include "platform/ui.h"

#include <ostream>

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
    ConsoleUi(std::ostream& err, Answers answers) : m_err(err), m_answers(answers) {}

    void message(std::string_view text, Icon icon) override;
    Answer ask(std::string_view text, Buttons buttons, Icon icon) override;

    // Messages shown so far: a step that reports failure only by a message failed
    // when this grew.
    int messageCount() const { return m_messages; }

  protected:
    void beginWait() override {}
    void endWait() override {}

  private:
    std::ostream& m_err;
    Answers m_answers;
    int m_messages = 0;
};

} // namespace kv::cli
