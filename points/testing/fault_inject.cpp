// For tests only, loaded with LD_PRELOAD: makes chosen system calls fail
// the way a read-only folder or a full disk makes them fail, for programs
// run as root (which ignores permission bits).
//
//   MARULA_FAULT_READ_ONLY=TEXT   opening a path that contains TEXT for
//                                 writing (or creating it) fails with EACCES
//   MARULA_FAULT_DISK_FULL=TEXT   writes to a file whose path contains TEXT
//                                 fail with ENOSPC, after
//   MARULA_FAULT_WRITES_BEFORE=N  N such writes have succeeded (default 0)
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

bool matches(const char* variable, const char* path) {
    const char* text = std::getenv(variable);
    return text && *text && path && std::strstr(path, text) != nullptr;
}

bool denied_open(const char* path, int flags) {
    return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0 && matches("MARULA_FAULT_READ_ONLY", path);
}

std::atomic<long> writes_seen{0};

// Whether this write to `fd` is to fail as on a full disk.
bool disk_full(int fd) {
    const char* text = std::getenv("MARULA_FAULT_DISK_FULL");
    if (!text || !*text) return false;
    char link[64];
    char path[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0) return false;
    path[n] = '\0';
    if (std::strstr(path, text) == nullptr) return false;
    const char* before = std::getenv("MARULA_FAULT_WRITES_BEFORE");
    const long allowed = before ? std::atol(before) : 0;
    return writes_seen.fetch_add(1) >= allowed;
}

template <class F>
F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

mode_t mode_argument(int flags, va_list args) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_argument(flags, args);
    va_end(args);
    if (denied_open(path, flags)) {
        errno = EACCES;
        return -1;
    }
    static auto real = next<int (*)(const char*, int, ...)>("open");
    return real(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_argument(flags, args);
    va_end(args);
    if (denied_open(path, flags)) {
        errno = EACCES;
        return -1;
    }
    static auto real = next<int (*)(const char*, int, ...)>("open64");
    return real(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_argument(flags, args);
    va_end(args);
    if (denied_open(path, flags)) {
        errno = EACCES;
        return -1;
    }
    static auto real = next<int (*)(int, const char*, int, ...)>("openat");
    return real(dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_argument(flags, args);
    va_end(args);
    if (denied_open(path, flags)) {
        errno = EACCES;
        return -1;
    }
    static auto real = next<int (*)(int, const char*, int, ...)>("openat64");
    return real(dir, path, flags, mode);
}

ssize_t write(int fd, const void* buf, size_t count) {
    if (disk_full(fd)) {
        errno = ENOSPC;
        return -1;
    }
    static auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    return real(fd, buf, count);
}

ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset) {
    if (disk_full(fd)) {
        errno = ENOSPC;
        return -1;
    }
    static auto real = next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    return real(fd, buf, count, offset);
}

ssize_t pwrite64(int fd, const void* buf, size_t count, off64_t offset) {
    if (disk_full(fd)) {
        errno = ENOSPC;
        return -1;
    }
    static auto real = next<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    return real(fd, buf, count, offset);
}

}  // extern "C"
