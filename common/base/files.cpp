#include "base/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <iterator>
#include <random>
#include <utility>

namespace marula {

namespace {

std::string trouble(const std::string& name, int error) { return name + "：" + std::strerror(error); }

// Writes all the bytes, going on after short writes and interruptions.
bool write_all(int fd, std::string_view bytes, int& error) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        if (n == 0) {
            error = EIO;
            return false;
        }
        bytes.remove_prefix(std::size_t(n));
    }
    return true;
}

// The characters of a temporary's random tail.
constexpr std::string_view kTailDigits = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr std::size_t kTailLength = 8;
constexpr std::string_view kTemporaryEnd = ".tmp";

// A name no other writer picks: a dot, the final name (cut so the whole
// stays a name the file system takes), a dot, a random tail, ".tmp".
std::string temporary_name(std::string_view name) {
    static std::mt19937_64 random{std::random_device{}() ^ std::uint64_t(::getpid())};
    std::string out = ".";
    out += cut_to_bytes(name, kFileNameBytes - 2 - kTailLength - kTemporaryEnd.size());
    out += '.';
    for (std::size_t i = 0; i < kTailLength; ++i) out += kTailDigits[random() % kTailDigits.size()];
    out += kTemporaryEnd;
    return out;
}

// The temporaries being written, removed should the program be ended by a
// signal meanwhile (the handler may only unlink and raise). A program has
// one page in hand at a time, so a few places are plenty.
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
struct Unfinished {
    volatile sig_atomic_t used = 0;
    int dir = -1;
    char name[NAME_MAX + 1] = {};
};
Unfinished unfinished[8];
int held = 0;
struct sigaction before[std::size(kSignals)];
bool installed[std::size(kSignals)] = {};

void end_unfinished(int signal) {
    for (Unfinished& u : unfinished)
        if (u.used) ::unlinkat(u.dir, u.name, 0);
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        if (kSignals[i] == signal) ::sigaction(signal, &before[i], nullptr);
    ::raise(signal);
}

// Marks a temporary as unfinished; -1 when no place is free (it is then
// not removed on a signal, and nothing else changes).
int hold_unfinished(int dir, const std::string& name) {
    if (name.size() > NAME_MAX) return -1;
    for (int i = 0; i < int(std::size(unfinished)); ++i) {
        Unfinished& u = unfinished[i];
        if (u.used) continue;
        u.dir = dir;
        std::memcpy(u.name, name.c_str(), name.size() + 1);
        u.used = 1;
        if (held++ == 0) {
            // Only signals that would end the program anyway are taken over.
            for (std::size_t s = 0; s < std::size(kSignals); ++s) {
                installed[s] = false;
                if (::sigaction(kSignals[s], nullptr, &before[s]) != 0 || before[s].sa_handler != SIG_DFL) continue;
                struct sigaction action{};
                action.sa_handler = &end_unfinished;
                sigemptyset(&action.sa_mask);
                for (int other : kSignals) sigaddset(&action.sa_mask, other);
                installed[s] = ::sigaction(kSignals[s], &action, nullptr) == 0;
            }
        }
        return i;
    }
    return -1;
}

void release_unfinished(int slot) {
    if (slot < 0) return;
    unfinished[slot].used = 0;
    if (--held == 0)
        for (std::size_t s = 0; s < std::size(kSignals); ++s)
            if (installed[s]) ::sigaction(kSignals[s], &before[s], nullptr);
}

// File systems that cannot rename without replacing (some network shares
// and USB sticks) say so with one of these.
bool refuses_noreplace(int error) { return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP; }

// Moves `from` to `to` within the folder only when `to` is free: 0 when
// done, else the error (EEXIST: `to` is taken, a link included). Where the
// flag is refused, a hard link does the same check (it never replaces and
// never follows a link at `to`), and the old name is then unlinked.
int move_to_free_name(int dir, const std::string& from, const std::string& to) {
    if (::renameat2(dir, from.c_str(), dir, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (!refuses_noreplace(errno)) return errno;
    if (::linkat(dir, from.c_str(), dir, to.c_str(), 0) != 0) return errno;
    ::unlinkat(dir, from.c_str(), 0);
    return 0;
}

}  // namespace

std::optional<std::string> read_file(const std::filesystem::path& file, std::size_t limit) {
    // Opened without waiting on a FIFO; only a regular file is read.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat info{};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || std::size_t(info.st_size) > limit) {
        ::close(fd);
        return std::nullopt;
    }
    std::string content(std::size_t(info.st_size), '\0');
    std::size_t filled = 0;
    for (;;) {
        // A file that grows meanwhile is read on, up to the limit.
        if (filled == content.size()) {
            if (content.size() >= limit) {
                char probe;
                const ssize_t more = ::read(fd, &probe, 1);
                ::close(fd);
                if (more != 0) return std::nullopt;
                return content;
            }
            content.resize(std::min(limit, content.size() + 4096));
        }
        const ssize_t n = ::read(fd, content.data() + filled, content.size() - filled);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        filled += std::size_t(n);
    }
    ::close(fd);
    content.resize(filled);
    return content;
}

WholeFile::~WholeFile() { discard(); }

std::optional<std::string> WholeFile::open(const std::filesystem::path& dir, std::string_view name) {
    discard();
    name_ = std::string(name);
    const int folder = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return trouble(name_, errno);
    auto err = open_in(folder, name);
    ::close(folder);
    return err;
}

std::optional<std::string> WholeFile::open_in(int dir_fd, std::string_view name) {
    discard();
    name_ = std::string(name);
    dir_ = ::fcntl(dir_fd, F_DUPFD_CLOEXEC, 0);
    if (dir_ < 0) return trouble(name_, errno);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = temporary_name(name);
        fd_ = ::openat(dir_, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd_ >= 0) {
            temporary_ = std::move(candidate);
            slot_ = hold_unfinished(dir_, temporary_);
            return std::nullopt;
        }
        if (errno != EEXIST) break;
    }
    const int error = errno;
    discard();
    return trouble(name_, error);
}

