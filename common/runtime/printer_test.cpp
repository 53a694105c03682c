#include "runtime/printer.h"
#include "runtime/palette.h"
#include "runtime/pdf_writer.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace marula {
namespace {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "marula-printer-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Output of a command line built only from our own temporary paths.
std::string capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
    pclose(pipe);
    return out;
}

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

std::string read_all(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string joined(const PrintedLine& line) {
    std::string text;
    for (const PrintRun& run : line.runs) text += run.text;
    return text;
}

// ---- gathering lines ------------------------------------------------------

TEST(Printer, RunsInDifferentTypesMakeOneLine) {
    Printer printer;
    printer.set_paper(9, 2);
    printer.print("", true);
    printer.set_font(300);
    printer.set_pitch(180, 240);
    printer.print("多角測量座標計算書", false);
    printer.set_font(160);
    printer.set_pitch(111, 360);
    printer.print("By MARULA ", false);
    printer.print("2026/12/08", true);
    printer.set_font(200);
    printer.print("body", true);
    EXPECT_FALSE(printer.page_is_empty());

    const PrintedPage page = printer.eject();
    EXPECT_TRUE(page.landscape);
    ASSERT_EQ(page.lines.size(), 3u);
    EXPECT_EQ(joined(page.lines[0]), "");
    const PrintedLine& first = page.lines[1];
    ASSERT_EQ(first.runs.size(), 3u);
    struct Expected {
        const char* text;
        int size, char_pitch, line_pitch;
    };
    const Expected expected[] = {{"多角測量座標計算書", 300, 180, 240}, {"By MARULA ", 160, 111, 360},
                                 {"2026/12/08", 160, 111, 360}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(first.runs[i].text, expected[i].text);
        EXPECT_EQ(first.runs[i].font_size, expected[i].size) << i;
        EXPECT_EQ(first.runs[i].char_pitch, expected[i].char_pitch) << i;
        EXPECT_EQ(first.runs[i].line_pitch, expected[i].line_pitch) << i;
    }
    EXPECT_EQ(joined(page.lines[2]), "body");
    EXPECT_EQ(page.lines[2].runs[0].font_size, 200);
}

TEST(Printer, EjectHandsOverEverythingAndStartsAfresh) {
    Printer printer;
    printer.set_paper(9, 2);
    printer.set_font(260);
    printer.set_pitch(180, 360);
    printer.print("unfinished", false);
    const PrintedPage first = printer.eject();
    ASSERT_EQ(first.lines.size(), 1u);  // an open line is not lost
    EXPECT_EQ(joined(first.lines[0]), "unfinished");
    EXPECT_TRUE(printer.page_is_empty());

    // The orientation stays with the printer; the type does not.
    printer.print("next", true);
    const PrintedPage second = printer.eject();
    EXPECT_TRUE(second.landscape);
    ASSERT_EQ(second.lines.size(), 1u);
    EXPECT_EQ(second.lines[0].runs[0].font_size, 200);
    EXPECT_EQ(second.lines[0].runs[0].char_pitch, 0);

    printer.set_paper(9, 1);
    EXPECT_FALSE(printer.eject().landscape);
    printer.set_paper(9, 7);  // not an orientation: nothing changes
    EXPECT_FALSE(printer.eject().landscape);
}

// ---- files --------------------------------------------------------------

PrintedPage report_page(bool landscape) {
    Printer printer;
    printer.set_paper(9, landscape ? 2 : 1);
    for (int i = 0; i < 4; ++i) printer.print("", true);
    printer.set_font(300);
    printer.set_pitch(180, 240);
    printer.print("        交点計算書", false);
    printer.set_font(160);
    printer.set_pitch(111, 222);
    printer.print("  By MARULA   ", false);
    printer.print("2026/12/08", true);
    printer.print("", true);
    printer.set_font(200);
    printer.set_pitch(131, 320);
    printer.print("  P1      1000.000  2000.000", true);
    printer.print("  ", false);
    printer.set_font(260);
    printer.print("SUMMARY", false);
    printer.set_font(200);
    printer.print(" 123.456", true);
    return printer.eject();
}

TEST(PagePdf, HoldsTheLinesWithAnEmbeddedFont) {
    TempDir dir;
    const fs::path pdf = dir.path() / "page.pdf";
    ASSERT_EQ(write_page_pdf(report_page(true), pdf), std::nullopt);

    const std::string text = capture("pdftotext -layout " + quoted(pdf) + " -");
    for (const char* expected : {"交点計算書", "By MARULA", "2026/12/08", "P1", "SUMMARY", "123.456"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " missing from:\n" << text;
    // Title, by-line and date stand on one printed line.
    EXPECT_TRUE(std::regex_search(text, std::regex("交点計算書 +By MARULA +2026/12/08"))) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex("P1 +1000\\.000 +2000\\.000"))) << text;

    const std::string fonts = capture("pdffonts " + quoted(pdf));
    EXPECT_NE(fonts.find("IPAGothic"), std::string::npos) << fonts;
    std::istringstream rows(fonts);
    std::string row;
    int font_rows = 0;
    while (std::getline(rows, row)) {
        if (row.find("IPAGothic") == std::string::npos) continue;
        ++font_rows;
        EXPECT_TRUE(std::regex_search(row, std::regex(R"(\s+yes\s+yes\s+)"))) << "not embedded: " << row;
    }
    EXPECT_GT(font_rows, 0);
}

TEST(PagePdf, MissingFontIsReportedNotIgnored) {
    TempDir dir;
    const char* old = std::getenv("MARULA_PRINT_FONT");
    const std::optional<std::string> kept = old ? std::optional<std::string>(old) : std::nullopt;
    setenv("MARULA_PRINT_FONT", (dir.path() / "none.ttf").c_str(), 1);
    const auto err = write_page_pdf(report_page(false), dir.path() / "page.pdf");
    if (kept)
        setenv("MARULA_PRINT_FONT", kept->c_str(), 1);
    else
        unsetenv("MARULA_PRINT_FONT");
    EXPECT_NE(err, std::nullopt);
    // The usual font is taken up again once the setting is gone.
    EXPECT_EQ(write_page_pdf(report_page(false), dir.path() / "page.pdf"), std::nullopt);
}

TEST(PagePdf, PaperFollowsTheOrientation) {
    struct Case {
        bool landscape;
        const char* size;
    };
    TempDir dir;
    for (const Case& c : {Case{false, "595.28 x 841.89 pts"}, Case{true, "841.89 x 595.28 pts"}}) {
        const fs::path pdf = dir.path() / (c.landscape ? "landscape.pdf" : "portrait.pdf");
        ASSERT_EQ(write_page_pdf(report_page(c.landscape), pdf), std::nullopt);
        const std::string info = capture("pdfinfo " + quoted(pdf));
        EXPECT_NE(info.find(c.size), std::string::npos) << info;
        EXPECT_TRUE(std::regex_search(info, std::regex("Pages: +1\n"))) << info;
    }
}

// Right and bottom edges of every word pdftotext finds on the page.
std::vector<std::pair<double, double>> word_corners(const fs::path& pdf) {
    const std::string html = capture("pdftotext -bbox " + quoted(pdf) + " -");
    std::vector<std::pair<double, double>> corners;
    const std::regex word(R"re(xMax="([0-9.]+)" yMax="([0-9.]+)")re");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), word); it != std::sregex_iterator(); ++it)
        corners.emplace_back(std::stod((*it)[1]), std::stod((*it)[2]));
    return corners;
}

