#include "intake/open_files.h"

#include "intake/intake_messages.h"
#include "intake/open_files_texts.h"
#include "intake/picture_intake.h"
#include "intake/temp_bmp.h"
#include "platform/ascii.h"
#include "platform/imagelib/image_library.h"
#include "platform/numbers.h"
#include "platform/paths.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

namespace kv::intake {

namespace fs = std::filesystem;
using Icon = platform::Ui::Icon;

namespace {

bool globNoCase(std::string_view name, std::string_view pattern) {
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t starAt = std::string_view::npos;
    std::size_t resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || platform::asciiLower(pattern[p]) ==
                                                            platform::asciiLower(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = n;
        } else if (starAt != std::string_view::npos) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::vector<std::string_view> splitPatterns(std::string_view patterns) {
    std::vector<std::string_view> out;
    while (!patterns.empty()) {
        const std::size_t comma = patterns.find(',');
        out.push_back(patterns.substr(0, comma));
        if (comma == std::string_view::npos)
            break;
        patterns.remove_prefix(comma + 1);
    }
    return out;
}

bool hidden(const std::string& name) {
    return name.empty() || name.front() == '.';
}

// Mount points in /proc/self/mounts write blank, tab, newline and backslash as
// three octal digits after a backslash.
std::string unescapeMountField(std::string_view field) {
    const auto octal = [&](std::size_t k) { return field[k] >= '0' && field[k] <= '7'; };
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) &&
            octal(i + 3)) {
            out +=
                char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
            continue;
        }
        out += field[i];
    }
    return out;
}

bool isOneOf(std::string_view value, std::initializer_list<std::string_view> list) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

bool under(std::string_view path, std::string_view folder) {
    return path == folder ||
           (path.starts_with(folder) && path.size() > folder.size() && path[folder.size()] == '/');
}

// File systems the kernel makes up for itself: nobody keeps pictures there.
bool pseudoFileSystem(std::string_view type) {
    return isOneOf(type,
                   {"proc",       "sysfs",   "cgroup",    "cgroup2", "devpts",      "devtmpfs",
                    "securityfs", "debugfs", "tracefs",   "pstore",  "bpf",         "configfs",
                    "fusectl",    "mqueue",  "hugetlbfs", "autofs",  "binfmt_misc", "efivarfs",
                    "rpc_pipefs", "nsfs",    "selinuxfs", "ramfs"});
}

bool systemTree(std::string_view mountPoint) {
    if (under(mountPoint, "/run/media"))
        return false;
    return under(mountPoint, "/proc") || under(mountPoint, "/sys") || under(mountPoint, "/dev") ||
           under(mountPoint, "/run") || under(mountPoint, "/snap");
}

DriveIcon iconFor(std::string_view mountPoint, std::string_view type) {
    if (isOneOf(type, {"iso9660", "udf"}))
        return DriveIcon::CdRom;
    if (isOneOf(type, {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "9p", "sshfs",
                       "fuse.sshfs", "fuse.rclone", "davfs", "fuse.davfs2", "glusterfs",
                       "fuse.glusterfs", "ceph", "fuse.s3fs"}))
        return DriveIcon::Remote;
    if (under(mountPoint, "/media") || under(mountPoint, "/run/media"))
        return DriveIcon::Removable;
    return DriveIcon::Fixed;
}

// The preview's reasons for the image library's codes -1 .. -5; empty for others.
std::string_view previewReason(int code) {
    switch (code) {
    case -1:
        return open_text::kTiffPixelFormat;
    case -2:
        return msg::kTiffCompressed;
    case -3:
        return msg::kNotTiff;
    case -4:
        return msg::kJpegColourSpace;
    case -5:
        return msg::kUnsupportedFormat;
    default:
        return {};
    }
}

// Formats our own readers handle: a file of one of them that fails to load is
// always told with the general load error.
bool ownReaderFormat(const std::string& name) {
    const std::string extension = fs::path(name).extension().string();
    for (std::string_view known : {".bmp", ".pcx", ".gif", ".tga"})
        if (platform::equalsNoCase(extension, known))
            return true;
    return false;
}

// Passes prompts on and notes whether there was one: the conversion tells some of
// its failures itself, and those must not be told twice.
class NoticingUi : public platform::Ui {
  public:
    explicit NoticingUi(platform::Ui& inner) : m_inner(inner) {}
    void message(std::string_view text, Icon icon) override {
        m_told = true;
        m_inner.message(text, icon);
    }
    Answer ask(std::string_view text, Buttons buttons, Icon icon) override {
        m_told = true;
        return m_inner.ask(text, buttons, icon);
    }
    bool told() const { return m_told; }

