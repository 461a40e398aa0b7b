#include "cli/console_ui.h"

#include "cli/cli_texts.h"

namespace kv::cli {

void ConsoleUi::message(std::string_view text, Icon /*icon*/) {
    m_err << text << '\n' << std::flush;
    ++m_messages;
}

platform::Ui::Answer ConsoleUi::ask(std::string_view text, Buttons buttons, Icon /*icon*/) {
    m_err << text << '\n';
    Answer positive = Answer::Ok;
    Answer negative = Answer::Cancel;
    switch (buttons) {
    case Buttons::Ok:
        m_err << std::flush;
        return Answer::Ok;
    case Buttons::YesNo:
        positive = Answer::Yes;
        negative = Answer::No;
        break;
    case Buttons::RetryCancel:
        positive = Answer::Retry;
        break;
    case Buttons::OkCancel:
        break;
    }
    if (m_answers == Answers::Unset)
        m_err << text::kToolName << ": "
              << (negative == Answer::No ? text::kAnsweredNo : text::kAnsweredCancel) << '\n';
    m_err << std::flush;
    return m_answers == Answers::Yes ? positive : negative;
}

} // namespace kv::cli
