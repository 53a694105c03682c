// Byte sources over memory and over a file descriptor.
#include "base/byte_source.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace marula {

std::optional<std::string> StringSource::next(std::string_view& chunk) {
    const std::size_t size = std::min(chunk_bytes_, bytes_.size() - at_);
    chunk = bytes_.substr(at_, size);
    at_ += size;
    return std::nullopt;
}

std::optional<std::string> StringSource::rewind() {
    at_ = 0;
    return std::nullopt;
}

FdSource::FdSource(int fd, std::size_t chunk_bytes)
    : fd_(fd), start_(::lseek(fd, 0, SEEK_CUR)), buffer_(chunk_bytes == 0 ? 1 : chunk_bytes, '\0') {}

std::optional<std::string> FdSource::next(std::string_view& chunk) {
    chunk = {};
    while (true) {
        const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
        if (n >= 0) {
            chunk = std::string_view(buffer_.data(), std::size_t(n));
            return std::nullopt;
        }
        if (errno != EINTR) return std::string(std::strerror(errno));
    }
}

std::optional<std::string> FdSource::rewind() {
    if (start_ < 0 || ::lseek(fd_, start_, SEEK_SET) < 0) return std::string(std::strerror(start_ < 0 ? ESPIPE : errno));
    return std::nullopt;
}

}  // namespace marula
