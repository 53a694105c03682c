#include "base/files.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <random>

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

// A name no other writer picks: a dot, the final name, a random tail.
std::string temporary_name(std::string_view name) {
    static std::mt19937_64 random{std::random_device{}() ^ std::uint64_t(::getpid())};
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string out = ".";
    out += name;
    out += '.';
    for (int i = 0; i < 8; ++i) out += kDigits[random() % 36];
    out += ".tmp";
    return out;
}

// The temporaries being written, removed should the program be ended by a
// signal meanwhile (the handler may only unlink and raise). A program has
// one page in hand at a time, so a few places are plenty.
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
struct Unfinished {
    volatile sig_atomic_t used = 0;
    char path[PATH_MAX] = {};
};
Unfinished unfinished[8];
int held = 0;
struct sigaction before[std::size(kSignals)];
bool installed[std::size(kSignals)] = {};

void end_unfinished(int signal) {
    for (Unfinished& u : unfinished)
        if (u.used) ::unlink(u.path);
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        if (kSignals[i] == signal) ::sigaction(signal, &before[i], nullptr);
    ::raise(signal);
}

// Marks a temporary as unfinished; -1 when no place is free (it is then
// not removed on a signal, and nothing else changes).
int hold_unfinished(const std::filesystem::path& file) {
    if (file.native().size() >= PATH_MAX) return -1;
    for (int i = 0; i < int(std::size(unfinished)); ++i) {
        Unfinished& u = unfinished[i];
        if (u.used) continue;
        std::memcpy(u.path, file.c_str(), file.native().size() + 1);
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
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = dir / temporary_name(name);
        fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd_ >= 0) {
            temporary_ = std::move(candidate);
            slot_ = hold_unfinished(temporary_);
            return std::nullopt;
        }
        if (errno != EEXIST) break;
    }
    return trouble(name_, errno);
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

std::optional<std::string> WholeFile::replace(const std::filesystem::path& file) {
    if (temporary_.empty() || fd_ >= 0) return trouble(name_, EBADF);
    if (::rename(temporary_.c_str(), file.c_str()) != 0) return trouble(name_, errno);
    placed_ = file;
    temporary_.clear();
    release_unfinished(slot_);
    slot_ = -1;
    return std::nullopt;
}

std::optional<std::string> WholeFile::place(const std::filesystem::path& file, bool& taken) {
    taken = false;
    if (temporary_.empty() || fd_ >= 0) return trouble(name_, EBADF);
    if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, file.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno == EEXIST) {
            taken = true;
            return std::nullopt;
        }
        return trouble(file.filename().string(), errno);
    }
    placed_ = file;
    return std::nullopt;
}

void WholeFile::unplace() {
    if (placed_.empty() || temporary_.empty()) return;
    if (::renameat2(AT_FDCWD, placed_.c_str(), AT_FDCWD, temporary_.c_str(), RENAME_NOREPLACE) != 0)
        ::unlink(placed_.c_str());
    placed_.clear();
}

void WholeFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty() && placed_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    placed_.clear();
    release_unfinished(slot_);
    slot_ = -1;
}

std::optional<std::string> write_whole_file(const std::filesystem::path& file, std::string_view content) {
    WholeFile out;
    const std::string name = file.filename().string();
    auto dir = file.parent_path();
    if (dir.empty()) dir = ".";
    if (auto err = out.open(dir, name)) return err;
    if (auto err = out.write(content)) return err;
    if (auto err = out.finish()) return err;
    return out.replace(file);
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
