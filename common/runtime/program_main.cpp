// Program start: the only place that chooses a backend.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "runtime.h"
#include "script_backend.h"
#include "sdl_backend.h"

namespace marula {

namespace {

using OpenWindow = void (*)(const std::string*, const std::string*, std::unique_ptr<Backend>*,
                            std::optional<std::string>*);

// Loads the window backend from beside the executable and opens the window.
std::optional<std::string> open_window(const std::string& title, const std::string& placement,
                                       std::unique_ptr<Backend>& out) {
    std::string why;
    auto open = reinterpret_cast<OpenWindow>(module_entry(kWindowModule, kWindowEntry, why));
    if (!open) return "the window backend is missing: " + why;
    std::optional<std::string> error;
    open(&title, &placement, &out, &error);
    return error;
}

}  // namespace

int run_program(const char* program, int, char**, const std::function<void(Runtime&)>& body) {
    std::unique_ptr<Backend> backend;
    std::optional<std::string> err;
    const char* headless = std::getenv("MARULA_HEADLESS");
    if (headless && std::strcmp(headless, "1") == 0) {
        err = make_script_backend_from_env(backend);
    } else {
        const char* place = std::getenv("MARULA_WINDOW_POS");
        err = open_window(program, place ? place : "", backend);
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
    body(*rt);
    rt->end();
}

}  // namespace marula