  protected:
    // The caller holds the wait cursor on the real interface.
    void beginWait() override {}
    void endWait() override {}

  private:
    platform::Ui& m_inner;
    bool m_told = false;
};

int quarterTurns(int count) {
    return ((count % 4) + 4) % 4;
}

} // namespace

bool matchesPattern(std::string_view name, std::string_view pattern) {
    if (pattern == "*.*")
        return true;
    return globNoCase(name, pattern);
}

std::vector<std::string> matchingFiles(const fs::path& folder, std::string_view patterns) {
    const std::vector<std::string_view> list = splitPatterns(patterns);
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (hidden(name) || !it->is_regular_file(typeError))
            continue;
        if (std::any_of(list.begin(), list.end(),
                        [&](std::string_view pattern) { return matchesPattern(name, pattern); }))
            files.push_back(name);
    }
    std::sort(files.begin(), files.end(), platform::lessNoCase);
    return files;
}

std::vector<FolderLine> folderLines(const fs::path& folder) {
    std::vector<FolderLine> lines;
    fs::path walked;
    int level = 0;
    for (const fs::path& part : fs::absolute(folder).lexically_normal()) {
        if (part.empty())
            continue; // the trailing separator
        walked /= part;
        const std::string text = part == part.root_directory() ? std::string("/") : part.string();
        lines.push_back({text, walked, level++, true});
    }

    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(walked, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (!hidden(name) && it->is_directory(typeError))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), platform::lessNoCase);
    for (const std::string& name : names)
        lines.push_back({name, walked / name, level, false});
    return lines;
}

std::vector<Drive> parseMounts(std::string_view mounts) {
    // The last mount on a mount point hides the ones before it.
    std::map<std::string, DriveIcon> byMountPoint;
    std::istringstream in{std::string(mounts)};
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string device;
        std::string mountPointField;
        std::string type;
        if (!(fields >> device >> mountPointField >> type))
            continue;
        const std::string mountPoint = unescapeMountField(mountPointField);
        if (mountPoint.empty() || mountPoint.front() != '/')
            continue;
        if (mountPoint != "/" && (pseudoFileSystem(type) || systemTree(mountPoint)))
            continue;
        byMountPoint[mountPoint] = iconFor(mountPoint, type);
    }
    std::vector<Drive> drives;
    const auto root = byMountPoint.find("/");
    drives.push_back({"/", root == byMountPoint.end() ? DriveIcon::Fixed : root->second});
    std::vector<std::string> others;
    for (const auto& [mountPoint, icon] : byMountPoint)
        if (mountPoint != "/")
            others.push_back(mountPoint);
    std::sort(others.begin(), others.end(), platform::lessNoCase);
    for (const std::string& mountPoint : others)
        drives.push_back({mountPoint, byMountPoint[mountPoint]});
    return drives;
}

std::vector<Drive> mountedDrives() {
    std::ifstream in("/proc/self/mounts");
    std::ostringstream text;
    text << in.rdbuf();
    return parseMounts(text.str());
}

std::size_t driveOf(const std::vector<Drive>& drives, const fs::path& folder) {
    if (drives.empty())
        return std::string::npos;
    const std::string path = fs::absolute(folder).lexically_normal().string();
    std::size_t best = 0;
    std::size_t bestLength = 0;
    for (std::size_t i = 0; i < drives.size(); ++i) {
        const std::string& mountPoint = drives[i].mountPoint;
        const bool holds = mountPoint == "/" || under(path, mountPoint);
        if (holds && mountPoint.size() > bestLength) {
            best = i;
            bestLength = mountPoint.size();
        }
    }
    return best;
}

bool folderReady(const fs::path& folder) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    return !ec;
}

FolderPick changeDrive(const std::vector<Drive>& drives, std::size_t index, platform::Ui& ui) {
    if (index >= drives.size())
        return {"/", driveOf(drives, "/")};
    const fs::path root = drives[index].mountPoint;
    while (!folderReady(root)) {
        if (ui.ask(open_text::kDriveNotReady, platform::Ui::Buttons::OkCancel, Icon::None) !=
            platform::Ui::Answer::Ok)
            return {"/", driveOf(drives, "/")};
    }
    return {root, index};
}

