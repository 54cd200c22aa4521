// Shared libraries through dlopen.
#include "engine/platform/Library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <vector>

namespace tessor::platform {

TLibrary::~TLibrary() {
    Unload();
}

bool TLibrary::Load(const std::string& name) {
    Unload();
    error_.clear();
    if (name.empty()) {
        error_ = "empty library name";
        return false;
    }
    if (name.find('/') == std::string::npos) {
        std::string local = ProgramFolder() + name;
        if (access(local.c_str(), F_OK) == 0)
            handle_ = dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!handle_)
        handle_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* message = dlerror();
        error_ = message ? message : "cannot load " + name;
    }
    return handle_ != nullptr;
}

void* TLibrary::Symbol(const char* name) const {
    if (!handle_ || !name)
        return nullptr;
    dlerror();
    void* symbol = dlsym(handle_, name);
    if (!symbol) {
        const char* message = dlerror();
        error_ = message ? message : std::string("no symbol ") + name;
    }
    return symbol;
}

void TLibrary::Unload() {
    if (handle_)
        dlclose(handle_);
    handle_ = nullptr;
}

std::string ProgramFolder() {
    std::vector<char> buffer(4096);
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return "./";
        if (static_cast<size_t>(n) < buffer.size()) {
            std::string path(buffer.data(), static_cast<size_t>(n));
            size_t slash = path.rfind('/');
            return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

void KeepLoaded(void* symbol) {
    Dl_info info{};
    if (dladdr(symbol, &info) == 0 || info.dli_fname == nullptr)
        return;
    if (void* handle = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE))
        dlclose(handle);
}

}  // namespace tessor::platform
