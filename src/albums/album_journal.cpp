#include "albums/album_journal.h"

#include "albums/album_files.h"
#include "platform/atomic_file.h"

namespace kv::albums {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kHeader = "kvphoto album journal 1";
constexpr std::string_view kReplace = "replace";
constexpr std::string_view kRemove = "remove";
constexpr std::string_view kEnd = "end";

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// Files only a change in progress has: the ".new" files of album.dat and the album
// files, and the temporary file of a journal being written.
bool isChangeFileName(std::string_view name) {
    return endsWith(name, ".dat.new") || endsWith(name, ".dat1.new") ||
           name.starts_with("." + std::string(kJournalFileName) + ".tmp-");
}

bool present(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

} // namespace

std::string formatJournal(const std::vector<JournalStep>& steps) {
    std::string out = std::string(kHeader) + "\n";
    for (const JournalStep& s : steps)
        out += std::string(s.kind == JournalStep::Kind::Replace ? kReplace : kRemove) + "\t" +
               s.file + "\n";
    return out + std::string(kEnd) + "\n";
}

std::optional<std::vector<JournalStep>> parseJournal(std::string_view bytes) {
    std::vector<JournalStep> steps;
    bool first = true;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        if (end == std::string_view::npos)
            return std::nullopt; // cut short
        const std::string_view line = bytes.substr(0, end);
        bytes.remove_prefix(end + 1);
        if (first) {
            if (line != kHeader)
                return std::nullopt;
            first = false;
            continue;
        }
        if (line == kEnd)
            return bytes.empty() ? std::optional(steps) : std::nullopt;
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos)
            return std::nullopt;
        const std::string_view kind = line.substr(0, tab);
        const std::string_view file = line.substr(tab + 1);
        // Only plain names: a damaged journal must not reach outside the folder.
        if ((kind != kReplace && kind != kRemove) || !isSafeFileStem(file))
            return std::nullopt;
        steps.push_back({kind == kReplace ? JournalStep::Kind::Replace : JournalStep::Kind::Remove,
                         std::string(file)});
    }
    return std::nullopt;
}

std::vector<JournalStep> DirectoryChange::steps() const {
    std::vector<JournalStep> steps;
    for (const auto& [file, bytes] : m_writes)
        steps.push_back({JournalStep::Kind::Replace, file});
    for (const std::string& file : m_removals)
        steps.push_back({JournalStep::Kind::Remove, file});
    return steps;
}

bool AlbumJournal::step(const std::string& name) const {
    return !m_hook || m_hook(name);
}

bool AlbumJournal::apply(const std::vector<JournalStep>& steps) const {
    for (const JournalStep& s : steps) {
        const fs::path target = m_dir / s.file;
        std::error_code ec;
        if (s.kind == JournalStep::Kind::Replace) {
            const fs::path source = m_dir / (s.file + std::string(kNewSuffix));
            if (!present(source))
                continue; // done before
            if (!step("replace:" + s.file))
                return false;
            fs::rename(source, target, ec);
        } else {
            if (!present(target))
                continue;
            if (!step("remove:" + s.file))
                return false;
            fs::remove(target, ec);
        }
        if (ec)
            return false;
    }
    platform::syncFolder(m_dir);
    return true;
}

void AlbumJournal::removeNewFiles(const std::vector<std::string>& files) const {
    for (const std::string& file : files) {
        std::error_code ec;
        if (step("remove:" + file))
            fs::remove(m_dir / file, ec);
    }
}

CommitResult AlbumJournal::commit(const DirectoryChange& change) const {
    // A folder in a file's place would stop its rename after the journal is
    // written; found now, the change is refused whole.
    for (const auto& [file, bytes] : change.writes()) {
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(m_dir / file, ec);
        if (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_symlink(status))
            return {CommitStatus::NotWritten, file};
    }

    std::vector<std::string> written;
    for (const auto& [file, bytes] : change.writes()) {
        const std::string newFile = file + std::string(kNewSuffix);
        written.push_back(newFile);
        if (!step("write:" + newFile) ||
            !platform::writeFileFlushed(m_dir / newFile, bytes, m_dir / file)) {
            removeNewFiles(written);
            return {CommitStatus::NotWritten, file};
        }
    }
    const std::vector<JournalStep> steps = change.steps();
    const fs::path journal = m_dir / kJournalFileName;
    if (!step("write:" + std::string(kJournalFileName)) ||
        !platform::writeFileAtomic(journal, formatJournal(steps))) {
        removeNewFiles(written);
        return {CommitStatus::NotWritten, {}};
    }

    // Committed: from here on the change holds, and whoever finds the journal ends it.
    if (!apply(steps))
        return {CommitStatus::Unfinished, {}};
    std::error_code ec;
    if (step("remove:" + std::string(kJournalFileName)))
        fs::remove(journal, ec);
    // A journal left behind is harmless: its steps are all done and repeat as no-ops.
    return {CommitStatus::Done, {}};
}

bool AlbumJournal::recover() const {
    const fs::path journal = m_dir / kJournalFileName;
    if (present(journal)) {
        std::string bytes;
        if (!platform::readFile(journal, bytes))
            return false;
        // A journal that does not parse was not written whole by us; its change is
        // dropped with its ".new" files below.
        if (const std::optional<std::vector<JournalStep>> steps = parseJournal(bytes))
            if (!apply(*steps))
                return false;
        std::error_code ec;
        if (!step("remove:" + std::string(kJournalFileName)) || !fs::remove(journal, ec))
            return false;
    }

    std::vector<std::string> strays;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(m_dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (isChangeFileName(name))
            strays.push_back(name);
    }
    removeNewFiles(strays);
    return true;
}

} // namespace kv::albums
