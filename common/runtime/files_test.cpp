#include "runtime/files.h"

#include <gtest/gtest.h>

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
    EXPECT_TRUE(append_file(file, "start linktrav\n"));
    EXPECT_TRUE(append_file(file, "idle\n"));
    EXPECT_EQ(read_file(file), "start linktrav\nidle\n");
    EXPECT_TRUE(write_file(file, std::string("測点\0x", 8)));  // bytes kept as they are, NUL included
    EXPECT_EQ(read_file(file), std::string("測点\0x", 8));
    EXPECT_TRUE(write_file(file, ""));
    EXPECT_EQ(read_file(file), "");

    EXPECT_FALSE(write_file(dir / "missing" / "final.txt", "x"));
    EXPECT_FALSE(append_file(dir / "missing" / "events.log", "x"));
    EXPECT_EQ(read_file(dir), std::nullopt);  // a folder is not a file
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace marula
