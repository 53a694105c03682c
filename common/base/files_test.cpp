#include "base/files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace marula {
namespace {

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
    ASSERT_EQ(page.place(dir / "print-1.pdf", taken), std::nullopt);
    EXPECT_TRUE(taken);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "print-1.pdf"));
    ASSERT_EQ(page.place(dir / "print-2.pdf", taken), std::nullopt);
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

}  // namespace
}  // namespace marula
