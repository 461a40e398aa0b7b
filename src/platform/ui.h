#pragma once

#include <string>
#include <string_view>

namespace kv::platform {

// Every prompt of the program goes through this interface, so that the program's
// German texts can be checked by tests and answered by a script.
class Ui {
public:
    enum class Icon { None, Stop, Exclamation, Information, Question };
    enum class Buttons { Ok, YesNo, RetryCancel, OkCancel };
    enum class Answer { Ok, Cancel, Yes, No, Retry };

    // The title every message box carries.
    static constexpr std::string_view kTitle = "Kelvor Photo Viewer";

    virtual ~Ui() = default;

    virtual void message(std::string_view text, Icon icon) = 0;
    virtual Answer ask(std::string_view text, Buttons buttons, Icon icon) = 0;

    // A wait cursor for long work; nested calls keep it until the outermost ends.
    class WaitCursor {
    public:
        explicit WaitCursor(Ui& ui) : m_ui(ui) { m_ui.beginWait(); }
        ~WaitCursor() { m_ui.endWait(); }
        WaitCursor(const WaitCursor&) = delete;
        WaitCursor& operator=(const WaitCursor&) = delete;

    private:
        Ui& m_ui;
    };

protected:
    friend class WaitCursor;
    virtual void beginWait() = 0;
    virtual void endWait() = 0;
};

} // namespace kv::platform
