#include "platform/private_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::platform {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMsgNotOwn =
    "Der Ordner %s gehört nicht Ihnen; aus Sicherheitsgründen wird er nicht benutzt.";
constexpr std::string_view kMsgOthersWrite =
    "In den Ordner %s dürfen auch andere Benutzer schreiben; aus Sicherheitsgründen wird er "
    "nicht benutzt.";
constexpr std::string_view kMsgNotFolder = "%s ist kein Ordner und wird nicht benutzt.";
constexpr std::string_view kMsgCannotMake = "Der Ordner %s kann nicht angelegt werden: %s";
constexpr std::string_view kMsgNoHome =
    "Weder XDG_RUNTIME_DIR noch HOME ist gesetzt: kein eigener Ordner für die Laufzeitdateien.";

std::string told(std::string_view text, const fs::path& folder, const char* detail = nullptr) {
    std::string message(text);
    message.replace(message.find("%s"), 2, folder.string());
    if (detail)
        message.replace(message.find("%s"), 2, detail);
    return message;
}

// The rule for a folder we rely on (and for the one holding it, which could swap it).
std::optional<std::string> unfit(const fs::path& folder) {
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0)
        return told(kMsgCannotMake, folder, std::strerror(errno));
    if (!S_ISDIR(st.st_mode))
        return told(kMsgNotFolder, folder);
    if (st.st_uid != ::geteuid())
        return told(kMsgNotOwn, folder);
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return told(kMsgOthersWrite, folder);
    return std::nullopt;
}

std::string cacheHome() {
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache)
        return cache;
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.cache";
    if (const passwd* user = ::getpwuid(::geteuid()); user && user->pw_dir && *user->pw_dir)
        return std::string(user->pw_dir) + "/.cache";
    return {};
}

} // namespace

std::optional<std::string> checkPrivateFolder(const fs::path& folder) {
    // mkdir, not create_directories: the mode must hold from the first moment.
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return told(kMsgCannotMake, folder, std::strerror(errno));
    return unfit(folder);
}

PrivateFolder privateFolder(std::string_view runtimeName, const fs::path& cacheName) {
    PrivateFolder result;
    fs::path base;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        base = runtime;
        result.path = base / runtimeName;
    } else {
        const std::string cache = cacheHome();
        if (cache.empty()) {
            result.problem = kMsgNoHome;
            return result;
        }
        result.path = fs::path(cache) / cacheName;
        base = result.path.parent_path();
        std::error_code ec;
        fs::create_directories(base, ec);
    }
    if (auto problem = unfit(base))
        result.problem = *problem;
    else if (auto own = checkPrivateFolder(result.path))
        result.problem = *own;
    return result;
}

} // namespace kv::platform
