// Bitmaps drawn from files, and the start and end of programs.
#include "runtime.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <utility>

#include "bitmap.h"
#include "modules.h"
#include "runtime_internal.h"

namespace marula {

using namespace detail;

namespace {

// Whether exec can start the file: a regular, executable file that is a
// program (ELF) or a script (#!). Told before the window is given up, so a
// program that cannot start leaves the caller standing.
bool startable(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat info{};
    char head[4] = {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const bool read = regular && ::read(fd, head, sizeof head) == ssize_t(sizeof head);
    ::close(fd);
    if (!read || ::access(file.c_str(), X_OK) != 0) return false;
    return std::memcmp(head, "\x7f" "ELF", 4) == 0 || std::memcmp(head, "#!", 2) == 0;
}

}  // namespace

const Picture* Runtime::picture(std::string_view file_name) {
    const std::string key(file_name);
    if (auto found = pictures_.find(key); found != pictures_.end()) return &found->second;
    std::filesystem::path name{std::u8string(file_name.begin(), file_name.end())};
    auto dir = executable_dir();
    const std::filesystem::path candidates[] = {
        name, dir / name, dir / ".." / "share" / "marula" / name, dir / ".." / ".." / "share" / "marula" / name};
    std::string why = "not found";
    for (const auto& path : candidates) {
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) continue;
        Picture loaded;
        if (auto err = load_bmp(path, loaded)) {
            why = *err;
            continue;
        }
        // Kept: the opening draws the same picture again as it moves.
        return &pictures_.emplace(key, std::move(loaded)).first->second;
    }
    log_event("error bitmap " + key + ": " + why);
    return nullptr;
}

void Runtime::draw_bitmap(std::string_view file_name, int x, int y) {
    const Picture* shown = picture(file_name);
    if (shown == nullptr) return;
    // Row by row, cut to the viewport.
    const int first = std::max(x, vx1_);
    const int last = int(std::min<long long>(static_cast<long long>(x) + shown->width - 1, vx2_));
    if (first > last) return;
    for (int by = 0; by < shown->height; ++by) {
        const int row = y + by;
        if (row < vy1_ || row > vy2_) continue;
        pixels_.set_row(first, row, shown->colours.data() + std::size_t(by) * shown->width + (first - x), last - first + 1);
    }
}

void Runtime::run(std::string_view requested) {
    std::string name;
    for (char c : requested) name += char(std::tolower(static_cast<unsigned char>(c)));
    if (name.size() > 4 && name.ends_with(".exe")) name.resize(name.size() - 4);
    if (replaying_) return;  // a replay starts no program
    log_event("run " + name);
    bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return std::islower(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) || c == '_';
    });
    const auto dir = executable_dir();
    const auto path = dir / name;
    const bool exists = plain && !dir.empty() && ::access(path.c_str(), F_OK) == 0;
    if (exists && startable(path)) {
        std::string self;
        for (char c : program_) self += char(std::tolower(static_cast<unsigned char>(c)));
        journal_end(name == self ? RunEnding::reinput : name == menu_program_ ? RunEnding::menu : RunEnding::run, true);
        present();
        if (before_run_) std::exchange(before_run_, nullptr)();
        setenv("MARULA_SCRIPT_OFFSET", std::to_string(backend_->script_offset()).c_str(), 1);
        if (auto place = backend_->window_placement(); !place.empty()) setenv("MARULA_WINDOW_POS", place.c_str(), 1);
        backend_.reset();  // closes the window before the next program opens its own
        char* argv[] = {name.data(), nullptr};
        ::execv(path.c_str(), argv);
        // exec failed: nothing sensible is left to show on; report and stop.
        std::fprintf(stderr, "%s: cannot start %s\n", program_.c_str(), path.c_str());
        std::exit(1);
    }
    log_event((exists ? "error program cannot be started: " : "error program not found: ") + name);
    notice("プログラム「" + name + "」が見つかりません。");
}

void Runtime::end() {
    journal_end(RunEnding::end, true);
    log_event("end");
    // Script mode keeps the last screen (the farewell) as final.*.
    if (backend_->script_mode()) snap("final");
    present();
    if (!backend_->virtual_clock()) wait(150);  // the farewell stays a moment before the window closes
    std::exit(0);
}

}  // namespace marula
