#include "albums/album_files.h"

#include "albums/album_state.h"
#include "platform/numbers.h"

#include <algorithm>
#include <cstdint>

namespace kv::albums {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool isBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), isSpace);
}

bool isControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
}

// Lines as the text-mode reader sees them: a final "\n" (and the "\r" before it)
// is cut; a last line without a line end still counts.
class LineReader {
  public:
    LineReader(std::string_view text, std::size_t pos) : m_text(text), m_pos(pos) {}

    bool next(std::string_view& line) {
        if (m_pos >= m_text.size())
            return false;
        const std::size_t end = m_text.find('\n', m_pos);
        const std::size_t stop = end == std::string_view::npos ? m_text.size() : end;
        line = m_text.substr(m_pos, stop - m_pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        m_pos = end == std::string_view::npos ? m_text.size() : end + 1;
        return true;
    }

  private:
    std::string_view m_text;
    std::size_t m_pos;
};

std::int32_t readInt32(std::string_view bytes, std::size_t pos) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[pos + static_cast<std::size_t>(i)]);
    return static_cast<std::int32_t>(v);
}

void appendInt32(std::string& out, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

std::uint64_t pixelBytes(std::int64_t width, std::int64_t height) {
    return static_cast<std::uint64_t>(height) * static_cast<std::uint64_t>((width * 3 + 3) & ~3LL);
}

} // namespace

AlbumList parseAlbumList(std::string_view bytes) {
    AlbumList list;
    std::size_t consumed = 0;
    const std::optional<int> count = platform::parseInt(bytes, &consumed);
    if (!count) {
        list.damaged = true;
        return list;
    }
    const bool countSound = *count >= 1 && *count <= kMaxAlbums;
    if (!countSound)
        list.damaged = true;
    const int wanted = countSound ? *count : kMaxAlbums;

    std::size_t pos = consumed;
    while (pos < bytes.size() && isSpace(bytes[pos]))
        ++pos;
    LineReader lines(bytes, pos);
    std::string_view line;
    int read = 0;
    while (read < wanted && lines.next(line)) {
        ++read;
        // White space before the first name is skipped, also when an unusable
        // line stood before it.
        if (list.names.empty())
            while (!line.empty() && isSpace(line.front()))
                line.remove_prefix(1);
        if (!isBlank(line) && isSafeFileStem(line))
            list.names.emplace_back(line);
        else
            list.damaged = true;
    }
    if (read < wanted && countSound)
        list.damaged = true;
    return list;
}

std::string formatAlbumList(const std::vector<std::string>& names) {
    std::string out = std::to_string(names.size()) + "\r\n";
    for (const std::string& name : names)
        out += name + "\r\n";
    return out;
}

NameFile parseNameFile(std::string_view bytes) {
    NameFile file;
    if (isBlank(bytes))
        return file;
    std::size_t consumed = 0;
    const std::optional<int> count = platform::parseInt(bytes, &consumed);
    if (!count || *count < 0 || *count > kMaxPictures)
        file.damaged = true;
    const int wanted = count ? std::clamp(*count, 0, kMaxPictures) : 0;

    // The rest of the count line belongs to the count.
    const std::size_t lineEnd = bytes.find('\n', consumed);
    LineReader lines(bytes, lineEnd == std::string_view::npos ? bytes.size() : lineEnd + 1);
    std::string_view path;
    std::string_view name;
    for (int i = 0; i < wanted; ++i) {
        if (!lines.next(path) || !lines.next(name)) {
            file.damaged = true;
            break;
        }
        file.entries.push_back({std::string(path), std::string(name)});
    }
    return file;
}

std::string formatNameFile(const std::vector<NameEntry>& entries) {
    std::string out = platform::formatC("%2d\r\n", static_cast<int>(entries.size()));
    for (const NameEntry& e : entries)
        out += e.fullPath + "\r\n" + e.displayName + "\r\n";
    return out;
}

