// Bytes handed out a chunk at a time, and from the start again on request:
// a reader that needs two passes over a file (one to tell its encoding, one
// to read its records) then holds one chunk of it, whatever its size.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace marula {

inline constexpr std::size_t kChunkBytes = std::size_t(64) << 10;

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The next chunk, valid until the next call; empty at the end. A
    // message when the bytes cannot be read (`chunk` is then empty).
    virtual std::optional<std::string> next(std::string_view& chunk) = 0;
    // Back to the first byte; a message when that cannot be done.
    virtual std::optional<std::string> rewind() = 0;
};

// Bytes already in memory, handed out `chunk_bytes` at a time (a small
// chunk makes every line cross a chunk's end, which tests want).
class StringSource final : public ByteSource {
public:
    explicit StringSource(std::string_view bytes, std::size_t chunk_bytes = kChunkBytes)
        : bytes_(bytes), chunk_bytes_(chunk_bytes == 0 ? 1 : chunk_bytes) {}
    std::optional<std::string> next(std::string_view& chunk) override;
    std::optional<std::string> rewind() override;

private:
    std::string_view bytes_;
    std::size_t chunk_bytes_;
    std::size_t at_ = 0;
};

// A file descriptor opened elsewhere (and closed there), read with read(2)
// from where it stood when handed over; rewinding seeks back there, so it
// must be a regular file. Interrupted reads are taken again.
class FdSource final : public ByteSource {
public:
    explicit FdSource(int fd, std::size_t chunk_bytes = kChunkBytes);
    std::optional<std::string> next(std::string_view& chunk) override;
    std::optional<std::string> rewind() override;

private:
    int fd_;
    long long start_;  // the offset at hand-over; -1 when it cannot seek
    std::string buffer_;
};

}  // namespace marula