std::optional<std::string> WholeFile::write(std::string_view bytes) {
    int error = 0;
    if (fd_ < 0) return trouble(name_, EBADF);
    if (!write_all(fd_, bytes, error)) return trouble(name_, error);
    return std::nullopt;
}

std::optional<std::string> WholeFile::finish() {
    if (fd_ < 0) return trouble(name_, EBADF);
    const int fd = fd_;
    fd_ = -1;
    if (::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        return trouble(name_, error);
    }
    if (::close(fd) != 0) return trouble(name_, errno);
    return std::nullopt;
}

std::optional<std::string> WholeFile::replace(std::string_view name) {
    if (temporary_.empty() || fd_ >= 0 || !placed_.empty()) return trouble(name_, EBADF);
    const std::string target(name);
    // A free name is taken as place() takes it; a regular file is renamed
    // over; anything else is no file of ours to replace. Should the name be
    // taken between the look and the move, it is looked at again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        struct stat info{};
        if (::fstatat(dir_, target.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) return trouble(target, errno);
            const int error = move_to_free_name(dir_, temporary_, target);
            if (error == EEXIST) continue;
            if (error != 0) return trouble(target, error);
        } else if (!S_ISREG(info.st_mode)) {
            return target + "：通常のファイルではないので置き換えません";
        } else if (::renameat(dir_, temporary_.c_str(), dir_, target.c_str()) != 0) {
            return trouble(target, errno);
        }
        placed_ = target;
        temporary_.clear();
        release_unfinished(slot_);
        slot_ = -1;
        return std::nullopt;
    }
    return trouble(target, EEXIST);
}

std::optional<std::string> WholeFile::place(std::string_view name, bool& taken) {
    taken = false;
    if (temporary_.empty() || fd_ >= 0 || !placed_.empty()) return trouble(name_, EBADF);
    const std::string target(name);
    const int error = move_to_free_name(dir_, temporary_, target);
    if (error == EEXIST) {
        taken = true;
        return std::nullopt;
    }
    if (error != 0) return trouble(target, error);
    placed_ = target;
    return std::nullopt;
}

void WholeFile::unplace() {
    if (placed_.empty() || temporary_.empty()) return;
    if (move_to_free_name(dir_, placed_, temporary_) != 0) ::unlinkat(dir_, placed_.c_str(), 0);
    placed_.clear();
}

void WholeFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty() && placed_.empty()) ::unlinkat(dir_, temporary_.c_str(), 0);
    release_unfinished(slot_);
    slot_ = -1;
    if (dir_ >= 0) ::close(dir_);
    dir_ = -1;
    temporary_.clear();
    placed_.clear();
}

namespace {

// The folder and name of a file given by its path.
std::pair<std::filesystem::path, std::string> split(const std::filesystem::path& file) {
    std::filesystem::path dir = file.parent_path();
    if (dir.empty()) dir = ".";
    return {dir, file.filename().string()};
}

}  // namespace

std::optional<std::string> write_whole_file(const std::filesystem::path& file, std::string_view content) {
    WholeFile out;
    const auto [dir, name] = split(file);
    if (auto err = out.open(dir, name)) return err;
    if (auto err = out.write(content)) return err;
    if (auto err = out.finish()) return err;
    return out.replace(name);
}

std::optional<std::string> write_new_file(const std::filesystem::path& file, std::string_view content, bool& taken) {
    taken = false;
    WholeFile out;
    const auto [dir, name] = split(file);
    if (auto err = out.open(dir, name)) return err;
    if (auto err = out.write(content)) return err;
    if (auto err = out.finish()) return err;
    return out.place(name, taken);
}

bool is_whole_file_temporary(std::string_view file_name) {
    // ".NAME.XXXXXXXX.tmp": at least one character of NAME.
    constexpr std::size_t kTail = 1 + kTailLength + kTemporaryEnd.size();
    if (file_name.size() < 2 + kTail || file_name.front() != '.' || !file_name.ends_with(kTemporaryEnd)) return false;
    const std::string_view tail = file_name.substr(file_name.size() - kTail, 1 + kTailLength);
    return tail.front() == '.' &&
           tail.substr(1).find_first_not_of(kTailDigits) == std::string_view::npos;
}

int remove_stale_temporaries(int dir_fd, int age_seconds) {
    const int listed = ::openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listed < 0) return 0;
    DIR* dir = ::fdopendir(listed);
    if (dir == nullptr) {
        ::close(listed);
        return 0;
    }
    const std::time_t before = std::time(nullptr) - age_seconds;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (!is_whole_file_temporary(entry->d_name)) continue;
        struct stat info{};
        if (::fstatat(dir_fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) continue;
        if (info.st_mtime >= before) continue;  // perhaps being written right now
        if (::unlinkat(dir_fd, entry->d_name, 0) == 0) ++removed;
    }
    ::closedir(dir);
    return removed;
}

std::string cut_to_bytes(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes) return std::string(text);
    std::size_t end = bytes;
    // Back over continuation bytes to the start of the character cut through.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return std::string(text.substr(0, end));
}

std::optional<std::string> append_to_file(const std::filesystem::path& file, std::string_view content) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    const std::string name = file.filename().string();
    if (fd < 0) return trouble(name, errno);
    int error = 0;
    const bool written = write_all(fd, content, error);
    if (::close(fd) != 0 && written) return trouble(name, errno);
    if (!written) return trouble(name, error);
    return std::nullopt;
}

}  // namespace marula
