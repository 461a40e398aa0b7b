#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kv::albums {

// Files beside the albums. No album's files can have these names: the album name
// "ALBUM" is reserved, and album files end in ".dat" or ".dat1".
inline constexpr std::string_view kLockFileName = "album.lock";
inline constexpr std::string_view kJournalFileName = "album.journal";
inline constexpr std::string_view kNewSuffix = ".new";

// Called with a step's name before every change the album store makes to the
// program directory: "write:<file>.new", "write:album.journal", "replace:<file>"
// (its ".new" takes its place), "remove:<file>". Returning false makes the step
// fail as a full disk would. Tests stop or fail changes at each step with it.
using StepHook = std::function<bool(std::string_view step)>;

// One step of a committed change. Each is safe to repeat: a Replace whose ".new" is
// gone was done, a Remove of a missing file was done. No file is both the target of
// a Replace and removed in one change.
struct JournalStep {
    enum class Kind { Replace, Remove };
    Kind kind = Kind::Replace;
    std::string file; // a plain name inside the program directory
    bool operator==(const JournalStep&) const = default;
};

// album.journal: a header line, one "replace<TAB>file" or "remove<TAB>file" line per
// step, and "end". Names cannot hold a tab (album names refuse control characters).
std::string formatJournal(const std::vector<JournalStep>& steps);
// Nothing when the bytes are not a complete journal of plain file names.
std::optional<std::vector<JournalStep>> parseJournal(std::string_view bytes);

// Files rewritten whole and files removed, to be made as one change.
class DirectoryChange {
  public:
    void write(std::string file, std::string bytes) {
        m_writes.emplace_back(std::move(file), std::move(bytes));
    }
    void remove(std::string file) { m_removals.push_back(std::move(file)); }

    const std::vector<std::pair<std::string, std::string>>& writes() const { return m_writes; }
    const std::vector<std::string>& removals() const { return m_removals; }
    std::vector<JournalStep> steps() const;

  private:
    std::vector<std::pair<std::string, std::string>> m_writes;
    std::vector<std::string> m_removals;
};

enum class CommitStatus {
    Done,       // every file is in its new state
    NotWritten, // nothing changed: a new file or the journal could not be written
    Unfinished, // recorded in the journal, but a step failed; the next recovery ends it
};
struct CommitResult {
    CommitStatus status = CommitStatus::Done;
    std::string failedFile; // NotWritten: the file whose new version failed; empty: the journal
};

// Makes changes of several files all-or-nothing for whoever holds the lock of the
// program directory: every new file is written complete as "<file>.new", then the
// journal lists the steps that put them in place, then the steps run and the
// journal goes. A crash before the journal leaves the old files, one after it
// leaves a journal that the next holder of the lock finishes.
class AlbumJournal {
  public:
    AlbumJournal(std::filesystem::path dir, const StepHook& hook)
        : m_dir(std::move(dir)), m_hook(hook) {}

    CommitResult commit(const DirectoryChange& change) const;
    // Finishes the change a journal records, then removes ".new" files no journal
    // names (changes that never got one). False when a journal is left that cannot
    // be finished; nothing may be changed on top of it.
    bool recover() const;

  private:
    bool step(const std::string& name) const;
    bool apply(const std::vector<JournalStep>& steps) const;
    void removeNewFiles(const std::vector<std::string>& files) const;

    std::filesystem::path m_dir;
    const StepHook& m_hook;
};

} // namespace kv::albums
