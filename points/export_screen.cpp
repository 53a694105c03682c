// The point list's export: the job's points as a SIMA or CSV file in the
// job's folder, under a name that is free.
#include <filesystem>

#include "base/text_codec.h"
#include "frame/correction.h"
#include "frame/entry.h"
#include "frame/key_bar.h"
#include "list_screen.h"

namespace marula::points {

namespace {

namespace fs = std::filesystem;

// A file name made of a job's name: characters a folder name cannot hold
// become '_'.
std::string file_stem(std::string_view name) {
    std::string stem;
    for (char c : name) stem += (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
                                 c == '<' || c == '>' || c == '|' || (unsigned char)c < 0x20)
                                    ? '_'
                                    : c;
    if (stem.empty() || stem == "." || stem == "..") stem = "points";
    return stem;
}

// The first name free in `folder`: stem.ext, then stem_2.ext, stem_3.ext …
fs::path free_file_name(const fs::path& folder, const std::string& stem, std::string_view ext) {
    fs::path file = folder / fs::path(stem + std::string(ext));
    for (int n = 2; fs::exists(file); ++n) file = folder / fs::path(stem + "_" + std::to_string(n) + std::string(ext));
    return file;
}

}  // namespace

std::string export_points(Runtime& rt, Session& session) {
    erase_key_bar(rt, KeyBar::Table);
    std::optional<int> format;
    for (;;) {
        const std::string typed = trim_blanks(ask_text(rt, 2, "書き出す形式は（1:SIMA 2:CSV） "));
        if (typed.empty()) return {};
        if ((format = choice_of(typed, 2))) break;
        session.say("1か2を入力して下さい。");
    }
    const bool sima = format == 1;
    const auto bytes = sima ? session.job()->export_sima() : session.job()->export_csv();
    if (!bytes.ok()) {
        session.say(*bytes.trouble);
        return {};
    }
    const fs::path file = free_file_name(session.job()->folder(), file_stem(session.job()->display_name()), sima ? ".sim" : ".csv");
    if (job::save_file(file, bytes.value)) {
        session.say("書き出せません：" + file.string());
        return {};
    }
    return "書出：" + file.filename().string();
}

}  // namespace marula::points
