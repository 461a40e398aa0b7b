#include "platform/profile.h"

#include "platform/ascii.h"
#include "platform/atomic_file.h"
#include "platform/numbers.h"

namespace kv::platform {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view trim(std::string_view s) {
    const std::size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

struct Line {
    enum class Kind { Other, Section, Key };
    std::string_view text; // without its line end
    Kind kind = Kind::Other;
    std::string_view name; // section or key name, trimmed
    std::string_view value;
};

Line classify(std::string_view text) {
    Line line;
    line.text = text;
    const std::string_view t = trim(text);
    if (t.empty() || t.front() == ';')
        return line;
    if (t.front() == '[') {
        // "[Name]" with blanks tolerated inside the brackets; anything after the
        // first "]" is ignored. A "[" without "]" is no header.
        if (const std::size_t close = t.find(']'); close != std::string_view::npos) {
            line.kind = Line::Kind::Section;
            line.name = trim(t.substr(1, close - 1));
        }
        return line;
    }
    // The first "=" separates key and value; later ones belong to the value.
    if (const std::size_t eq = t.find('='); eq != std::string_view::npos) {
        line.kind = Line::Kind::Key;
        line.name = trim(t.substr(0, eq));
        line.value = trim(t.substr(eq + 1));
    }
    return line;
}

// Removes a UTF-8 byte order mark so that the first header is seen.
bool stripBom(std::string_view& text) {
    if (text.substr(0, kBom.size()) != kBom)
        return false;
    text.remove_prefix(kBom.size());
    return true;
}

// Walks the lines one at a time, so a huge file costs no memory per line. Stops
// when `visit` returns false.
template <typename Visit> void forEachLine(std::string_view text, Visit visit) {
    for (std::size_t index = 0; !text.empty(); ++index) {
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!visit(classify(line), index) || nl == std::string_view::npos)
            return;
        text.remove_prefix(nl + 1);
    }
}

// Where an entry is or goes: the first section of the name (duplicates after it
// are left alone), the first line of the key in it, else the line after which a
// new key line goes.
struct Place {
    bool sectionFound = false;
    std::optional<std::size_t> keyLine;
    std::size_t insertAfter = 0;
};

Place findPlace(std::string_view text, std::string_view section, std::string_view key) {
    Place place;
    forEachLine(text, [&](const Line& line, std::size_t index) {
        if (line.kind == Line::Kind::Section) {
            if (place.sectionFound)
                return false; // the section ended without the key
            if (equalsNoCase(line.name, section)) {
                place.sectionFound = true;
                place.insertAfter = index;
            }
        } else if (line.kind == Line::Kind::Key && place.sectionFound) {
            if (equalsNoCase(line.name, key)) {
                place.keyLine = index;
                return false;
            }
            // After the section's last key, so blank lines and comments that lead
            // into the next section stay in front of it.
            place.insertAfter = index;
        }
        return true;
    });
    return place;
}

bool hasAny(std::string_view s, std::string_view chars) {
    return s.find_first_of(chars) != std::string_view::npos;
}

const std::string_view kLineBreakers("\r\n\0", 3);

} // namespace

bool Profile::canWrite(std::string_view section, std::string_view key, std::string_view value) {
    section = trim(section);
    key = trim(key);
    if (section.empty() || hasAny(section, kLineBreakers) || hasAny(section, "]"))
        return false;
    if (key.empty() || hasAny(key, kLineBreakers) || hasAny(key, "=") || key.front() == ';' ||
        key.front() == '[')
        return false;
    return !hasAny(value, kLineBreakers);
}

