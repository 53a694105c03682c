#include "files.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>

namespace marula {

namespace {

bool put(const std::filesystem::path& file, std::string_view content, const char* mode) {
    std::FILE* out = std::fopen(file.c_str(), mode);
    if (out == nullptr) return false;
    const bool written = std::fwrite(content.data(), 1, content.size(), out) == content.size();
    return std::fclose(out) == 0 && written;
}

}  // namespace

std::optional<std::string> read_file(const std::filesystem::path& file) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.c_str(), "rb"), &std::fclose);
    if (!in) return std::nullopt;
    // Read in one go at the size the file has now; a file that grows
    // meanwhile is read on to its end.
    struct stat info{};
    std::string content;
    if (::fstat(::fileno(in.get()), &info) == 0 && S_ISREG(info.st_mode)) content.resize(std::size_t(info.st_size));
    std::size_t filled = std::fread(content.data(), 1, content.size(), in.get());
    content.resize(filled);
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, in.get())) > 0;) content.append(chunk, n);
    if (std::ferror(in.get())) return std::nullopt;
    return content;
}

bool write_file(const std::filesystem::path& file, std::string_view content) { return put(file, content, "wb"); }

bool append_file(const std::filesystem::path& file, std::string_view content) { return put(file, content, "ab"); }

}  // namespace marula
