#include "cli/terminal_job.h"

#include "cli/cli_texts.h"
#include "jobs/job_messages.h"

namespace kv::cli {

platform::Ui::Answer TerminalJobUi::decided(std::string_view text, Answer answer) {
    if (m_progress)
        m_progress->endLine();
    m_err << text << '\n'
          << text::kToolName << ": "
          << (answer == Answer::Yes ? text::kInterruptedYes : text::kInterruptedNo) << '\n'
          << std::flush;
    return answer;
}

platform::Ui::Answer TerminalJobUi::ask(std::string_view text, Buttons buttons, Icon icon) {
    const bool stopQuestion = text == jobs::msg::kAskStopPrinting;
    if (stopQuestion && (m_signals.terminated() || m_signals.interrupts() >= 2)) {
        m_forced = true;
        return decided(text, Answer::Yes);
    }
    // After a stop by signal nothing goes on: the batch's "continue?" is No.
    if (m_forced || m_signals.terminated()) {
        m_forced = true;
        const Answer no = buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
        return decided(text, no);
    }
    const int before = m_signals.interrupts();
    const Answer answer = m_console.ask(text, buttons, icon);
    // Ctrl+C at the stop question itself is the second one.
    if (stopQuestion && m_signals.interrupts() != before) {
        m_forced = true;
        m_err << text::kToolName << ": " << text::kInterruptedYes << '\n' << std::flush;
        return Answer::Yes;
    }
    return answer;
}

bool TerminalJobHost::pumpOneEvent() {
    const int now = m_signals.interrupts();
    const bool escape = now != m_seenInterrupts || m_signals.terminated();
    m_seenInterrupts = now;
    return escape;
}

void TerminalJobHost::transferring(bool on) {
    if (m_progress)
        m_progress->setTransferring(on);
}

void TerminalJobHost::batchPictureShown(int index) {
    if (m_quiet || !m_job)
        return;
    if (m_progress)
        m_progress->endLine();
    const auto& pictures = m_job->batchPictures();
    m_err << text::kToolName << ": " << text::kBatchPictureHead << index + 1
          << text::kSheetsPrintedOf << m_job->batchTotal();
    if (index >= 0 && static_cast<std::size_t>(index) < pictures.size())
        m_err << ": " << pictures[std::size_t(index)].displayName;
    m_err << '\n' << std::flush;
}

TerminalJobHost::Tally TerminalJobHost::run(jobs::PrintJob& job) {
    m_job = &job;
    Tally tally;
    while (m_armedMs) {
        const int ms = *m_armedMs;
        m_armedMs.reset();
        // Between sheets no page is open: a stop needs no question.
        const auto stop = [this] { return m_signals.terminated() || m_signals.interrupts() >= 2; };
        if (stop()) {
            tally.stopped = true;
            break;
        }
        m_clock.delayMs(static_cast<std::uint32_t>(ms));
        if (stop()) {
            tally.stopped = true;
            break;
        }
        job.step();
        if (job.lastOutcome() == jobs::JobOutcome::Printed)
            ++tally.printed;
        else if (job.lastOutcome() == jobs::JobOutcome::Cancelled)
            ++tally.cancelled;
    }
    if (m_progress)
        m_progress->endLine();
    m_job = nullptr;
    return tally;
}

} // namespace kv::cli