FolderPick openFolder(const std::vector<Drive>& drives, const fs::path& wanted, platform::Ui& ui) {
    const std::size_t drive = driveOf(drives, wanted);
    if (folderReady(wanted))
        return {fs::absolute(wanted).lexically_normal(), drive};
    if (drive < drives.size() && folderReady(drives[drive].mountPoint))
        return {drives[drive].mountPoint, drive};
    return changeDrive(drives, drive, ui);
}

platform::Rect previewPlacement(int pictureWidth, int pictureHeight, int clientWidth,
                                int clientHeight) {
    const platform::Rect inner{2, 2, clientWidth - 2, clientHeight - 2};
    const int availableWidth = inner.width() - 4;
    const int availableHeight = inner.height() - 4;
    if (pictureWidth <= 0 || pictureHeight <= 0 || availableWidth <= 0 || availableHeight <= 0)
        return {};
    const double scale = std::max(
        {double(pictureWidth) / availableWidth, double(pictureHeight) / availableHeight, 1.0});
    const int width = int(pictureWidth / scale);
    const int height = int(pictureHeight / scale);
    const int left = inner.left + (inner.width() - width) / 2;
    const int top = inner.top + (inner.height() - height) / 2;
    return {left, top, left + width, top + height};
}

OpenFilesEnvironment OpenFilesEnvironment::program() {
    return {platform::tempDirectory(), [] { return platform::freeSpace(platform::driveC()); },
            mountedDrives};
}

OpenFilesModel::OpenFilesModel(shell::AppState& state, platform::Ui& ui,
                               OpenFilesEnvironment environment)
    : m_state(state), m_ui(ui), m_environment(std::move(environment)) {
    m_state.multiFileLoad = false;
    m_state.multiFileCount = 0;
}

void OpenFilesModel::dropPreview() {
    m_preview = platform::Bitmap24{};
    m_previewBits = 0;
    m_info.clear();
}

void OpenFilesModel::clearSelection() {
    // A name kept from the folder left behind would be staged with the new folder.
    dropPreview();
    m_selected.clear();
    m_singleSelected = false;
    m_loadEnabled = m_rotateEnabled = false;
    m_state.multiFileLoad = false;
}

void OpenFilesModel::selectionChanged(const fs::path& folder,
                                      const std::vector<std::string>& names) {
    const std::optional<std::uint64_t> free =
        m_environment.freeBytes ? m_environment.freeBytes() : std::nullopt;
    if (!freeSpaceOk(m_ui, free) || names.empty()) {
        clearSelection();
        return;
    }
    m_loadEnabled = true;
    if (names.size() != 1) {
        m_rotateEnabled = false;
        m_state.multiFileLoad = true;
        dropPreview();
        return;
    }

    m_rotateEnabled = true;
    m_state.multiFileLoad = false;
    platform::Ui::WaitCursor wait(m_ui);
    m_singleSelected = true;
    m_selected = names.front();
    const fs::path path = folder / m_selected;
    fs::path file = path;
    if (!isBmpName(m_selected)) {
        // An earlier conversion of this very file is what the intake will read.
        const fs::path copy = temporaryBmpPath(m_environment.tempDir, path.string(), m_selected);
        std::error_code ec;
        if (fs::exists(copy, ec))
            file = copy;
    }

    dropPreview();
    int width = 0;
    int height = 0;
    int bits = 0;
    const int code = platform::imagelib::CD(file, m_preview, width, height, bits);
    if (code != 1) {
        m_preview = platform::Bitmap24{};
        m_loadEnabled = m_rotateEnabled = false;
        const std::string_view reason = previewReason(code);
        if (!reason.empty())
            m_ui.message(reason, Icon::None);
        // A failure without a reason is told too, whatever the file's type.
        if (reason.empty() || ownReaderFormat(m_selected))
            m_ui.message(open_text::kLoadError, Icon::None);
        return;
    }
    m_previewBits = bits;
    if (bits == 1) {
        m_loadEnabled = m_rotateEnabled = false;
        m_ui.message(msg::kBlackAndWhite, Icon::None);
        return;
    }
    m_info = platform::formatC(open_text::kInfoFormat, m_selected.c_str(), width, height);
    m_state.rotationForNextPicture = 0;
}

void OpenFilesModel::rotate() {
    if (!m_rotateEnabled || m_preview.empty())
        return;
    m_state.rotationForNextPicture = quarterTurns(m_state.rotationForNextPicture + 1);
    m_preview = platform::turnBitmap(m_preview, 1);
}

