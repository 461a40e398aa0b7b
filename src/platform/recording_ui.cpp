#include "platform/recording_ui.h"

namespace kv::platform {

void RecordingUi::message(std::string_view text, Icon icon) {
    m_prompts.push_back({std::string(text), icon, false, Buttons::Ok});
}

Ui::Answer RecordingUi::ask(std::string_view text, Buttons buttons, Icon icon) {
    m_prompts.push_back({std::string(text), icon, true, buttons});
    if (!m_answers.empty()) {
        Answer a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
}

void RecordingUi::script(std::initializer_list<Answer> answers) {
    m_answers.insert(m_answers.end(), answers.begin(), answers.end());
}

std::vector<std::string> RecordingUi::texts() const {
    std::vector<std::string> out;
    out.reserve(m_prompts.size());
    for (const auto& p : m_prompts)
        out.push_back(p.text);
    return out;
}

void RecordingUi::beginWait() {
    ++m_waitDepth;
    ++m_waitCount;
}

void RecordingUi::endWait() { --m_waitDepth; }

} // namespace kv::platform
