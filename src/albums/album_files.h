#pragma once

#include "platform/bitmap.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The three album file formats, as pure functions over bytes: no file access, so
// the readers can be fed anything (fuzzing, damaged files) and never touch disk.
namespace kv::albums {

// Readers keep one buffer of this size for a record's pixels; a record that needs
// more cannot be a thumbnail of at most 100 x 75 pixels.
inline constexpr std::size_t kMaxThumbnailBytes = 24000;
inline constexpr std::size_t kRecordHeaderBytes = 12; // width, height, rotation

// album.dat: "%d" count, then one name per line, CR LF line ends.
struct AlbumList {
    std::vector<std::string> names;
    bool damaged = false; // count wrong, names missing or unusable as file names
};
AlbumList parseAlbumList(std::string_view bytes);
std::string formatAlbumList(const std::vector<std::string>& names);

// "<album>.dat": "%2d" count, then full path and display name per picture.
struct NameEntry {
    std::string fullPath;
    std::string displayName;
};
struct NameFile {
    std::vector<NameEntry> entries; // only complete entries, at most 99
    bool damaged = false;
};
NameFile parseNameFile(std::string_view bytes);
std::string formatNameFile(const std::vector<NameEntry>& entries);

// "<album>.dat1": one record per picture, little-endian int32 width, height,
// rotation, then height * stride bytes of bottom-up BGR pixels.
struct ThumbnailRecord {
    int width = 0;
    int height = 0;
    int rotation = 0;
    std::string_view pixels; // height * stride bytes inside the parsed buffer
};
struct DataFile {
    std::vector<ThumbnailRecord> records; // the sound records before the first bad one
    bool damaged = false;
};
DataFile parseDataFile(std::string_view bytes);

// An album as its name file and data file give it together: every name entry, each
// with its record (0 x 0, rotation 0 where no record can be tied to it).
struct AlbumEntry {
    NameEntry name;
    ThumbnailRecord record;
};
struct AlbumFiles {
    std::vector<AlbumEntry> entries;
    bool damaged = false; // a file damaged, or the two out of step
};
// Records carry no mark of their picture, so they pair with names by position only
// while the files are in step. Whole files with more or fewer records than names
// are out of step: every name is kept and no record is used. A data file that
// breaks off inside (a cut-short append) keeps the records before the break for
// the first names, when it has no more of them than there are names.
AlbumFiles pairAlbumFiles(std::string_view nameBytes, std::string_view dataBytes);

// Appends the record of `thumbnail` (as stored: already turned by `rotation`). A
// thumbnail that is empty or not a well-formed bitmap within the size bound is
// written as a 0 x 0 record, so the file stays readable and in step with the names.
void appendRecord(std::string& out, const platform::Bitmap24& thumbnail, int rotation);
// Appends a parsed record exactly as it was stored.
void appendRecord(std::string& out, const ThumbnailRecord& record);
platform::Bitmap24 recordThumbnail(const ThumbnailRecord& record);

// A name that can stand before ".dat" in the program directory without reaching
// outside it: not empty, not "." or "..", no separator and no control character.
bool isSafeFileStem(std::string_view name);

enum class NameProblem { None, Empty, TooLong, BadCharacter };
// The stricter test for a name the user types for a new or renamed album: album
// folders stay usable on Windows file systems as well.
NameProblem checkAlbumName(std::string_view name);

// Paths and display names must fit the name file's lines.
enum class PathProblem { None, TooLong, LineBreak };
PathProblem checkPictureText(std::string_view text);

} // namespace kv::albums
