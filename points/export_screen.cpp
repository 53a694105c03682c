// The point list's export: the job's points as a SIMA or CSV file in the
// job's folder, under a name that is free.
#include <filesystem>

#include "base/files.h"
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

// The n-th name tried: stem.ext, then stem_2.ext, stem_3.ext …, the stem
// cut (at a character) so the whole is a name the file system takes
// whatever the job's or its folder's name.
std::string numbered_name(const std::string& stem, std::string_view ext, int n) {
    const std::string tail = (n > 1 ? "_" + std::to_string(n) : std::string()) + std::string(ext);
    return cut_to_bytes(stem, kFileNameBytes - tail.size()) + tail;
}

// The most names tried before the folder is taken to be unwritable.
constexpr int kMostTries = 10000;

// Writes `bytes` whole into `folder` under the first free numbered name
// (a link, even a dangling one, is not free: nothing is ever replaced or
// written through). The name it took, or the message why it could not.
std::optional<std::string> write_free_file(const fs::path& folder, const std::string& stem, std::string_view ext,
                                           std::string_view bytes, std::string& placed) {
    WholeFile out;
    if (auto err = out.open(folder, numbered_name(stem, ext, 1))) return err;
    if (auto err = out.write(bytes)) return err;
    if (auto err = out.finish()) return err;
    for (int n = 1; n <= kMostTries; ++n) {
        bool taken = false;
        const std::string name = numbered_name(stem, ext, n);
        if (auto err = out.place(name, taken)) return err;
        if (taken) continue;
        placed = name;
        return std::nullopt;
    }
    return "空いているファイル名がありません";
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
    std::string bytes;
    int formula_cells = 0;
    if (sima) {
        auto read = session.job()->export_sima();
        if (!read.ok()) {
            session.say(*read.trouble);
            return {};
        }
        bytes = std::move(read.value);
    } else {
        auto read = session.job()->export_csv();
        if (!read.ok()) {
            session.say(*read.trouble);
            return {};
        }
        bytes = std::move(read.value.bytes);
        formula_cells = read.value.formula_cells;
    }
    std::string placed;
    if (auto err = write_free_file(session.job()->folder(), file_stem(session.job()->display_name()),
                                   sima ? ".sim" : ".csv", bytes, placed)) {
        session.say("書き出せません：" + *err);
        return {};
    }
    // Names stored before such names were refused: a spreadsheet would run
    // them, so they went out as text, and the user hears how many.
    if (formula_cells > 0)
        session.say("数式と取られる点名" + std::to_string(formula_cells) + "件は先頭に ' を付けて書き出しました。");
    return "書出：" + placed;
}

}  // namespace marula::points
