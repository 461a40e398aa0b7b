#pragma once

#include "albums/album_store.h"
#include "cli/arguments.h"
#include "cli/cli.h"
#include "cli/console_ui.h"
#include "platform/scratch_folder.h"
#include "shell/app_state.h"
#include "shell/session.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

// The commands of the tool. Each one is a few calls into the logic libraries.
namespace kv::cli {

struct Invocation;
using Handler = Exit (*)(Invocation&);

struct CommandEntry {
    std::string_view group;    // "album", "picture", "media", "printer", "render", "print"
    std::string_view name;     // empty for a command of one word
    std::string_view synopsis; // without the tool's options
    std::string_view description;
    int minOperands = 0;
    int maxOperands = 0; // -1: any number
    std::span<const std::string_view> flags;
    Handler run = nullptr;
    std::span<const std::string_view> options = {}; // options that take a value
};

// Every command, in the order the help lists them.
std::span<const CommandEntry> commandTable();

// One command being run: its words, and where it writes.
struct Invocation {
    const CommandEntry& entry;
    CommandArguments arguments;
    std::ostream& out;
    std::ostream& err;
    ConsoleUi& ui;
    std::filesystem::path executableDir;

    const std::string& operand(std::size_t i) const { return arguments.operands[i]; }
    std::size_t operandCount() const { return arguments.operands.size(); }
    bool flag(std::string_view name) const;
    // The value of an option given last; nullptr when it was not given.
    const std::string* option(std::string_view name) const;
    // "kvphoto-cli: <what>", the command's usage line; Exit::Usage.
    Exit usageError(std::string_view what) const;
    // "kvphoto-cli: <what>"; Exit::Stopped.
    Exit stop(std::string_view what) const;
    // Operand i as a number up to `max`; nullopt after telling the usage error.
    std::optional<std::uint32_t> number(std::size_t i, std::uint32_t max) const;
};

using platform::ScratchFolder;

// What the windowed program does first when its main window is created: the
// program directory with its shipped data, and the album list (album.dat is made
// at the first start). Each command starts so; the printer and media commands go
// on with the later creation steps through session.
class Program {
  public:
    explicit Program(const Invocation& invocation);
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // False (told) when the album list cannot be read or made.
    bool open();
    // open(), then the picture settings and the media calibration, as the window
    // loads them before it renders or prints a sheet.
    bool openForSheets();

    albums::AlbumStore& store() { return *session.albumStore(); }
    // The album of that name (exactly, else without regard to case) loaded as the
    // current album; false (told) when there is none.
    bool loadAlbum(std::string_view name);
    // The index of an album by name as loadAlbum finds it.
    std::optional<int> findAlbum(std::string_view name) const;

    shell::AppState state;
    shell::Session session;

  private:
    const Invocation& m_invocation;
};

Exit albumList(Invocation& inv);
Exit albumAdd(Invocation& inv);
Exit albumRename(Invocation& inv);
Exit albumDelete(Invocation& inv);
Exit albumShow(Invocation& inv);

Exit pictureAdd(Invocation& inv);
Exit pictureDelete(Invocation& inv);
Exit pictureRotate(Invocation& inv);
Exit pictureCopy(Invocation& inv);
Exit pictureMove(Invocation& inv);
Exit pictureSave(Invocation& inv);

Exit mediaId(Invocation& inv);
Exit mediaGamma(Invocation& inv);
Exit mediaRankTable(Invocation& inv);

Exit printerFind(Invocation& inv);
Exit printerReset(Invocation& inv);
Exit printerState(Invocation& inv);
Exit printerRead(Invocation& inv);
Exit printerReadStored(Invocation& inv);
Exit printerWrite(Invocation& inv);
Exit printerUploadLed(Invocation& inv);

Exit render(Invocation& inv);
Exit print(Invocation& inv);

} // namespace kv::cli
