// A disk that fails on purpose, for tests (the tests run as root, which
// permission bits do not stop). Preloaded into a program with
//
//   LD_PRELOAD=libmarula_disk_faults.so
//   DISK_FAULT_PATH=print      fail only files whose path holds this text
//   DISK_FAULT_CALL=write      open (for writing or creating), write,
//                              fsync, rename, renameat2 (that one alone)
//                              or readlink
//   DISK_FAULT_ERRNO=ENOSPC    ENOSPC, EIO, EACCES or EINVAL; or STALL, or STOP
//   DISK_FAULT_AFTER=N         let the first N matching calls through
//                              (default 0)
//
// the chosen call fails with the chosen error for every matching file (or,
// with STALL, never returns, as on a hung disk, until a signal ends the
// program; with STOP, the program stops itself (SIGSTOP) once, at that
// call, and the call goes through when it is continued: a test can then
// act while the program holds what it holds); everything else goes through
// to the C library. A read-only
// folder is CALL=open with EACCES; a disk that fills up partway is
// CALL=write with ENOSPC and AFTER=N; a file system that cannot rename
// without replacing is CALL=renameat2 with EINVAL.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdarg>
#include <cstdlib>

namespace {

template <typename F>
F next(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

const char* setting(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? v : nullptr;
}

bool armed_for(const char* call) {
    const char* chosen = setting("DISK_FAULT_CALL");
    return chosen != nullptr && ::strcmp(chosen, call) == 0 && setting("DISK_FAULT_PATH") != nullptr;
}

bool path_matches(const char* path) { return path != nullptr && ::strstr(path, setting("DISK_FAULT_PATH")) != nullptr; }

bool fd_matches(int fd) {
    char link[64];
    ::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    static auto real = next<ssize_t (*)(const char*, char*, size_t)>("readlink");
    const ssize_t n = real(link, target, sizeof target - 1);
    if (n <= 0) return false;
    target[n] = '\0';
    return path_matches(target);
}

std::atomic<long> matching_calls{0};

// Whether this matching call is to fail: the first DISK_FAULT_AFTER go
// through. Sets errno (or stalls) when it does.
bool fails_now() {
    const char* after = setting("DISK_FAULT_AFTER");
    const long allowed = after != nullptr ? std::atol(after) : 0;
    if (matching_calls.fetch_add(1) < allowed) return false;
    const char* e = setting("DISK_FAULT_ERRNO");
    if (e != nullptr && ::strcmp(e, "STALL") == 0)
        for (;;) ::pause();
    if (e != nullptr && ::strcmp(e, "STOP") == 0) {
        static std::atomic<bool> stopped{false};
        if (!stopped.exchange(true)) ::raise(SIGSTOP);
        return false;
    }
    if (e != nullptr && ::strcmp(e, "EIO") == 0)
        errno = EIO;
    else if (e != nullptr && ::strcmp(e, "EACCES") == 0)
        errno = EACCES;
    else if (e != nullptr && ::strcmp(e, "EINVAL") == 0)
        errno = EINVAL;
    else
        errno = ENOSPC;
    return true;
}

bool fails_fd(const char* call, int fd) { return armed_for(call) && fd_matches(fd) && fails_now(); }

bool fails_path(const char* call, const char* path) { return armed_for(call) && path_matches(path) && fails_now(); }

// Opening fails only when it would write or create.
bool fails_open(const char* path, int flags) {
    return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0 && fails_path("open", path);
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
    static auto real = next<int (*)(const char*, int, ...)>("open");
    return fails_open(path, flags) ? -1 : real(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_argument(flags, args);
    va_end(args);
    static auto real = next<int (*)(const char*, int, ...)>("open64");
    return fails_open(path, flags) ? -1 : real(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_argument(flags, args);
    va_end(args);
    static auto real = next<int (*)(int, const char*, int, ...)>("openat");
    return fails_open(path, flags) ? -1 : real(dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_argument(flags, args);
    va_end(args);
    static auto real = next<int (*)(int, const char*, int, ...)>("openat64");
    return fails_open(path, flags) ? -1 : real(dir, path, flags, mode);
}

ssize_t write(int fd, const void* buf, size_t count) {
    static auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    return fails_fd("write", fd) ? -1 : real(fd, buf, count);
}

ssize_t writev(int fd, const struct iovec* iov, int count) {
    static auto real = next<ssize_t (*)(int, const struct iovec*, int)>("writev");
    return fails_fd("write", fd) ? -1 : real(fd, iov, count);
}

ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset) {
    static auto real = next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    return fails_fd("write", fd) ? -1 : real(fd, buf, count, offset);
}

ssize_t pwrite64(int fd, const void* buf, size_t count, off64_t offset) {
    static auto real = next<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    return fails_fd("write", fd) ? -1 : real(fd, buf, count, offset);
}

int fsync(int fd) {
    static auto real = next<int (*)(int)>("fsync");
    return fails_fd("fsync", fd) ? -1 : real(fd);
}

int fdatasync(int fd) {
    static auto real = next<int (*)(int)>("fdatasync");
    return fails_fd("fsync", fd) ? -1 : real(fd);
}

ssize_t readlink(const char* path, char* buf, size_t size) {
    static auto real = next<ssize_t (*)(const char*, char*, size_t)>("readlink");
    return fails_path("readlink", path) ? -1 : real(path, buf, size);
}

int rename(const char* from, const char* to) {
    static auto real = next<int (*)(const char*, const char*)>("rename");
    return armed_for("rename") && (path_matches(from) || path_matches(to)) && fails_now() ? -1 : real(from, to);
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) {
    static auto real = next<int (*)(int, const char*, int, const char*)>("renameat");
    return armed_for("rename") && (path_matches(from) || path_matches(to)) && fails_now()
               ? -1
               : real(from_dir, from, to_dir, to);
}

int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned int flags) {
    static auto real = next<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2");
    return (armed_for("rename") || armed_for("renameat2")) && (path_matches(from) || path_matches(to)) && fails_now()
               ? -1
               : real(from_dir, from, to_dir, to, flags);
}

}  // extern "C"
