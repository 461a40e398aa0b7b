#include "cli/terminal_progress.h"

#include "cli/cli_texts.h"

#include <algorithm>

namespace kv::cli {

std::string_view TerminalProgress::phase() const {
    // The status strip's order of precedence.
    if (flags.warmingUp)
        return text::kPhaseWarmUp;
    if (flags.printerSearch)
        return text::kPhaseSearch;
    if (flags.preparingData)
        return text::kPhasePreparing;
    if (flags.bmxOnly)
        return text::kPhaseBmx;
    if (flags.colourStagesRunning || !m_transferring)
        return text::kPhasePaper;
    return text::kPhaseTransfer;
}

void TerminalProgress::showProgress(int value) {
    const int percent = std::clamp(value, 0, kFullScale) * 100 / kFullScale;
    const std::string_view now = phase();
    const bool newPhase = now != m_lastPhase;
    if (m_inPlace) {
        if (!newPhase && percent == m_lastPercent)
            return;
        std::string line = std::string(now) + " " + std::to_string(percent) + " %";
        const std::size_t width = line.size();
        // Blanks over what is left of a longer line before.
        if (width < m_lastWidth)
            line.append(m_lastWidth - width, ' ');
        m_err << '\r' << line << std::flush;
        m_lastWidth = width;
        m_lineOpen = true;
    } else {
        if (!newPhase && percent / 10 == m_lastPercent / 10)
            return;
        m_err << now << " " << percent << " %\n" << std::flush;
    }
    m_lastPhase = now;
    m_lastPercent = percent;
}

void TerminalProgress::endLine() {
    if (!m_lineOpen)
        return;
    m_err << '\n' << std::flush;
    m_lineOpen = false;
    m_lastWidth = 0;
    // The next value starts a fresh line, even in the same phase.
    m_lastPhase = {};
}

} // namespace kv::cli
