#include "cli/console_ui.h"

#include "cli/cli_texts.h"

#include <cctype>

namespace kv::cli {

void ConsoleUi::message(std::string_view text, Icon /*icon*/) {
    if (m_beforeText)
        m_beforeText();
    m_err << text << '\n' << std::flush;
    ++m_messages;
}

platform::Ui::Answer ConsoleUi::ask(std::string_view text, Buttons buttons, Icon /*icon*/) {
    if (m_beforeText)
        m_beforeText();
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
    if (m_answers == Answers::Unset && m_reader)
        return prompt(buttons, positive, negative);
    if (m_answers == Answers::Unset)
        m_err << text::kToolName << ": "
              << (negative == Answer::No ? text::kAnsweredNo : text::kAnsweredCancel) << '\n';
    m_err << std::flush;
    return m_answers == Answers::Yes ? positive : negative;
}

platform::Ui::Answer ConsoleUi::prompt(Buttons buttons, Answer positive, Answer negative) {
    const std::string_view choices = buttons == Buttons::YesNo         ? text::kChoicesYesNo
                                     : buttons == Buttons::RetryCancel ? text::kChoicesRetryCancel
                                                                       : text::kChoicesOkCancel;
    const char yes = choices[1];
    const char no = choices[3];
    for (;;) {
        m_err << choices << ' ' << std::flush;
        const std::optional<std::string> line = m_reader();
        if (!line) {
            m_err << '\n' << std::flush;
            return negative;
        }
        std::size_t first = 0;
        while (first < line->size() && std::isspace(static_cast<unsigned char>((*line)[first])))
            ++first;
        if (first < line->size()) {
            const char c =
                static_cast<char>(std::tolower(static_cast<unsigned char>((*line)[first])));
            if (c == yes)
                return positive;
            if (c == no)
                return negative;
        }
    }
}

} // namespace kv::cli
