#pragma once

#include "adjust/colour_adjust.h"
#include "platform/bitmap.h"
#include "platform/ui.h"
#include "shell/app_state.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>

// The colour adjustment dialog's work on files and on the application state: the
// thumbnail its preview starts from, "Anwenden" and "Speichern".
namespace kv::adjust {

// The colour-adjusted copy of the selected picture in the temporary directory.
inline constexpr std::string_view kAdjustedPictureFile = "Prefile.bmp";

// The thumbnail of picture `index` in the album's thumbnail file; nullopt when the
// file cannot be read or holds no sound record up to that picture.
std::optional<platform::Bitmap24> readColourThumbnail(const std::filesystem::path& dataFile,
                                                      int index);

enum class ApplyResult {
    Applied,    // the adjusted copy is written and the adjusted picture flag set
    CannotOpen, // the picture could not be decoded: told, nothing written
    NotWritten, // the copy could not be written: told
};

// "Anwenden": decodes the selected picture, adjusts every pixel with the
// thumbnail's mean and writes the adjusted copy. With `show`, the copy (turned by
// the picture's rotation) becomes the displayed picture with its status text. On
// failure the flags, the displayed picture and an earlier copy stay as they were.
ApplyResult applyColourAdjustment(shell::AppState& state, platform::Ui& ui,
                                  const ColourAdjustValues& values, double mean,
                                  const std::filesystem::path& tempDir, bool show = true);

// "Speichern": unless every value is 0, writes the adjusted copy and runs the
// main window's save-as command (`saveAs`), which copies it where the user
// chooses; both flags are clear afterwards. Returns false when the copy could not
// be made (told): the dialog stays open.
bool saveColourAdjustment(shell::AppState& state, platform::Ui& ui,
                          const ColourAdjustValues& values, double mean,
                          const std::filesystem::path& tempDir,
                          const std::function<void()>& saveAs);

} // namespace kv::adjust