DataFile parseDataFile(std::string_view bytes) {
    DataFile file;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        if (bytes.size() - pos < kRecordHeaderBytes) {
            file.damaged = true;
            break;
        }
        const std::int32_t width = readInt32(bytes, pos);
        const std::int32_t height = readInt32(bytes, pos + 4);
        const std::int32_t rotation = readInt32(bytes, pos + 8);
        // 0 x 0 is the record of a picture whose thumbnail was lost; any other
        // shape must be a real bitmap within the reader's buffer.
        const bool shapeSound = width >= 0 && height >= 0 && (width == 0) == (height == 0);
        if (!shapeSound || rotation < 0 || rotation > 3 ||
            pixelBytes(width, height) > kMaxThumbnailBytes) {
            file.damaged = true;
            break;
        }
        const std::size_t size = static_cast<std::size_t>(pixelBytes(width, height));
        if (bytes.size() - pos - kRecordHeaderBytes < size) {
            file.damaged = true;
            break;
        }
        file.records.push_back(
            {width, height, rotation, bytes.substr(pos + kRecordHeaderBytes, size)});
        pos += kRecordHeaderBytes + size;
    }
    return file;
}

AlbumFiles pairAlbumFiles(std::string_view nameBytes, std::string_view dataBytes) {
    NameFile names = parseNameFile(nameBytes);
    const DataFile data = parseDataFile(dataBytes);
    const std::size_t count = names.entries.size();
    const bool inStep = data.damaged ? data.records.size() <= count : data.records.size() == count;

    AlbumFiles album;
    album.damaged = names.damaged || data.damaged || data.records.size() != count;
    album.entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        AlbumEntry& entry = album.entries.emplace_back();
        entry.name = std::move(names.entries[i]);
        if (inStep && i < data.records.size())
            entry.record = data.records[i];
    }
    return album;
}

void appendRecord(std::string& out, const platform::Bitmap24& thumbnail, int rotation) {
    const int turns = ((rotation % 4) + 4) % 4;
    const std::uint64_t size =
        thumbnail.empty() ? 0 : pixelBytes(thumbnail.width, thumbnail.height);
    const bool sound =
        !thumbnail.empty() && size <= kMaxThumbnailBytes && thumbnail.pixels.size() >= size;
    appendInt32(out, sound ? thumbnail.width : 0);
    appendInt32(out, sound ? thumbnail.height : 0);
    appendInt32(out, turns);
    if (sound)
        out.append(reinterpret_cast<const char*>(thumbnail.pixels.data()),
                   static_cast<std::size_t>(size));
}

void appendRecord(std::string& out, const ThumbnailRecord& record) {
    appendInt32(out, record.width);
    appendInt32(out, record.height);
    appendInt32(out, record.rotation);
    out.append(record.pixels);
}

platform::Bitmap24 recordThumbnail(const ThumbnailRecord& record) {
    platform::Bitmap24 bitmap;
    bitmap.width = record.width;
    bitmap.height = record.height;
    // One block copy, no zero fill first: an album opens with up to 99 of these.
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(record.pixels.data());
    bitmap.pixels.assign(bytes, bytes + record.pixels.size());
    return bitmap;
}

bool isSafeFileStem(std::string_view name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    return std::none_of(name.begin(), name.end(),
                        [](char c) { return c == '/' || c == '\\' || isControl(c); });
}

NameProblem checkAlbumName(std::string_view name) {
    if (isBlank(name))
        return NameProblem::Empty;
    constexpr std::string_view kForbidden = "<>:\"/\\|?*";
    const bool onlyDots = name.find_first_not_of('.') == std::string_view::npos;
    const bool badChar = std::any_of(name.begin(), name.end(), [&](char c) {
        return isControl(c) || kForbidden.find(c) != std::string_view::npos;
    });
    if (onlyDots || badChar)
        return NameProblem::BadCharacter;
    if (name.size() > static_cast<std::size_t>(kMaxAlbumNameBytes))
        return NameProblem::TooLong;
    return NameProblem::None;
}

PathProblem checkPictureText(std::string_view text) {
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        return PathProblem::LineBreak;
    if (text.size() > static_cast<std::size_t>(kMaxPathBytes))
        return PathProblem::TooLong;
    return PathProblem::None;
}

} // namespace kv::albums