bool OpenFilesModel::load(const fs::path& folder, const std::vector<std::string>& names) {
    albums::AlbumState& albums = m_state.albums;
    if (names.size() >= 2) {
        m_state.rotationForNextPicture = 0;
        m_state.multiFileCount = 0;
        for (const std::string& name : names) {
            if (albums.pictureCount >= albums::kMaxPictures)
                break;
            albums::PictureRow& row = albums.pictures[std::size_t(albums.pictureCount)];
            row = albums::PictureRow{};
            row.fullPath = (folder / name).string();
            row.displayName = name;
            ++albums.pictureCount;
            ++m_state.multiFileCount;
        }
        m_state.multiFileLoad = m_state.multiFileCount > 0;
        dropPreview();
        return true;
    }

    if (!m_singleSelected)
        m_selected.clear();
    if (albums.pictureCount < 0 || albums.pictureCount >= albums::kPictureRows)
        return false;
    albums::PictureRow& row = albums.pictures[std::size_t(albums.pictureCount)];
    row = albums::PictureRow{};
    row.displayName = m_selected;
    if (m_selected.empty() || isBmpName(m_selected))
        return true;

    row.fullPath = (folder / m_selected).string();
    const fs::path target = temporaryBmpPath(m_environment.tempDir, row.fullPath, m_selected);
    std::error_code ec;
    if (!fs::exists(target, ec)) {
        platform::Ui::WaitCursor wait(m_ui);
        const int turns = quarterTurns(m_state.rotationForNextPicture);
        m_preview = platform::turnBitmap(m_preview, 4 - turns);
        fs::create_directories(m_environment.tempDir, ec);
        NoticingUi noticing(m_ui);
        const int code = convertToTemporaryBmp(noticing, row.fullPath, target);
        if (code != 1) {
            const std::string reason = conversionMessage(code, row.fullPath);
            if (!reason.empty())
                m_ui.message(reason, Icon::None);
            else if (!noticing.told())
                m_ui.message(open_text::kLoadError, Icon::None);
            // Nothing to add: the open command would only fail the same way again.
            row = albums::PictureRow{};
            m_selected = target.filename().string();
            return false;
        }
        m_preview = platform::turnBitmap(m_preview, turns);
    }
    m_selected = target.filename().string();
    return true;
}

platform::Bitmap24 OpenFilesModel::takePreview() {
    platform::Bitmap24 preview = std::move(m_preview);
    dropPreview();
    return preview;
}

int addOpenedFiles(shell::AppState& state, albums::AlbumStore& store, platform::Ui& ui,
                   const fs::path& folder, const OpenFilesEnvironment& environment,
                   platform::Bitmap24 preview) {
    albums::AlbumState& albums = state.albums;
    const auto freeBytes = [&] {
        return environment.freeBytes ? environment.freeBytes() : std::nullopt;
    };
    if (state.multiFileLoad) {
        platform::Ui::WaitCursor wait(ui);
        const int count = std::clamp(state.multiFileCount, 0, albums.pictureCount);
        albums.pictureCount -= count;
        ConversionsAhead ahead;
        ahead.run(std::span(albums.pictures)
                      .subspan(std::size_t(albums.pictureCount), std::size_t(count)),
                  environment.tempDir);
        int added = 0;
        for (int i = 0; i < count; ++i) {
            if (!freeSpaceOk(ui, freeBytes()))
                break;
            // A file that fails makes the rows behind it move up into the staging row.
            state.pendingFiles = count - 1;
            if (addStagedPicture(state, store, ui, folder, environment.tempDir, &ahead) !=
                AddResult::NotAdded)
                ++added;
            if (albums.pictureCount >= albums::kMaxPictures) {
                ui.message(msg::kAlbumFull, Icon::None);
                break;
            }
        }
        state.pendingFiles = 0;
        return added;
    }

    if (albums.pictureCount >= albums::kMaxPictures) {
        ui.message(msg::kAlbumFull, Icon::None);
        return 0;
    }
    platform::Ui::WaitCursor wait(ui);
    // The picture on show stays when the new one cannot be added. Added, the preview
    // (turned as the picture is) is what the window shows of it.
    if (addStagedPicture(state, store, ui, folder, environment.tempDir) == AddResult::NotAdded)
        return 0;
    if (!preview.empty())
        state.showPicture(albums.selectedPicture(), std::move(preview));
    return 1;
}

} // namespace kv::intake
