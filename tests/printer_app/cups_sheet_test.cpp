// What a CUPS queue made with "lpadmin -m everywhere" prints: its PPD defaults to a page
// size it has, so a text file and a PDF are laid out on the sheet and fill it; "Gray"
// prints as 8-bit grey pages.
#include "cups_queue.h"
#include "support/printed_pages.h"

#include <QImage>
#include <QRect>

#include <algorithm>
#include <map>

namespace kv::printer_app {
namespace {

// The part of a printed page (the virtual printer's picture of it) that is not paper:
// its extent across and down as fractions of the page, and the share of paper pixels.
struct Coverage {
    double across, down, paper;
};

Coverage coverage(const QImage& page, QRgb paper) {
    QRect inked;
    int papers = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            page.pixel(x, y) == paper ? void(++papers) : void(inked |= QRect(x, y, 1, 1));
    return {double(inked.width()) / page.width(), double(inked.height()) / page.height(),
            double(papers) / (page.width() * page.height())};
}

TEST_F(CupsQueue, TextAndPdfFillTheSheetAndGreyPrintsGrey) {
    // Twenty lines of text, and a 3 x 4 in PDF page that is blue to its edges.
    const fs::path text = m_root / "text.txt";
    std::string lines;
    for (int i = 0; i < 20; ++i)
        lines += std::string(20, char('A' + i)) + "\n";
    test::writeBytes(text, lines);
    const fs::path pdf = m_root / "sheet.pdf";
    ASSERT_EQ(run("gs", {"-q", "-sDEVICE=pdfwrite", "-dDEVICEWIDTHPOINTS=216",
                         "-dDEVICEHEIGHTPOINTS=288", "-dFIXEDMEDIA", "-o", q(pdf), "-c",
                         "0 0 0.6 setrgbcolor 0 0 216 288 rectfill showpage"})
                  .code,
              0);

    ASSERT_NO_FATAL_FAILURE(startPrinterApp());
    ASSERT_NO_FATAL_FAILURE(startCupsd());
    ASSERT_NO_FATAL_FAILURE(addEverywhereQueue());
    const std::string ppd = this->ppd();
    EXPECT_NE(ppd.find("*DefaultPageSize: 3x4\n"), std::string::npos);
    EXPECT_NE(ppd.find("*PageSize 3x4:"), std::string::npos);

    ASSERT_NO_FATAL_FAILURE(printAndWait(text, 0));
    ASSERT_NO_FATAL_FAILURE(printAndWait(pdf, 1));
    ASSERT_NO_FATAL_FAILURE(printAndWait(pdf, 2, {"-o", "print-color-mode=monochrome"}));

    // The text page is mostly paper, which gives its colour.
    const QImage textPage(q(test::printedPage(out(), 1, "png")));
    const QImage pdfPage(q(test::printedPage(out(), 2, "png")));
    ASSERT_FALSE(textPage.isNull() || pdfPage.isNull());
    std::map<QRgb, int> counts;
    for (int y = 0; y < textPage.height(); ++y)
        for (int x = 0; x < textPage.width(); ++x)
            ++counts[textPage.pixel(x, y)];
    const QRgb paper = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                           return a.second < b.second;
                       })->first;
    const Coverage textCover = coverage(textPage, paper);
    EXPECT_GT(std::max(textCover.across, textCover.down), 0.6) << textCover.across;
    EXPECT_GT(std::min(textCover.across, textCover.down), 0.4) << textCover.down;
    const Coverage pdfCover = coverage(pdfPage, paper);
    EXPECT_GT(std::min(pdfCover.across, pdfCover.down), 0.97)
        << pdfCover.across << " " << pdfCover.down << " " << pdfCover.paper;
    EXPECT_LT(pdfCover.paper, 0.03);

    // "Gray" came as 8-bit grey pages and printed otherwise than the colour page.
    EXPECT_NE(test::readBytes(m_root / "app/log").find("raster data is 480x640x8 (sGray)"),
              std::string::npos)
        << diagnostics();
    EXPECT_FALSE(test::readBytes(test::printedPage(out(), 3)) ==
                 test::readBytes(test::printedPage(out(), 2, "png")));
}

} // namespace
} // namespace kv::printer_app
