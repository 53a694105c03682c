#include "base/files.h"

#include <gtest/gtest.h>

#include "temp_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <string>

namespace marula {
namespace {

using test_support::TempFolder;

TEST(Files, WriteReplacesAppendAddsAndFailuresAreReported) {
    const auto dir = std::filesystem::temp_directory_path() / ("marula_files_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto file = dir / "events.log";

    EXPECT_EQ(read_file(file), std::nullopt);  // not there yet
    EXPECT_EQ(append_to_file(file, "start linktrav\n"), std::nullopt);
    EXPECT_EQ(append_to_file(file, "idle\n"), std::nullopt);
    EXPECT_EQ(read_file(file), "start linktrav\nidle\n");
    EXPECT_EQ(write_whole_file(file, std::string("測点\0x", 8)), std::nullopt);  // bytes kept as they are, NUL included
    EXPECT_EQ(read_file(file), std::string("測点\0x", 8));
    EXPECT_EQ(write_whole_file(file, ""), std::nullopt);
    EXPECT_EQ(read_file(file), "");

    EXPECT_NE(write_whole_file(dir / "missing" / "final.txt", "x"), std::nullopt);
    EXPECT_NE(append_to_file(dir / "missing" / "events.log", "x"), std::nullopt);
    EXPECT_EQ(read_file(dir), std::nullopt);  // a folder is not a file
    // Nothing but the files themselves is left: no temporaries.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
    std::filesystem::remove_all(dir);
}

TEST(Files, OnlyRegularFilesWithinTheLimitAreRead) {
    const auto dir = std::filesystem::temp_directory_path() / ("marula_files_limit_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto fifo = dir / "glyphs.bin";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(read_file(fifo), std::nullopt);  // at once, not waiting for a writer
    EXPECT_EQ(read_file("/dev/zero"), std::nullopt);
    const auto big = dir / "big";
    ASSERT_EQ(write_whole_file(big, std::string(1000, 'x')), std::nullopt);
    EXPECT_EQ(read_file(big, 999), std::nullopt);
    EXPECT_EQ(read_file(big, 1000), std::string(1000, 'x'));
    std::filesystem::remove_all(dir);
}

TEST(Files, AWholeFileIsPlacedOnlyUnderAFreeNameAndNeverThroughALink) {
    const auto dir = std::filesystem::temp_directory_path() / ("marula_files_place_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::create_symlink("/proc/no-such-folder/page.pdf", dir / "print-1.pdf");
    WholeFile page;
    ASSERT_EQ(page.open(dir, "print.pdf"), std::nullopt);
    ASSERT_EQ(page.write("%PDF"), std::nullopt);
    ASSERT_EQ(page.finish(), std::nullopt);
    bool taken = false;
    ASSERT_EQ(page.place("print-1.pdf", taken), std::nullopt);
    EXPECT_TRUE(taken);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "print-1.pdf"));
    ASSERT_EQ(page.place("print-2.pdf", taken), std::nullopt);
    EXPECT_FALSE(taken);
    EXPECT_EQ(read_file(dir / "print-2.pdf"), "%PDF");
    // A file given up leaves nothing behind.
    {
        WholeFile dropped;
        ASSERT_EQ(dropped.open(dir, "print.txt"), std::nullopt);
        ASSERT_EQ(dropped.write("half"), std::nullopt);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);
    std::filesystem::remove_all(dir);
}

// Temporaries a killed program left are ours to sweep once they are old;
// a fresh one (perhaps being written) and the user's files are not.
TEST(Files, OnlyOurOwnOldTemporariesAreSwept) {
    namespace fs = std::filesystem;
    TempFolder temp("marula-files-stale");
    struct Case {
        const char* name;
        int age_seconds;
        bool swept;
    } const cases[] = {
        {".print-1.pdf.0a1b2c3d.tmp", 2 * 3600, true},
        {".print-1.pdf.0a1b2c3d.tmp.keep", 2 * 3600, false},  // not a name WholeFile makes
        {".print.txt.zzzzzzzz.tmp", 3600 + 60, true},
        {".print.txt.abcdefgh.tmp", 60, false},               // too fresh
        {".print.txt.ABCDEFGH.tmp", 2 * 3600, false},          // upper case: not our tail
        {"print.txt.abcdefgh.tmp", 2 * 3600, false},           // not hidden
        {"..abcdefgh.tmp", 2 * 3600, false},                   // no name before the tail
        {"notes.sim", 2 * 3600, false},
    };
    for (const Case& c : cases) {
        const fs::path file = temp.path() / c.name;
        ASSERT_EQ(write_whole_file(file, "x"), std::nullopt);
        const struct timespec times[2] = {{std::time(nullptr) - c.age_seconds, 0}, {std::time(nullptr) - c.age_seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    }
    // A link that looks like a temporary is no file of ours.
    ASSERT_EQ(::symlink("/proc/no-such-folder", (temp.path() / ".x.abcdefgh.tmp").c_str()), 0);
    const int dir = ::open(temp.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dir, 0);
    EXPECT_EQ(remove_stale_temporaries(dir), 2);
    ::close(dir);
    for (const Case& c : cases) EXPECT_EQ(fs::exists(temp.path() / c.name), !c.swept) << c.name;
    EXPECT_TRUE(fs::is_symlink(temp.path() / ".x.abcdefgh.tmp"));
}

TEST(Files, NamesAreCutToFitWithoutSplittingACharacter) {
    struct Case {
        std::string text;
        std::size_t bytes;
        std::string cut;
    } const cases[] = {
        {"abc", 3, "abc"},
        {"abcd", 3, "abc"},
        {"測点", 5, "測"},  // three bytes a character: the second does not fit
        {"測点", 6, "測点"},
        {"a測", 2, "a"},
        {"", 0, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(cut_to_bytes(c.text, c.bytes), c.cut) << c.text << " " << c.bytes;
    // A temporary for the longest name a file system takes is itself a name it takes.
    TempFolder temp("marula-files-long");
    std::string longest;
    while (longest.size() + 3 <= kFileNameBytes) longest += "測";
    WholeFile out;
    ASSERT_EQ(out.open(temp.path(), longest), std::nullopt);
    ASSERT_EQ(out.finish(), std::nullopt);
    bool taken = false;
    ASSERT_EQ(out.place(longest, taken), std::nullopt);
    EXPECT_TRUE(std::filesystem::is_regular_file(temp.path() / longest));
}

}  // namespace
}  // namespace marula
