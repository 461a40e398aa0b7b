#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace kv::platform {

// Where the program keeps its files. Each folder is created on first use.
//  - program directory: KVPR_HOME, else $XDG_DATA_HOME/kvphoto/ (~/.local/share/kvphoto/)
//  - drive C: KVPR_DRIVE_C, else ~/.cache/kvphoto/c/
//  - system folder: KVPR_SYSTEM_DIR, else ~/.config/kvphoto/system/
// Returned paths always end with a separator.
std::filesystem::path programDirectory();
std::filesystem::path driveC();
std::filesystem::path systemDirectory();

// Points the program directory at `dir` for the rest of the run, as KVPR_HOME does
// (a command line option of the tools).
void setProgramDirectory(const std::filesystem::path& dir);

// The folder of the running program file; empty when the system does not say.
std::filesystem::path executableDirectory();

// The temporary directory "kvtemp/" on drive C:. Not created here: start-up
// prepares it and the end of the run removes it.
std::filesystem::path tempDirectory();

// Finds an existing entry of `dir` whose name equals `name` without regard to
// ASCII case. Returns dir/name with the existing spelling, or dir/name as given
// when there is none (a new file is created with the caller's spelling).
std::filesystem::path findNoCase(const std::filesystem::path& dir, const std::string& name);

// Free bytes on the file system that holds `path`; nullopt when it cannot be read.
std::optional<std::uint64_t> freeSpace(const std::filesystem::path& path);

// Copies shipped data files (calibration defaults, help) from `shippedDir` into
// the program directory where they are missing there, keeping subfolders. Existing
// files stay, also when they are spelt in another case, except the help (folder
// "help"), which is copied again when the shipped file's time is not the copy's.
// Unreadable files are skipped.
void installShippedData(const std::filesystem::path& shippedDir,
                        const std::filesystem::path& programDir);

} // namespace kv::platform
