// A disk that fails on purpose, for tests (the tests run as root, which
// permission bits do not stop). Preloaded into a program with
//
//   LD_PRELOAD=libmarula_disk_faults.so
//   DISK_FAULT_PATH=print      fail only files whose path holds this text
//   DISK_FAULT_CALL=write      write, fsync, rename or readlink
//   DISK_FAULT_ERRNO=ENOSPC    ENOSPC, EIO or EACCES; or STALL
//
// the chosen call fails with the chosen error for every matching file (or,
// with STALL, never returns, as on a hung disk, until a signal ends the
// program); everything else goes through to the C library.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/uio.h>
#include <unistd.h>

#include <csignal>
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

int chosen_errno() {
    const char* e = setting("DISK_FAULT_ERRNO");
    if (e != nullptr && ::strcmp(e, "STALL") == 0)
        for (;;) ::pause();
    if (e != nullptr && ::strcmp(e, "EIO") == 0) return EIO;
    if (e != nullptr && ::strcmp(e, "EACCES") == 0) return EACCES;
    return ENOSPC;
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

}  // namespace

extern "C" {

ssize_t write(int fd, const void* buf, size_t count) {
    static auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    if (armed_for("write") && fd_matches(fd)) {
        errno = chosen_errno();
        return -1;
    }
    return real(fd, buf, count);
}

ssize_t writev(int fd, const struct iovec* iov, int count) {
    static auto real = next<ssize_t (*)(int, const struct iovec*, int)>("writev");
    if (armed_for("write") && fd_matches(fd)) {
        errno = chosen_errno();
        return -1;
    }
    return real(fd, iov, count);
}

int fsync(int fd) {
    static auto real = next<int (*)(int)>("fsync");
    if (armed_for("fsync") && fd_matches(fd)) {
        errno = chosen_errno();
        return -1;
    }
    return real(fd);
}

int fdatasync(int fd) {
    static auto real = next<int (*)(int)>("fdatasync");
    if (armed_for("fsync") && fd_matches(fd)) {
        errno = chosen_errno();
        return -1;
    }
    return real(fd);
}

ssize_t readlink(const char* path, char* buf, size_t size) {
    static auto real = next<ssize_t (*)(const char*, char*, size_t)>("readlink");
    if (armed_for("readlink") && path_matches(path)) {
        errno = chosen_errno();
        return -1;
    }
    return real(path, buf, size);
}

int rename(const char* from, const char* to) {
    static auto real = next<int (*)(const char*, const char*)>("rename");
    if (armed_for("rename") && (path_matches(from) || path_matches(to))) {
        errno = chosen_errno();
        return -1;
    }
    return real(from, to);
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) {
    static auto real = next<int (*)(int, const char*, int, const char*)>("renameat");
    if (armed_for("rename") && (path_matches(from) || path_matches(to))) {
        errno = chosen_errno();
        return -1;
    }
    return real(from_dir, from, to_dir, to);
}

int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned int flags) {
    static auto real = next<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2");
    if (armed_for("rename") && (path_matches(from) || path_matches(to))) {
        errno = chosen_errno();
        return -1;
    }
    return real(from_dir, from, to_dir, to, flags);
}

}  // extern "C"
