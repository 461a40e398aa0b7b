// A CUPS queue made with "lpadmin -m everywhere" on our printer application prints a
// JPEG and a PDF on the virtual printer, with a cupsd of the test's own.
#include "cups_queue.h"

namespace kv::printer_app {
namespace {

TEST_F(CupsQueue, EverywhereQueuePrintsJpegAndPdfOnePageEach) {
    const fs::path jpeg = m_root / "picture.jpg";
    const fs::path pdf = m_root / "page.pdf";
    ASSERT_EQ(run("gs", {"-q", "-sDEVICE=jpeg", "-r72", "-g400x300", "-o", q(jpeg), "-c",
                         "1 0 0 setrgbcolor 0 0 400 300 rectfill showpage"})
                  .code,
              0);
    ASSERT_EQ(run("gs", {"-q", "-sDEVICE=pdfwrite", "-o", q(pdf), "-c",
                         "/Helvetica findfont 24 scalefont setfont 72 300 moveto (Kelvor) show "
                         "0 0 1 setrgbcolor 72 72 200 150 rectfill showpage"})
                  .code,
              0);

    ASSERT_NO_FATAL_FAILURE(startPrinterApp());
    ASSERT_NO_FATAL_FAILURE(startCupsd());

    const QString uri = "ipp://localhost:" + QString::number(m_appPort) + "/ipp/print";
    const Outcome add =
        run("lpadmin", {"-h", cupsHost(), "-p", "Kelvor", "-E", "-v", uri, "-m", "everywhere"});
    ASSERT_EQ(add.code, 0) << add.output << diagnostics();
    // CUPS 2.4 at times gives a new queue print-color-mode=monochrome as its default
    // (OpenPrinting/cups#421), which would print these pages grey; say colour.
    const Outcome colour =
        run("lpadmin", {"-h", cupsHost(), "-p", "Kelvor", "-o", "print-color-mode-default=color"});
    ASSERT_EQ(colour.code, 0) << colour.output << diagnostics();

    ASSERT_NO_FATAL_FAILURE(printAndWait(jpeg, 0));
    ASSERT_NO_FATAL_FAILURE(printAndWait(pdf, 1));
}

} // namespace
} // namespace kv::printer_app
