// Pictures named when the program is started, by a path or a file manager's URL,
// go into the current album as if dropped; a later start hands its own over.
#include "program.h"
#include "support/jpeg_writer.h"
#include "support/temp_dir.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kv::e2e {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// "FULL PATH<TAB>DISPLAY NAME" per picture of My_Album, as kvphoto-cli reads it.
std::vector<std::string> albumRows(const TempDir& root) {
    QProcess cli;
    QProcessEnvironment vars = QProcessEnvironment::systemEnvironment();
    vars.insert("KVPR_HOME", QString::fromStdString((root / "home/").string()));
    vars.insert("KVPR_DRIVE_C", QString::fromStdString((root / "c/").string()));
    vars.insert("KVPR_SYSTEM_DIR", QString::fromStdString((root / "system/").string()));
    cli.setProcessEnvironment(vars);
    cli.start(KV_CLI, {"album", "show", "My_Album"});
    if (!cli.waitForFinished(30000) || cli.exitCode() != 0)
        return {"<kvphoto-cli failed: " + cli.readAllStandardError().toStdString() + ">"};
    std::vector<std::string> rows;
    for (const QString& line :
         QString::fromUtf8(cli.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split('\t');
        rows.push_back(fields.mid(fields.size() - 2).join('\t').toStdString());
    }
    return rows;
}

QString arg(const fs::path& path) {
    return QString::fromStdString(path.string());
}

TEST(OpenFilesE2e, StartArgumentsAndALaterStartAddToTheCurrentAlbum) {
    TempDir root;
    // No media question at start: it would wait for an answer.
    fs::create_directories(root / "home");
    test::writeBytes(root / "home" / "Kvx00.ini", "[SetMediaID]\r\nDisplayAtStartup=0\r\n");
    const fs::path folder = root / "Bilder vom M\xC3\xA4rz";
    fs::create_directories(folder);
    const std::string jpeg = test::encodeJpeg(
        32, 24, [](int y, JSAMPLE* row) { std::fill(row, row + 32 * 3, JSAMPLE(y * 10)); });
    for (const char* name : {"eins.jpg", "zwei #2.jpg", "drei.jpg"})
        test::writeBytes(folder / name, jpeg);
    const QString url =
        QUrl::fromLocalFile(arg(folder / "zwei #2.jpg")).toString(QUrl::FullyEncoded);
    ASSERT_NE(url.indexOf("%23"), -1) << url.toStdString();

    // "/debug" beside files is neither debug mode nor a file: no message stops the start.
    auto first = launchProgram(root.path(), {}, {"/debug", arg(folder / "eins.jpg"), url});
    ASSERT_TRUE(first->waitForStarted(5000));
    const std::vector<std::string> two{(folder / "eins.jpg").string() + "\teins.jpg",
                                       (folder / "zwei #2.jpg").string() + "\tzwei #2.jpg"};
    std::vector<std::string> rows;
    EXPECT_TRUE(waitFor([&] { return (rows = albumRows(root)) == two; }, 30000));
    EXPECT_EQ(rows, two);

    auto second = launchProgram(root.path(), {}, {arg(folder / "drei.jpg")});
    ASSERT_TRUE(second->waitForFinished(5000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    std::vector<std::string> three = two;
    three.push_back((folder / "drei.jpg").string() + "\tdrei.jpg");
    EXPECT_TRUE(waitFor([&] { return (rows = albumRows(root)) == three; }, 10000));
    EXPECT_EQ(rows, three);

    ASSERT_EQ(first->state(), QProcess::Running);
    terminateCleanly(*first);
}

} // namespace
} // namespace kv::e2e
