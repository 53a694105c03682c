#include "files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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
