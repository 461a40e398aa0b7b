// Camera raws in the open-files dialog's lists: shown with the supported formats
// and on their own entry, whatever the case of their names.
#include "intake/open_files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kv::intake {
namespace {

TEST(OpenFilesRaw, SupportedFormatsAndTheRawEntryListCameraRaws) {
    test::TempDir dir;
    for (const char* name : {"a.dng", "b.CR2", "c.cr3", "d.NEF", "e.arw", "f.orf", "g.RW2", "h.raf",
                             "i.jpg", "j.xmp", "k.dng.txt"})
        test::writeBytes(dir / name, "x");
    using Texts = std::vector<std::string>;
    const Texts raws{"a.dng", "b.CR2", "c.cr3", "d.NEF", "e.arw", "f.orf", "g.RW2", "h.raf"};
    Texts supported = raws;
    supported.insert(supported.begin() + 8, "i.jpg");
    EXPECT_EQ(matchingFiles(dir.path(), kTypeFilters[kDefaultTypeFilter].patterns), supported);
    EXPECT_EQ(kTypeFilters[kDefaultTypeFilter - 1].entry, "Kamera-RAW");
    EXPECT_EQ(matchingFiles(dir.path(), kTypeFilters[kDefaultTypeFilter - 1].patterns), raws);
}

} // namespace
} // namespace kv::intake
