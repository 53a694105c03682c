#include "modules.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/auxv.h>

namespace marula {

namespace {

std::filesystem::path find_executable_dir() {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && self.is_absolute()) return self.parent_path();
    // Without /proc: the path this program was started by, as the kernel
    // kept it, with its links resolved (an installed command is a link).
    const auto* started_as = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
    if (started_as != nullptr && *started_as != '\0') {
        char resolved[PATH_MAX];
        if (::realpath(started_as, resolved) != nullptr) return std::filesystem::path(resolved).parent_path();
    }
    return {};  // never the current folder
}

}  // namespace

std::filesystem::path executable_dir() {
    // Told once, at the first question, before anything could change the
    // current folder that a relative start path depends on.
    static const std::filesystem::path dir = find_executable_dir();
    return dir;
}

void* module_entry(const char* module, const char* entry, std::string& why) {
    const auto dir = executable_dir();
    if (dir.empty()) {
        why = std::string("cannot load ") + module + ": the folder of this program cannot be told";
        return nullptr;
    }
    const auto path = dir / module;
    // Kept loaded for the life of the program: its code is called from here on.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* detail = ::dlerror();
        why = std::string("cannot load ") + module + ": " + (detail ? detail : "unknown error");
        return nullptr;
    }
    void* address = ::dlsym(handle, entry);
    if (!address) why = std::string(module) + " has no entry " + entry;
    return address;
}

}  // namespace marula
