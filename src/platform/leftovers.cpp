#include "platform/leftovers.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <optional>
#include <signal.h>
#include <string_view>
#include <unistd.h>

namespace kv::platform {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTempMark = ".tmp-";
constexpr std::string_view kScratchPrefix = "kvcli-";
constexpr auto kOldEnough = std::chrono::hours(24);

bool isAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool allDigits(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

std::optional<long> parsePid(std::string_view s) {
    long pid = 0;
    if (!allDigits(s) || s.size() > 9)
        return std::nullopt;
    std::from_chars(s.data(), s.data() + s.size(), pid);
    return pid > 0 ? std::optional<long>(pid) : std::nullopt;
}

bool processAlive(long pid) {
    // EPERM: it exists, it is only someone else's.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

enum class Kind { NotOurs, Owned, Legacy };
struct Leftover {
    Kind kind = Kind::NotOurs;
    long pid = 0;
};

// ".NAME.tmp-PID-XXXXXX" or, from earlier versions, ".NAME.tmp-XXXXXX".
Leftover tempFile(std::string_view name) {
    const std::size_t mark = name.rfind(kTempMark);
    if (name.size() < 2 || name.front() != '.' || mark == std::string_view::npos || mark < 2)
        return {};
    const std::string_view tail = name.substr(mark + kTempMark.size());
    const std::size_t dash = tail.find('-');
    const std::string_view suffix = dash == std::string_view::npos ? tail : tail.substr(dash + 1);
    if (suffix.size() != 6 || !std::all_of(suffix.begin(), suffix.end(), isAlnum))
        return {};
    if (dash == std::string_view::npos)
        return {Kind::Legacy, 0};
    const std::optional<long> pid = parsePid(tail.substr(0, dash));
    return pid ? Leftover{Kind::Owned, *pid} : Leftover{};
}

// "kvcli-PID-N" or, from earlier versions, "kvcli-N".
Leftover scratchFolder(std::string_view name) {
    if (name.substr(0, kScratchPrefix.size()) != kScratchPrefix)
        return {};
    const std::string_view tail = name.substr(kScratchPrefix.size());
    const std::size_t dash = tail.find('-');
    if (dash == std::string_view::npos)
        return allDigits(tail) ? Leftover{Kind::Legacy, 0} : Leftover{};
    const std::optional<long> pid = parsePid(tail.substr(0, dash));
    return pid && allDigits(tail.substr(dash + 1)) ? Leftover{Kind::Owned, *pid} : Leftover{};
}

bool stale(const Leftover& leftover, const fs::directory_entry& entry) {
    switch (leftover.kind) {
    case Kind::NotOurs:
        return false;
    case Kind::Owned:
        return leftover.pid != ::getpid() && !processAlive(leftover.pid);
    case Kind::Legacy:
        break;
    }
    std::error_code ec;
    const auto written = entry.last_write_time(ec);
    return !ec && fs::file_time_type::clock::now() - written > kOldEnough;
}

} // namespace

std::string ownerTag() {
    return std::to_string(::getpid());
}

namespace {

// Removes the stale leftovers in `folder` (not below it) whose names `wanted` takes.
template <typename Wanted> int removeStale(const fs::path& folder, Wanted wanted) {
    int removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        const std::string name = entry.path().filename().string();
        std::error_code kindError;
        // Symbolic links are never followed, so nothing outside the folder goes.
        if (!wanted(name) || entry.is_symlink(kindError))
            continue;
        if (entry.is_regular_file(kindError) && stale(tempFile(name), entry)) {
            std::error_code gone;
            removed += fs::remove(entry.path(), gone) ? 1 : 0;
        } else if (entry.is_directory(kindError) && stale(scratchFolder(name), entry)) {
            std::error_code gone;
            removed += fs::remove_all(entry.path(), gone) > 0 ? 1 : 0;
        }
    }
    return removed;
}

} // namespace

int removeStaleLeftovers(const fs::path& folder) {
    return removeStale(folder, [](const std::string&) { return true; });
}

void removeStaleTemporaries(const fs::path& file) {
    const std::string prefix = "." + file.filename().string() + std::string(kTempMark);
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    removeStale(folder, [&prefix](const std::string& name) { return name.starts_with(prefix); });
}

} // namespace kv::platform
