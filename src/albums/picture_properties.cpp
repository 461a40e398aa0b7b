#include "albums/picture_properties.h"

#include "albums/album_window_texts.h"
#include "platform/numbers.h"

#include <chrono>
#include <fstream>

namespace kv::albums {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxShownPath = 49;
constexpr std::size_t kShortenedPath = 47;

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

std::string shortenedPath(std::string_view path) {
    if (path.size() <= kMaxShownPath)
        return std::string(path);
    std::size_t cut = kShortenedPath;
    while (cut > 0 && isContinuationByte(path[cut]))
        --cut;
    return std::string(path.substr(0, cut)) + "...";
}

PictureProperties formatProperties(std::string_view fullPath,
                                   const std::optional<FileFacts>& facts) {
    PictureProperties out;
    out.path = shortenedPath(fullPath);
    out.status = std::string(facts ? text::kFileOpened : text::kFileMissing);
    out.size = std::string(text::kNoValue);
    out.date = std::string(text::kNoValue);
    if (!facts)
        return out;
    if (facts->size)
        out.size = platform::formatC(text::kSizeFormat, static_cast<long>(*facts->size));
    if (facts->modified) {
        const std::tm& t = *facts->modified;
        out.date = platform::formatC(text::kDateFormat, t.tm_mday, t.tm_mon + 1, t.tm_year + 1900,
                                     t.tm_hour, t.tm_min, t.tm_sec);
    }
    return out;
}

std::optional<FileFacts> readFileFacts(const fs::path& file) {
    std::error_code ec;
    // A folder opens as a stream on Linux but is no picture file.
    if (file.empty() || !fs::is_regular_file(file, ec))
        return std::nullopt;
    if (!std::ifstream(file, std::ios::binary).is_open())
        return std::nullopt;

    FileFacts facts;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (!ec)
        facts.size = size;
    const fs::file_time_type written = fs::last_write_time(file, ec);
    if (!ec) {
        const std::time_t seconds = std::chrono::system_clock::to_time_t(
            std::chrono::time_point_cast<std::chrono::system_clock::duration>(
                std::chrono::file_clock::to_sys(written)));
        // One user-interface thread: the shared buffer of localtime is safe here.
        if (const std::tm* local = std::localtime(&seconds))
            facts.modified = *local;
    }
    return facts;
}

} // namespace kv::albums
