// Program start: the only place that chooses a backend.
#include <dlfcn.h>

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
    auto module = executable_dir() / kWindowModule;
    // Kept loaded for the life of the program: the backend's code lives there.
    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return std::string("cannot load the window backend: ") + ::dlerror();
    auto open = reinterpret_cast<OpenWindow>(::dlsym(handle, kWindowEntry));
    if (!open) return std::string("the window backend has no entry ") + kWindowEntry;
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