std::optional<std::string> Profile::lookup(std::string_view text, std::string_view section,
                                           std::string_view key) {
    stripBom(text);
    std::optional<std::string_view> found;
    bool inSection = false;
    section = trim(section);
    key = trim(key);
    forEachLine(text, [&](const Line& line, std::size_t) {
        if (line.kind == Line::Kind::Section) {
            if (inSection)
                return false;
            inSection = equalsNoCase(line.name, section);
        } else if (line.kind == Line::Kind::Key && inSection && equalsNoCase(line.name, key)) {
            found = line.value;
            return false;
        }
        return true;
    });
    if (!found)
        return std::nullopt;
    std::string_view value = *found;
    // One pair of surrounding double quotes is not part of the value.
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

std::string Profile::update(std::string_view text, std::string_view section, std::string_view key,
                            std::string_view value) {
    if (!canWrite(section, key, value))
        return std::string(text);
    section = trim(section);
    key = trim(key);
    const bool bom = stripBom(text);
    const Place place = findPlace(text, section, key);

    // The key is written as the caller spells it, also over a line spelt otherwise.
    std::string entry;
    entry.reserve(key.size() + value.size() + 1);
    entry.append(key).append("=").append(value);

    std::string out;
    out.reserve(text.size() + text.size() / 8 + entry.size() + section.size() + 12);
    if (bom)
        out.append(kBom);
    bool lastLineBlank = true; // an empty file needs no blank line before a section
    forEachLine(text, [&](const Line& line, std::size_t index) {
        const bool replaced = place.keyLine == index;
        out.append(replaced ? std::string_view(entry) : line.text).append("\r\n");
        if (place.sectionFound && !place.keyLine && index == place.insertAfter)
            out.append(entry).append("\r\n");
        lastLineBlank = trim(line.text).empty();
        return true;
    });
    if (!place.sectionFound) {
        // A new section at the end, set off from the text before it by a blank line.
        if (!lastLineBlank)
            out.append("\r\n");
        out.append("[").append(section).append("]\r\n").append(entry).append("\r\n");
    }
    return out;
}

std::string Profile::readString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    std::string text;
    if (readFile(m_path, text))
        if (auto value = lookup(text, section, key))
            return std::move(*value);
    return std::string(defaultValue);
}

int Profile::readInt(std::string_view section, std::string_view key, int defaultValue) const {
    std::string text;
    std::optional<std::string> value;
    if (readFile(m_path, text))
        value = lookup(text, section, key);
    if (!value || value->empty())
        return defaultValue;
    // As the Windows call does, a value that does not start with a number reads as
    // 0. Only a number too large for an int gives the default instead of garbage.
    if (const auto number = parseInt(*value))
        return *number;
    std::string_view rest = *value;
    if (!rest.empty() && (rest.front() == '+' || rest.front() == '-'))
        rest.remove_prefix(1);
    const bool hasDigit = !rest.empty() && rest.front() >= '0' && rest.front() <= '9';
    return hasDigit ? defaultValue : 0;
}

bool Profile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    const ProfileEntry entry{section, key, std::string(value)};
    return writeEntries({&entry, 1});
}

bool Profile::writeEntries(std::span<const ProfileEntry> entries) {
    std::string text;
    std::error_code ec;
    if (std::filesystem::exists(m_path, ec)) {
        // Never replace a file that exists but cannot be read: its settings would be lost.
        if (!readFile(m_path, text))
            return false;
    } else if (ec) {
        return false;
    }
    for (const ProfileEntry& e : entries) {
        if (!canWrite(e.section, e.key, e.value))
            return false;
        text = update(text, e.section, e.key, e.value);
    }
    return writeFileAtomic(m_path, text);
}

bool writeEntriesMirrored(const std::filesystem::path& file, const std::filesystem::path& mirror,
                          std::span<const ProfileEntry> entries) {
    // Whether the mirror exists is decided before anything is written.
    std::error_code ec;
    const bool mirrored = !mirror.empty() && std::filesystem::is_regular_file(mirror, ec);
    if (!Profile(file).writeEntries(entries))
        return false;
    if (mirrored)
        Profile(mirror).writeEntries(entries);
    return true;
}

} // namespace kv::platform