TEST(PagePdf, WideAndLongPagesAreScaledOntoThePaper) {
    struct Case {
        const char* what;
        int columns;
        int lines;
        bool landscape;
    };
    TempDir dir;
    for (const Case& c : {Case{"wide line", 300, 3, true}, Case{"many lines", 20, 120, false},
                          Case{"wide kanji", 150, 2, false}}) {
        Printer printer;
        printer.set_paper(9, c.landscape ? 2 : 1);
        printer.set_pitch(131, 320);
        std::string wide;
        for (int i = 0; i < c.columns; ++i) wide += (std::string(c.what) == "wide kanji") ? "測" : "8";
        for (int i = 0; i < c.lines; ++i) printer.print(wide + "X", true);
        const fs::path pdf = dir.path() / "scaled.pdf";
        ASSERT_EQ(write_page_pdf(printer.eject(), pdf), std::nullopt);
        const auto corners = word_corners(pdf);
        ASSERT_GE(corners.size(), static_cast<std::size_t>(c.lines)) << c.what;
        const double width = c.landscape ? 841.89 : 595.28;
        const double height = c.landscape ? 595.28 : 841.89;
        for (const auto& [right, bottom] : corners) {
            EXPECT_LE(right, width - 30) << c.what;
            EXPECT_LE(bottom, height - 30) << c.what;
        }
        // Scaled, not shrunk to nothing: the page is still filled across or down.
        double right = 0, bottom = 0;
        for (const auto& [r, b] : corners) right = std::max(right, r), bottom = std::max(bottom, b);
        EXPECT_GT(c.columns > 100 ? right : bottom, (c.columns > 100 ? width : height) * 0.75) << c.what;
    }
}

