#pragma once

namespace kv::platform {

// Qt's font database has fontconfig read its whole configuration (dozens of XML
// files) when the first text is measured. Started at the top of main(), a second
// thread reads it while the program loads its settings and albums.
void startFontWarmUp();

// Waits for that reading; called before the first text is measured, so that Qt
// finds fontconfig ready instead of reading it a second time. Nothing to wait for
// when the warm-up was never started.
void finishFontWarmUp();

} // namespace kv::platform
