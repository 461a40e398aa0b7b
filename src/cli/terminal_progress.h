#pragma once

#include "platform/progress.h"

#include <ostream>
#include <string>
#include <string_view>

namespace kv::cli {

// The status strip's progress on standard error: the phase and the percentage of
// the job's 0..865. On a terminal one line redrawn in place; into a file or a
// pipe one line at each change of phase and at each further 10 %.
class TerminalProgress : public platform::ProgressDisplay {
  public:
    TerminalProgress(std::ostream& err, bool inPlace) : m_err(err), m_inPlace(inPlace) {}

    void showProgress(int value) override;
    // The window wipes its strip here; a terminal keeps the last line.
    void redraw() override {}

    // The host tells when the raster lines go out: no flag marks the transfer.
    void setTransferring(bool on) { m_transferring = on; }
    // Before other text: a line drawn in place is finished first.
    void endLine();

    // The phase shown for the flags and the transfer.
    std::string_view phase() const;

  private:
    std::ostream& m_err;
    bool m_inPlace;
    bool m_transferring = false;
    bool m_lineOpen = false;
    std::string_view m_lastPhase;
    int m_lastPercent = -1;
    std::size_t m_lastWidth = 0;
};

} // namespace kv::cli