TEST(PagePdf, CharactersKeepTheirColumns) {
    // Two characters of one column each under one full-width character:
    // on a fixed pitch the lines end at the same place.
    Printer printer;
    printer.set_pitch(111, 360);
    printer.print("AB12", true);
    printer.print("測点", true);
    TempDir dir;
    const fs::path pdf = dir.path() / "pitch.pdf";
    ASSERT_EQ(write_page_pdf(printer.eject(), pdf), std::nullopt);
    const auto corners = word_corners(pdf);
    ASSERT_EQ(corners.size(), 2u);
    // The kanji glyph is a full em inside its two cells, the digits half an
    // em in theirs, each centred: right edges agree within a few points.
    EXPECT_NEAR(corners[0].first, corners[1].first, 1.5);
}

TEST(PageText, TranscriptIsTheLinesThenAFormFeed) {
    TempDir dir;
    const fs::path txt = dir.path() / "print-1.txt";
    ASSERT_EQ(write_page_text(report_page(false), txt), std::nullopt);
    EXPECT_EQ(read_all(txt),
              "\n\n\n\n"
              "        交点計算書  By MARULA   2026/12/08\n"
              "\n"
              "  P1      1000.000  2000.000\n"
              "  SUMMARY 123.456\n"
              "\f\n");
    EXPECT_NE(write_page_text(report_page(false), dir.path() / "missing" / "x.txt"), std::nullopt);
}

// ---- screen copies ----------------------------------------------------------

// Every palette colour, in stripes that differ from row to row.
std::vector<std::uint8_t> test_screen() {
    std::vector<std::uint8_t> indices(640 * 432);
    for (int y = 0; y < 432; ++y)
        for (int x = 0; x < 640; ++x) indices[y * 640 + x] = std::uint8_t((x / 3 + y) % 16);
    return indices;
}

// Screens that exercise every way the picture is packed: runs longer than
// one match, runs of exactly three, rows repeating the row above with a
// change here and there, and noise that packs to nothing.
std::vector<std::pair<const char*, std::vector<std::uint8_t>>> png_screens() {
    std::vector<std::pair<const char*, std::vector<std::uint8_t>>> screens;
    screens.emplace_back("stripes", test_screen());
    screens.emplace_back("one colour", std::vector<std::uint8_t>(640 * 432, 15));
    std::vector<std::uint8_t> boxes(640 * 432, 15);
    for (int y = 0; y < 432; ++y)
        for (int x = 0; x < 640; ++x) {
            if (x % 80 == 0 || y % 18 == 0) boxes[y * 640 + x] = 1;     // a grid of cells
            if ((x * 7 + y * 3) % 997 == 0) boxes[y * 640 + x] = 4;     // odd pixels breaking the repeats
        }
    screens.emplace_back("grid with specks", boxes);
    std::vector<std::uint8_t> threes(640 * 432);
    for (int i = 0; i < 640 * 432; ++i) threes[i] = std::uint8_t((i / 6) % 16);  // byte runs of three
    screens.emplace_back("runs of three", threes);
    std::vector<std::uint8_t> noise(640 * 432);
    std::uint32_t state = 12345;
    for (auto& p : noise) p = std::uint8_t((state = state * 1103515245u + 12345u) >> 28);
    screens.emplace_back("noise", noise);
    return screens;
}

TEST(ScreenCopy, PngHoldsEveryPixel) {
    TempDir dir;
    for (const auto& [what, indices] : png_screens()) {
        const fs::path png = dir.path() / "hardcopy-1.png";
        ASSERT_EQ(write_screen_png(indices.data(), png), std::nullopt) << what;
        cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
        ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS) << what;
        ASSERT_EQ(cairo_image_surface_get_width(image), 640);
        ASSERT_EQ(cairo_image_surface_get_height(image), 432);
        const unsigned char* data = cairo_image_surface_get_data(image);
        const int stride = cairo_image_surface_get_stride(image);
        int wrong = 0;
        for (int y = 0; y < 432; ++y)
            for (int x = 0; x < 640; ++x)
                wrong += (reinterpret_cast<const std::uint32_t*>(data + y * stride)[x] & 0xFFFFFFu) != kPalette[indices[y * 640 + x]];
        EXPECT_EQ(wrong, 0) << what;
        cairo_surface_destroy(image);
    }
}

TEST(ScreenCopy, PngOfAnUnwritableFileIsAMessage) {
    TempDir dir;
    const std::vector<std::uint8_t> indices(640 * 432, 15);
    EXPECT_NE(write_screen_png(indices.data(), dir.path() / "missing" / "s.png"), std::nullopt);
}

