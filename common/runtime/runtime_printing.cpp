// The printer: LPRINT, pages and hard copies saved whole and numbered, and
// sent to the system printer.
#include "runtime.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/files.h"
#include "module_entries.h"
#include "pdf_writer.h"
#include "runtime_internal.h"

namespace marula {

using namespace detail;

void Runtime::printer_reset() { printer_ = Printer{}; }
void Runtime::printer_mode(int paper, int orientation) { printer_.set_paper(paper, orientation); }
void Runtime::printer_font(int size) { printer_.set_font(size); }
void Runtime::printer_pitch(int char_pitch, int line_pitch) { printer_.set_pitch(char_pitch, line_pitch); }

namespace {

// The PDF writers, from their module on the first print (cairo and what it
// pulls in are not loaded by programs that never print).
const PdfWriters* pdf_writers(std::string& why) {
    static PdfWriters writers{};
    if (writers.page == nullptr) {
        auto entry = modules::load(modules::kPdf, why);
        if (entry == nullptr) return nullptr;
        entry(&writers);
    }
    return &writers;
}

// One of the files of a printed page, made under a temporary name.
struct PageFile {
    const char* ext;
    WholeFile file;
};

// A folder held open while a page is filed in it.
struct OpenFolder {
    int fd = -1;
    explicit OpenFolder(int descriptor) : fd(descriptor) {}
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    ~OpenFolder() {
        if (fd >= 0) ::close(fd);
    }
};

std::string trouble(std::string_view name, int error) { return std::string(name) + "：" + std::strerror(error); }

// Gives the finished files of a page one number: each is renamed into place
// as STEM-N.EXT for the first N at which none of a page's names is taken,
// never replacing anything (pages printed at once by several programs into
// one folder never take each other's place) and never through a link (a
// link, even a dangling one, holds its name). `base` is STEM-N.
// Numbers are written with at least `digits` digits (zeros in front).
std::optional<std::string> place_numbered(int dir, std::string_view stem, std::initializer_list<PageFile*> files,
                                          std::string& base, int digits = 1) {
    constexpr int kMostPages = 1000000;
    for (int n = 1; n <= kMostPages; ++n) {
        std::string number = std::to_string(n);
        if (int(number.size()) < digits) number.insert(0, std::size_t(digits) - number.size(), '0');
        const std::string candidate = std::string(stem) + "-" + number;
        bool free = true;
        for (const char* ext : {".pdf", ".txt", ".png"}) {
            struct stat info{};
            if (::fstatat(dir, (candidate + ext).c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) free = false;
        }
        if (!free) continue;
        std::vector<PageFile*> placed;
        bool taken = false;
        for (PageFile* f : files) {
            if (auto err = f->file.place(candidate + f->ext, taken)) {
                for (PageFile* p : placed) p->file.unplace();
                return err;
            }
            if (taken) break;
            placed.push_back(f);
        }
        if (taken) {
            for (PageFile* p : placed) p->file.unplace();
            continue;
        }
        base = candidate;
        return std::nullopt;
    }
    return std::string(stem) + "：空いている番号がありません";
}

using PageContent = Runtime::PageContent;

// Writes `content` whole into a temporary of `page` in the folder `dir`.
std::optional<std::string> make_page_file(PageFile& page, int dir, std::string_view stem, const PageContent& content) {
    if (auto err = page.file.open_in(dir, std::string(stem) + page.ext)) return err;
    if (auto err = content(page.file)) return err;
    return page.file.finish();
}

// The filing folder `name` in the folder `parent`, opened without following
// a link (made when missing: a reports folder removed by hand comes back).
// Its descriptor, or -1 with `error` set.
int open_filing_folder(int parent, const std::string& name, int& error) {
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    if (parent < 0) {
        error = EBADF;
        return -1;
    }
    int fd = ::openat(parent, name.c_str(), kFlags);
    if (fd < 0 && errno == ENOENT && (::mkdirat(parent, name.c_str(), 0755) == 0 || errno == EEXIST))
        fd = ::openat(parent, name.c_str(), kFlags);
    // A link is ELOOP, anything but a folder ENOTDIR.
    error = fd < 0 ? errno : 0;
    return fd;
}

// The job's copy of a page: its two files made again in the filing folder
// as PROGRAM-YYYYMMDD-NNN.EXT, numbered there like the print folder's pages
// (never replacing anything). The filed main file's name, or nothing when
// it could not be filed (the notice says why).
std::optional<std::string> file_page(Runtime& rt, int folder, const char* main_ext, const PageContent& main_content,
                                     const char* beside_ext, const PageContent& beside_content) {
    std::string day = rt.date();
    std::erase(day, '/');
    const std::string stem = rt.program() + "-" + day;
    PageFile main{main_ext, {}}, beside{beside_ext, {}};
    std::string base;
    remove_stale_temporaries(folder);
    auto err = make_page_file(main, folder, stem, main_content);
    if (!err) err = make_page_file(beside, folder, stem, beside_content);
    if (!err) err = place_numbered(folder, stem, {&main, &beside}, base, 3);
    if (err) {
        rt.log_event("error filing " + *err);
        rt.notice("帳票を現場に保存できません：" + *err);
        return std::nullopt;
    }
    rt.log_event("filed " + base + main_ext);
    rt.say_until_key("帳票を現場に保存しました：" + base + main_ext);
    return base + main_ext;
}

// Where a file filed in the folder open as `dir` stands, for the printer's
// commands (the folder as it was opened: a link put in place of the
// filing folder since then does not redirect it).
std::filesystem::path filing_path(int dir, const std::string& name) {
    std::error_code ec;
    const auto folder = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(dir), ec);
    return ec ? std::filesystem::path(name) : folder / name;
}

// In a window the job's copy is the sheet: the print folder's is not left
// behind (script mode keeps both).
void drop_unfiled(const Backend& backend, int dir, const std::string& base, std::initializer_list<const char*> exts) {
    if (backend.script_mode()) return;
    for (const char* ext : exts) ::unlinkat(dir, (base + ext).c_str(), 0);
}

}  // namespace

void Runtime::lprint(std::string_view text, bool end_line) { printer_.print(text, end_line); }

void Runtime::lprint_using(std::string_view format, std::initializer_list<UsingArg> args, bool end_line) {
    printer_.print(format_using(format, args), end_line);
}

void Runtime::form_feed() {
    PrintedPage page = printer_.eject();
    if (replaying_) return;  // a replay prints nothing
    save_page({.stem = "print", .companion_ext = ".txt", .refusal = "印刷できません：", .logged_as_pdf = true},
              [&](WholeFile& f) { return f.write(page_transcript(page)); },
              [&](const PdfWriters& writers, WholeFile& f) { return writers.page(page, f.fd()); });
}

void Runtime::hardcopy() {
    if (replaying_) return;
    const auto& frame = compose();
    save_page({.stem = "hardcopy", .companion_ext = ".png", .refusal = "画面印刷できません：", .logged_as_pdf = false},
              [&](WholeFile& f) {
                  return f.write(screen_png([&](int y) { return frame.data() + std::size_t(y) * kScreenWidth; }));
              },
              [&](const PdfWriters& writers, WholeFile& f) { return writers.screen(frame.data(), f.fd()); });
}

void Runtime::file_sheets_in(int folder_fd, std::string name) {
    if (filing_folder_fd_ >= 0) ::close(filing_folder_fd_);
    filing_ = true;
    filing_folder_fd_ = folder_fd;
    filing_name_ = std::move(name);
}

void Runtime::save_page(const SavedPage& kind, const PageContent& companion_content, const PdfContent& pdf_content) {
    // A function key pressed meanwhile (during a notice, or while the
    // printer is asked) is kept for the key bar that follows.
    holding_keys_ = true;
    struct Release {
        bool& holding;
        ~Release() { holding = false; }
    } release{holding_keys_};
    std::string why;
    const PdfWriters* writers = pdf_writers(why);
    const PageContent pdf_bytes = [&](WholeFile& f) { return pdf_content(*writers, f); };
    PageFile companion{kind.companion_ext, {}}, pdf{".pdf", {}};
    std::optional<std::string> err;
    const OpenFolder out(::open(out_dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (out.fd < 0) err = trouble(out_dir_.string(), errno);
    if (!err) remove_stale_temporaries(out.fd);
    if (!err && writers != nullptr) err = make_page_file(pdf, out.fd, kind.stem, pdf_bytes);
    if (!err) err = make_page_file(companion, out.fd, kind.stem, companion_content);
    std::string base;
    if (!err) {
        err = writers != nullptr ? place_numbered(out.fd, kind.stem, {&pdf, &companion}, base)
                                 : place_numbered(out.fd, kind.stem, {&companion}, base);
    }
    if (err) {  // nothing is left behind
        log_event("error " + *err);
        notice(kind.refusal + *err);
        return;
    }
    const std::string logged = std::string(kind.stem) + " " + base;
    if (writers == nullptr) {
        // The companion needs no PDF: it is kept, and the notice says so.
        log_event("error " + why);
        log_event(logged + kind.companion_ext);
        // It names the file kept, so it stands until the next key.
        stand_until_key("ＰＤＦを作れません。" + base + kind.companion_ext + "だけ保存しました。");
        return;
    }
    log_event(logged + (kind.logged_as_pdf ? ".pdf" : kind.companion_ext));
    if (filing_) {
        int error = 0;
        const OpenFolder filing(open_filing_folder(filing_folder_fd_, filing_name_, error));
        if (filing.fd < 0) {
            // The sheet is not filed outside the job, nor lost: it is printed.
            const std::string why_not = trouble(filing_name_, error);
            log_event("error filing " + why_not);
            notice("帳票を現場に保存できません：" + why_not);
        } else if (auto filed = file_page(*this, filing.fd, ".pdf", pdf_bytes, kind.companion_ext, companion_content)) {
            drop_unfiled(*backend_, out.fd, base, {".pdf", kind.companion_ext});
            send(filing_path(filing.fd, *filed));
            return;
        }
    }
    send(out_dir_ / (base + ".pdf"));
}

void Runtime::send(const std::filesystem::path& pdf) {
    if (backend_->script_mode()) return;
    // The window is kept alive while the commands run: drawn, closable,
    // typing kept for later.
    if (auto msg = send_to_printer(pdf, [this] { wait(5); })) notice(*msg);
}

}  // namespace marula
