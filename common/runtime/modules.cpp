#include "modules.h"

#include <dlfcn.h>

namespace marula {

std::filesystem::path executable_dir() {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path();
    return self.parent_path();
}

void* module_entry(const char* module, const char* entry, std::string& why) {
    const auto path = executable_dir() / module;
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