TEST(ScreenCopy, PdfIsOneLandscapePage) {
    TempDir dir;
    const fs::path pdf = dir.path() / "hardcopy-1.pdf";
    const std::vector<std::uint8_t> indices = test_screen();
    ASSERT_EQ(write_screen_pdf(indices.data(), pdf), std::nullopt);
    const std::string info = capture("pdfinfo " + quoted(pdf));
    EXPECT_NE(info.find("841.89 x 595.28 pts"), std::string::npos) << info;
    const std::string images = capture("pdfimages -list " + quoted(pdf));
    EXPECT_NE(images.find("640   432"), std::string::npos) << images;
}

// ---- the system printer -------------------------------------------------------

// Stand-in lpstat and lp programs for one test, given by their paths as
// the system location's are.
class FakePrintCommands : public testing::Test {
protected:
    void script(const std::string& name, const std::string& body) {
        const fs::path p = bin_.path() / name;
        std::ofstream(p) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(p, fs::perms::owner_all);
    }
    fs::path log() const { return bin_.path() / "lp.log"; }
    PrinterCommands commands() const {
        PrinterCommands c;
        c.lpstat = (bin_.path() / "lpstat").string();
        c.lp = (bin_.path() / "lp").string();
        return c;
    }

    TempDir bin_;
};

TEST_F(FakePrintCommands, NoDefaultDestinationKeepsThePdf) {
    script("lpstat", "echo \"$LC_ALL\" > '" + (bin_.path() / "locale").string() +
                         "'\necho 'no system default destination'");
    script("lp", "echo called >> '" + log().string() + "'");
    EXPECT_EQ(send_to_printer("/tmp/page.pdf", {}, commands()), "プリンタが設定されていません。PDFを保存しました。");
    EXPECT_FALSE(fs::exists(log()));
    EXPECT_EQ(read_all(bin_.path() / "locale"), "C\n");
}

TEST_F(FakePrintCommands, DefaultDestinationGetsTheFileUntouched) {
    script("lpstat", "echo 'system default destination: office'");
    script("lp", "for a in \"$@\"; do echo \"[$a]\" >> '" + log().string() + "'; done");
    // A name a shell would have expanded reaches lp as it is.
    const fs::path file = bin_.path() / "print $(id) `x` 1.pdf";
    EXPECT_EQ(send_to_printer(file, {}, commands()), std::nullopt);
    EXPECT_EQ(read_all(log()), "[" + file.string() + "]\n");
}

TEST_F(FakePrintCommands, FailuresAndHangsAreReported) {
    struct Case {
        const char* what;
        const char* lpstat;
        const char* lp;
    };
    for (const Case& c : {Case{"lp fails", "echo 'system default destination: x'", "exit 1"},
                          Case{"lpstat fails", "exit 2", "exit 0"},
                          Case{"lpstat hangs", "exec sleep 30", "exit 0"}}) {
        script("lpstat", c.lpstat);
        script("lp", c.lp);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_NE(send_to_printer("/tmp/page.pdf", {}, commands()), std::nullopt) << c.what;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6)) << c.what;
    }
}

TEST_F(FakePrintCommands, MissingCommandsMeanNoPrinter) {
    PrinterCommands missing;
    missing.lpstat = (bin_.path() / "no-lpstat").string();
    missing.lp = (bin_.path() / "no-lp").string();
    EXPECT_EQ(send_to_printer("/tmp/page.pdf", {}, missing), "プリンタが設定されていません。PDFを保存しました。");
}

TEST_F(FakePrintCommands, CommandsAreNeverTakenFromPathOrTheCurrentFolder) {
    // An empty PATH entry means the current folder, where an lpstat stands.
    script("lpstat", "touch '" + (bin_.path() / "ran").string() + "'\necho 'system default destination: x'");
    script("lp", "touch '" + (bin_.path() / "ran").string() + "'");
    const std::string old_path = std::getenv("PATH") ? std::getenv("PATH") : "";
    const fs::path old_dir = fs::current_path();
    setenv("PATH", (":" + bin_.path().string()).c_str(), 1);
    fs::current_path(bin_.path());
    send_to_printer("/tmp/page.pdf");
    fs::current_path(old_dir);
    setenv("PATH", old_path.c_str(), 1);
    EXPECT_FALSE(fs::exists(bin_.path() / "ran"));
}

TEST_F(FakePrintCommands, AHungLpIsGivenUpWhileTheCallerStaysResponsive) {
    script("lpstat", "echo 'system default destination: x'");
    script("lp", "exec sleep 30");
    PrinterCommands quick = commands();
    quick.send_limit = std::chrono::milliseconds(600);
    int slices = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(send_to_printer("/tmp/page.pdf", [&] { ++slices; }, quick), "印刷できませんでした。PDFを保存しました。");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    // Called every slice while lp hung: the window would have been drawn
    // and its events taken (a close request among them).
    EXPECT_GE(slices, 5);
}

}  // namespace
}  // namespace marula
