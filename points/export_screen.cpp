// The point list's export: the job's points as a SIMA or CSV file in the
// job's folder, under a name that is free.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/format.h"

#include "base/files.h"
#include "base/text_codec.h"
#include "frame/correction.h"
#include "frame/entry.h"
#include "frame/key_bar.h"
#include "frame/screen.h"
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

// The folder the file goes to: the job's own (shown on the status row and
// taken by Enter) or one typed, such as a USB stick or a CAD share. "~/" is
// the home folder, as at a shell; other relative paths start at the job's
// folder. A folder that is not there is said and asked again.
fs::path ask_export_folder(Runtime& rt, Session& session) {
    const fs::path job_folder = session.job()->folder();
    print_at(rt, 0, kStatusRow, std::string(kColumns, ' '), 0);
    const std::string label = " 現場のフォルダ：";
    print_at(rt, 0, kStatusRow, label + end_to_width(job_folder.string(), kColumns - 1 - display_width(label)),
             kMessageColor, kStylePlain);
    for (;;) {
        const std::string typed = trim_blanks(ask_text(rt, 2, "書出先フォルダは（Enterで現場のフォルダ） "));
        if (typed.empty()) return job_folder;
        fs::path folder = typed;
        if (const char* home = std::getenv("HOME"); home && *home && (typed == "~" || typed.starts_with("~/")))
            folder = typed == "~" ? fs::path(home) : fs::path(home) / typed.substr(2);
        if (folder.is_relative()) folder = job_folder / folder;
        std::error_code ec;
        if (fs::is_directory(folder, ec)) return folder;
        session.say("フォルダがありません：" + folder.string());
    }
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
    const fs::path folder = ask_export_folder(rt, session);
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
    if (auto err = write_free_file(folder, file_stem(session.job()->display_name()), sima ? ".sim" : ".csv", bytes,
                                   placed)) {
        session.say("書き出せません：" + *err);
        return {};
    }
    // Names stored before such names were refused: a spreadsheet would run
    // them, so they went out as text, and the user hears how many.
    if (formula_cells > 0)
        session.say("数式と取られる点名" + std::to_string(formula_cells) + "件は先頭に ' を付けて書き出しました。");
    // The file's name first: a long folder is what the row cuts.
    rt.say_until_key("書き出しました：" + placed + "（" + folder.string() + "）");
    return "書出：" + placed;
}

}  // namespace marula::points
