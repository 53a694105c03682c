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

// A file written whole or not at all. Its content goes to a temporary
// ".NAME.XXXXXXXX.tmp" in the folder of the file it becomes (made afresh
// with O_EXCL|O_NOFOLLOW, never through a link), every write checked;
// finish() flushes it to the disk, and only then is it renamed into place.
// A temporary that is not placed is removed, also when SIGTERM, SIGINT or
// SIGHUP ends the program while it is being written (a hard kill leaves it:
// remove_stale_temporaries sweeps those up later).
//
// Two ways into place, both within the temporary's folder:
//   place()   only where the name is free: what others made is never
//             replaced (exports, sheets);
//   replace() over a regular file only: never over a link, a device, a
//             FIFO or a folder (our own files kept current).
class WholeFile {
public:
    WholeFile() = default;
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;
    ~WholeFile();

    // Makes the temporary in the folder `dir` for a file to be called `name`.
    std::optional<std::string> open(const std::filesystem::path& dir, std::string_view name);
    // The same in the folder open as `dir_fd` (kept open by the caller; a
    // copy of it is kept here until the file is placed or given up).
    std::optional<std::string> open_in(int dir_fd, std::string_view name);
    int fd() const { return fd_; }
    // Appends bytes; every write is checked.
    std::optional<std::string> write(std::string_view bytes);
    // Flushes to the disk and closes; checked.
    std::optional<std::string> finish();
    // Renames the finished file to `name` in its folder, replacing a regular
    // file that stands there; anything else under that name (a link, even
    // a dangling one, a device, a folder) is left and refused.
    std::optional<std::string> replace(std::string_view name);
    // Renames the finished file to `name` in its folder only when that name
    // is free (a link, even a dangling one, is not free): `taken` tells that
    // it was not. Where the file system refuses an atomic rename that never
    // replaces, the file is linked under `name` (which fails on a taken
    // name just the same) and its temporary name unlinked.
    std::optional<std::string> place(std::string_view name, bool& taken);
    // Takes a placed file back under its temporary name.
    void unplace();
    // Removes the temporary (or, once placed, nothing).
    void discard();
    // The file's name for messages.
    const std::string& name() const { return name_; }

private:
    int dir_ = -1;           // the folder, held open from open() to discard()
    int fd_ = -1;
    std::string temporary_;  // names within the folder
    std::string placed_;
    std::string name_;
    int slot_ = -1;  // where the temporary is kept for removal on a signal
};

// Replaces the file's content whole: a temporary written, flushed and
// renamed over it (see WholeFile::replace: a regular file only). A message
// when it could not be done (the old content, if any, is then still there).
std::optional<std::string> write_whole_file(const std::filesystem::path& file, std::string_view content);
// Writes a new file whole, only where its name is free (see
// WholeFile::place): `taken` tells that something stands there already,
// which is then left as it was. A message when it could not be written.
std::optional<std::string> write_new_file(const std::filesystem::path& file, std::string_view content, bool& taken);

// How old a temporary of ours must be before a later filing may take it
// for one left by a program killed while writing.
inline constexpr int kStaleTemporarySeconds = 3600;
// Removes from the folder open as `dir_fd` the temporaries WholeFile made
// (".NAME.XXXXXXXX.tmp", regular files) that were last written more than
// `age_seconds` ago; anything else is left alone. How many were removed.
int remove_stale_temporaries(int dir_fd, int age_seconds = kStaleTemporarySeconds);
// Whether a file name is one of WholeFile's temporaries (never to be
// listed as a file of the user's).
bool is_whole_file_temporary(std::string_view file_name);

// The longest file name the file systems we write take, in bytes.
inline constexpr std::size_t kFileNameBytes = 255;
// UTF-8 text cut to at most `bytes` bytes without splitting a character.
std::string cut_to_bytes(std::string_view text, std::size_t bytes);

// Adds to the end of the file in one checked append (O_APPEND, so several
// programs can log to one file), making it when missing, never through a
// link. A message when it could not all be written.
std::optional<std::string> append_to_file(const std::filesystem::path& file, std::string_view content);

}  // namespace marula
