// Files read and written with plain system calls: small files read whole,
// files written whole or not at all, and checked appends to a log.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace marula {

// The largest file read whole unless a caller says otherwise.
inline constexpr std::size_t kReadLimit = std::size_t(64) << 20;

// The whole content of a regular file of at most `limit` bytes; nothing
// when it cannot be read, is not a regular file (a FIFO, a device, a
// folder) or is larger.
std::optional<std::string> read_file(const std::filesystem::path& file, std::size_t limit = kReadLimit);

// A file written whole or not at all. Its content goes to a temporary name
// in the folder of the file it becomes (made afresh, never through a link),
// every write checked; finish() flushes it to the disk, and only then is it
// renamed into place. A temporary that is not placed is removed, also when
// SIGTERM, SIGINT or SIGHUP ends the program while it is being written.
class WholeFile {
public:
    WholeFile() = default;
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;
    ~WholeFile();

    // Makes the temporary in `dir` for a file to be called `name`.
    std::optional<std::string> open(const std::filesystem::path& dir, std::string_view name);
    int fd() const { return fd_; }
    // Appends bytes; every write is checked.
    std::optional<std::string> write(std::string_view bytes);
    // Flushes to the disk and closes; checked.
    std::optional<std::string> finish();
    // Renames the finished file to `file`, replacing what stands there.
    std::optional<std::string> replace(const std::filesystem::path& file);
    // Renames the finished file to `file` only when that name is free (a
    // link, even a dangling one, is not free): `taken` tells that it was not.
    std::optional<std::string> place(const std::filesystem::path& file, bool& taken);
    // Takes a placed file back under its temporary name.
    void unplace();
    // Removes the temporary (or, once placed, nothing).
    void discard();
    // The file's name for messages.
    const std::string& name() const { return name_; }

private:
    int fd_ = -1;
    std::filesystem::path temporary_;
    std::filesystem::path placed_;
    std::string name_;
    int slot_ = -1;  // where the temporary is kept for removal on a signal
};

// Replaces the file's content whole: a temporary written, flushed and
// renamed over it. A message when it could not be done (the old content,
// if any, is then still there).
std::optional<std::string> write_whole_file(const std::filesystem::path& file, std::string_view content);
// Adds to the end of the file in one checked append (O_APPEND, so several
// programs can log to one file), making it when missing, never through a
// link. A message when it could not all be written.
std::optional<std::string> append_to_file(const std::filesystem::path& file, std::string_view content);

}  // namespace marula
