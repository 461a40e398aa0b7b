#pragma once

#include "platform/scanner/sane_scanner.h"
#include "platform/ui.h"

#include <QString>

#include <filesystem>
#include <optional>
#include <string>

class QWidget;

namespace kv::intake {

// "Speichern unter": the save dialog for a picture or sheet as BMP. nullopt when
// the user cancelled.
std::optional<std::filesystem::path> askSaveTarget(QWidget* parent);

// The scanner's page name: a save dialog starting at `remembered`, which then
// holds the choice for the next scan. nullopt when the user cancelled.
std::optional<std::filesystem::path> askScanTarget(QWidget* parent, QString& remembered);

// Scans every page `device` gives into `target`. A scanner takes seconds a page,
// so it works on its own thread while a modal note keeps the windows painted and
// the user's input away from them; each page reaches `onPage` on this thread
// through the event loop, one at a time.
platform::scanner::AcquireResult scanPages(QWidget* parent, platform::Ui& ui,
                                           platform::scanner::SaneScanner& scanner,
                                           const std::string& device,
                                           const std::filesystem::path& target,
                                           const platform::scanner::PageCallback& onPage);

} // namespace kv::intake
