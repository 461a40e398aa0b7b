#include "platform/paths.h"

#include "platform/ascii.h"
#include "platform/atomic_file.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace kv::platform {

namespace fs = std::filesystem;

namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

fs::path homeDirectory() {
    if (std::string home = env("HOME"); !home.empty())
        return home;
    // A service started without HOME still has an entry in the user database.
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir)
        return pw->pw_dir;
    return fs::temp_directory_path();
}

// $XDG_xxx_HOME when it is set to an absolute path, else ~/<fallback>.
fs::path xdgBase(const char* variable, const char* fallback) {
    const fs::path value = env(variable);
    if (value.is_absolute())
        return value;
    return homeDirectory() / fallback;
}

fs::path withSeparator(fs::path p) {
    if (p.has_filename())
        p /= "";
    return p;
}

// The override from `variable`, or `fallback`; created when missing. A folder that
// cannot be created is still returned: the first file access then reports it.
fs::path folder(const char* variable, const fs::path& fallback) {
    const std::string overridden = env(variable);
    fs::path p = withSeparator(overridden.empty() ? fallback : fs::path(overridden));
    std::error_code ec;
    fs::create_directories(p, ec);
    return p;
}

bool entryExists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(p, ec));
}

} // namespace

fs::path programDirectory() {
    return folder("KVPR_HOME", xdgBase("XDG_DATA_HOME", ".local/share") / "kvphoto");
}

fs::path driveC() {
    return folder("KVPR_DRIVE_C", xdgBase("XDG_CACHE_HOME", ".cache") / "kvphoto/c");
}

fs::path systemDirectory() {
    return folder("KVPR_SYSTEM_DIR", xdgBase("XDG_CONFIG_HOME", ".config") / "kvphoto/system");
}

void setProgramDirectory(const fs::path& dir) {
    ::setenv("KVPR_HOME", dir.c_str(), 1);
}

fs::path executableDirectory() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : self.parent_path();
}

fs::path tempDirectory() {
    return driveC() / "kvtemp/";
}

fs::path findNoCase(const fs::path& dir, const std::string& name) {
    const fs::path exact = dir / name;
    if (name.empty() || entryExists(exact))
        return exact;
    // Several spellings may exist side by side; take the first in byte order so the
    // choice does not depend on the order the directory lists them.
    std::string best;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string candidate = it->path().filename().string();
        if (equalsNoCase(candidate, name) && (best.empty() || candidate < best))
            best = candidate;
    }
    return best.empty() ? exact : dir / best;
}

std::optional<std::uint64_t> freeSpace(const fs::path& path) {
    std::error_code ec;
    const fs::space_info info = fs::space(path, ec);
    if (ec || info.available == static_cast<std::uintmax_t>(-1))
        return std::nullopt;
    return static_cast<std::uint64_t>(info.available);
}

void installShippedData(const fs::path& shippedDir, const fs::path& programDir) {
    fs::path base = shippedDir;
    if (!base.has_filename())
        base = base.parent_path(); // "data/" -> "data", so relative paths come out clean
    std::error_code ec;
    fs::recursive_directory_iterator it(base, ec);
    for (fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError))
            continue;
        // The user's copy counts whatever its case ("KVX00.INI" for "kvx00.ini"):
        // a second spelling beside it would hide the user's own settings.
        fs::path target = programDir;
        const fs::path relative = it->path().lexically_relative(base);
        for (const fs::path& part : relative)
            target = findNoCase(target, part.string());
        // The help is the program's, not the user's: an upgrade brings its new text.
        // The copy carries the shipped file's time, so "differs" means "another version".
        const bool isHelp = equalsNoCase(relative.begin()->string(), "help");
        std::error_code timeError;
        const fs::file_time_type shippedTime = fs::last_write_time(it->path(), timeError);
        if (entryExists(target)) {
            std::error_code targetError;
            if (!isHelp || timeError ||
                !fs::is_regular_file(fs::symlink_status(target, targetError)))
                continue;
            const fs::file_time_type copyTime = fs::last_write_time(target, targetError);
            if (targetError || copyTime == shippedTime)
                continue;
        }
        std::string bytes;
        std::error_code dirError;
        fs::create_directories(target.parent_path(), dirError);
        // Written atomically, so an interrupted first start leaves no half file that
        // later starts would keep forever.
        if (readFile(it->path(), bytes) && writeFileAtomic(target, bytes) && !timeError) {
            std::error_code stampError;
            fs::last_write_time(target, shippedTime, stampError);
        }
    }
}

} // namespace kv::platform
