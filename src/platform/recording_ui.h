#pragma once

#include "platform/ui.h"

#include <deque>
#include <string>
#include <vector>

namespace kv::platform {

// Records every prompt and answers questions from a script. Used by tests and by
// front ends that run without windows.
class RecordingUi : public Ui {
public:
    struct Prompt {
        std::string text;
        Icon icon;
        bool question;
        Buttons buttons;
    };

    void message(std::string_view text, Icon icon) override;
    Answer ask(std::string_view text, Buttons buttons, Icon icon) override;

    // Answers given to the next questions, in order. A question with no scripted
    // answer gets the negative answer of its buttons (No, Cancel).
    void script(std::initializer_list<Answer> answers);
    void script(Answer answer) { m_answers.push_back(answer); }

    const std::vector<Prompt>& prompts() const { return m_prompts; }
    std::vector<std::string> texts() const;
    void clear() { m_prompts.clear(); }

    int waitDepth() const { return m_waitDepth; }
    int waitCount() const { return m_waitCount; }

protected:
    void beginWait() override;
    void endWait() override;

private:
    std::vector<Prompt> m_prompts;
    std::deque<Answer> m_answers;
    int m_waitDepth = 0;
    int m_waitCount = 0;
};

} // namespace kv::platform
