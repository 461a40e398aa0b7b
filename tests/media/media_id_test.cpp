#include "media/media_id.h"

#include "media_rig.h"
#include "platform/profile.h"

#include <gtest/gtest.h>

namespace kv::media {
namespace {

namespace fs = std::filesystem;
using test::PrinterRig;
using Texts = std::vector<std::string>;

std::string value(const std::filesystem::path& file, std::string_view key) {
    const platform::Profile profile(file);
    const std::string section = key == "DisplayAtStartup" ? "SetMediaID"
                                : key == "IDString"       ? "MediaID"
                                                          : "MediaRank";
    return profile.readString(section, key, "<none>");
}

TEST(MediaId, ValidationUpperCasesAndRefusesInOrder) {
    const std::string version = "Die Anwendung kann mit dieser Medienversion nicht arbeiten.\n\n"
                                " Die neueste Anwendung erhalten Sie bei Ihrem Anbieter. ";
    const std::string length = "Die Medienbezeichnung muß exakt 10 Zeichen enthalten.";
    const std::string range = "Medienbezeichnung überschreitet Bereich.";
    const std::pair<std::string, std::string> cases[] = {
        {"ammmmmmmmm", ""},
        {"AaYyBbCcDd", ""},
        {"bMMMMMMMMM", version},
        {"AMMMMMMMMZ", range},
        {"AMM1MMMMMM", range},
        {"AMMMMMMMM", length},
        {"AMMMMMMMMMM", length},
        {"BMMMMMMMM", length},
        {"", length},
        // Ten characters typed, eleven bytes: the character is wrong, not the length.
        {"AMMMMMMMMä", range},
        {"äMMMMMMMMM", version},
    };
    for (const auto& [typed, message] : cases) {
        std::string text = typed;
        EXPECT_EQ(mediaIdMessage(validateMediaId(text)), message) << typed;
    }
    std::string lower = "ammmmmmmmm";
    validateMediaId(lower);
    EXPECT_EQ(lower, "AMMMMMMMMM");
}

TEST(MediaId, StoresTheMirrorOnlyWhereItExistsAndKeepsTheFilesSpelling) {
    for (const bool mirror : {false, true}) {
        kv::test::TempDir home, system;
        if (mirror)
            kv::test::writeBytes(system / "KVX00.INI", "");
        kv::test::writeBytes(home / "kvx00.ini", "[Image]\r\nEdge=2\r\n");
        MediaSettings settings(home.path(), system.path());
        ASSERT_TRUE(settings.storeMediaId("ABCDEFGHIY", false));
        EXPECT_FALSE(settings.displayAtStartup());
        EXPECT_EQ(kv::test::readBytes(home / "kvx00.ini").find("[Image]\r\nEdge=2\r\n"), 0u);
        for (const auto& file : {home / "kvx00.ini", system / "KVX00.INI"})
            EXPECT_EQ(value(file, "DisplayAtStartup") + value(file, "MediaVersion") +
                          value(file, "sensC") + value(file, "TDBY"),
                      file.parent_path() == system.path() && !mirror ? "<none><none><none><none>"
                                                                     : "0ABY");
        EXPECT_EQ(std::distance(fs::directory_iterator(system.path()), {}), mirror ? 1 : 0);
        EXPECT_EQ(std::distance(fs::directory_iterator(home.path()), {}), 1);

        EXPECT_EQ(settings.readIdString(), "AMMMMMMMMM");
        settings.writeIdString("ABCDEFGHIY");
        EXPECT_EQ(value(system / "kvprn.ini", "IDString"), "ABCDEFGHIY");
    }
    EXPECT_TRUE(sameMediaId("AMMMMMMMMM", "AMMMMMMMMMXYZ"));
}

TEST(MediaId, SelectionTakesStoredLettersAndTreatsBadOnesAsM) {
    kv::test::TempDir home;
    kv::test::writeBytes(home / "Kvx00.ini",
                         "[SetMediaID]\r\nDisplayAtStartup=yes\r\n[MediaRank]\r\n"
                         "MediaVersion=B\r\nsensC=Bx\r\nsensM=Z\r\nTDBY=y\r\n");
    MediaState media;
    media.rankTable.sensC[1] = 0.25f;
    media.rankTable.tdby[24] = 999;
    EXPECT_EQ(loadMediaSelection(home.path(), media), "ABMMMMMMMY");
    EXPECT_EQ(media.calibration.sensC, 0.25f);
    EXPECT_EQ(media.calibration.tdby, 999);
    EXPECT_EQ(media.calibration.rankIndex[1], 12);

    const MediaDialogValues values = loadMediaDialogValues(home.path(), media);
    EXPECT_EQ(values.text, "BBMMMMMMMY");
    EXPECT_FALSE(values.displayAtStartup);
}

TEST(MediaService, OkStoresRebuildsAndUploadsOnlyWhenPrinterAndTextAreRight) {
    const std::string notFound = "Kann nicht mit dem Drucker kommunizieren.\n Bitte überprüfen Sie "
                                 "den Druckeranschluß oder die Stromversorgung des Druckers.";
    struct Case {
        std::string text;
        bool present;
        MediaIdAccepted result;
        Texts messages;
        bool loseLedTable = false; // the printer does not acknowledge the table's first byte
    } cases[] = {
        {"ammmmmmmmm", true, MediaIdAccepted::Stored, {}},
        {"AMMMMMMMMM", false, MediaIdAccepted::PrinterNotFound, {notFound}},
        {"AMMMMMMMMZ",
         true,
         MediaIdAccepted::Invalid,
         {"Medienbezeichnung überschreitet Bereich."}},
        {"ammmmmmmmm",
         true,
         MediaIdAccepted::NotUploaded,
         {"Fehler beim Absenden des Befehls."},
         true},
    };
    for (const Case& c : cases) {
        PrinterRig rig;
        rig.present = c.present;
        if (c.loseLedTable)
            rig.printer.loseAckAt(printer::VirtualPrinter::Stage::DataByte, 0);
        EXPECT_EQ(acceptMediaId(rig.context, c.text, false), c.result);
        EXPECT_EQ(rig.ui.texts(), c.messages);
        const bool stored =
            c.result == MediaIdAccepted::Stored || c.result == MediaIdAccepted::NotUploaded;
        const bool uploaded = c.result == MediaIdAccepted::Stored;
        EXPECT_EQ(value(rig.home / "Kvx00.ini", "DisplayAtStartup"), stored ? "0" : "<none>");
        EXPECT_EQ(value(rig.system / "kvprn.ini", "IDString"), uploaded ? "AMMMMMMMMM" : "<none>");
        EXPECT_EQ(rig.api.ledWrites, stored ? 1 : 0);
        EXPECT_EQ(fs::exists(rig.home / "b10"), uploaded);
        if (!uploaded) {
            EXPECT_EQ(rig.printer.stored(0x21), 0x80) << "the factory table stays";
            continue;
        }
        EXPECT_EQ(rig.media.gamma.table[0][8 * 4], 72);
        // Row M's sensitivities 1.5 and 0.5 on the factory PWM of 128.
        EXPECT_EQ(rig.printer.stored(0x21), 192);
        EXPECT_EQ(rig.printer.stored(0x68 + 70), 64);
        EXPECT_GE(rig.clock.tickMs(), 3600u);
    }
}

TEST(MediaService, PrintCheckRecalibratesOnceAndRetriesAFailedUpload) {
    PrinterRig rig;
    MediaSettings(rig.home.path(), rig.system.path()).storeMediaId("ABMMMMMMMM", true);
    // A rank row changed in memory only: the check must use the table it reloads.
    rig.media.rankTable.sensC[1] = 3.0f;
    kv::test::writeBytes(rig.home / "TEMPERA.TUR", "short");
    EXPECT_TRUE(printTimeMediaCheck(rig.context));
    EXPECT_EQ(rig.media.calibration.sensC, 0.8f);
    EXPECT_EQ(rig.api.ledWrites, 0);
    EXPECT_EQ(value(rig.system / "kvprn.ini", "IDString"), "<none>");

    std::filesystem::remove(rig.home / "TEMPERA.TUR");
    rig.ui.clear();
    EXPECT_TRUE(printTimeMediaCheck(rig.context));
    EXPECT_EQ(rig.ui.texts(), Texts{"Diese Datei kann nicht geöffnet werden!"});
    EXPECT_EQ(value(rig.system / "kvprn.ini", "IDString"), "ABMMMMMMMM");
    EXPECT_FALSE(printTimeMediaCheck(rig.context));
    EXPECT_EQ(rig.api.ledWrites, 1);
}

} // namespace
} // namespace kv::media
