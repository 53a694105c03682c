// Program start: the only place that chooses a backend.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "base/files.h"
#include "runtime/module_entries.h"
#include "runtime/runtime.h"
#include "runtime/script_backend.h"
#include "runtime/sdl_backend.h"
#include "session/session.h"

namespace marula {

namespace {

// Loads the window backend from beside the executable and opens the window.
std::optional<std::string> open_window(const std::string& title, const std::string& placement,
                                       std::unique_ptr<Backend>& out) {
    std::string why;
    auto open = modules::load(modules::kWindow, why);
    if (!open) return "the window backend is missing: " + why;
    std::optional<std::string> error;
    open(&title, &placement, &out, &error);
    return error;
}

// Script mode writes its dumps and logs into MARULA_OUT: a missing folder
// is made; one that cannot be written in stops the program before it runs.
std::optional<std::string> prepare_out_dir() {
    const char* out = std::getenv("MARULA_OUT");
    const std::filesystem::path dir = out != nullptr && *out != '\0' ? out : ".";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!std::filesystem::is_directory(dir, ec)) return "MARULA_OUT " + dir.string() + " is not a folder and cannot be made one";
    WholeFile probe;
    if (auto err = probe.open(dir, "probe")) return "cannot write in MARULA_OUT " + dir.string() + ": " + *err;
    return std::nullopt;
}

}  // namespace

int run_program(ProgramKind kind, const char* program, int, char**,
                const std::function<void(Runtime&, Session&)>& body) {
    std::unique_ptr<Backend> backend;
    std::optional<std::string> err;
    LaunchSettings launch = LaunchSettings::from_environment();
    if (executable_dir().empty()) {
        std::fprintf(stderr, "%s: the folder of this program cannot be told (is /proc readable?)\n", program);
        return 2;
    }
    if (launch.script_mode) {
        err = prepare_out_dir();
        if (!err) err = make_script_backend_from_env(backend);
    } else {
        err = open_window(program, launch.window_position, backend);
    }
    if (err) {
        std::fprintf(stderr, "%s: %s\n", program, err->c_str());
        return 2;
    }
    std::unique_ptr<Runtime> rt;
    if (auto font_err = Runtime::create(program, std::move(backend), rt)) {
        std::fprintf(stderr, "%s: %s\n", program, font_err->c_str());
        return 3;
    }
    rt->log_event(std::string("start ") + program);
    Session session(*rt, kind, std::move(launch));
    body(*rt, session);
    rt->end();
}

}  // namespace marula
