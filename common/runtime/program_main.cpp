// Program start: the only place that chooses a backend.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime.h"
#include "script_backend.h"
#include "sdl_backend.h"

namespace marula {

int run_program(const char* program, int, char**, const std::function<void(Runtime&)>& body) {
    std::unique_ptr<Backend> backend;
    std::optional<std::string> err;
    const char* headless = std::getenv("MARULA_HEADLESS");
    if (headless && std::strcmp(headless, "1") == 0) {
        err = make_script_backend_from_env(backend);
    } else {
        const char* place = std::getenv("MARULA_WINDOW_POS");
        err = make_sdl_backend(program, place ? place : "", backend);
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
