// DLLs through LoadLibraryW.
#include "engine/platform/Library.h"

#include <windows.h>

#include <vector>

#include "engine/platform/Strings.h"
#include "engine/platform/win/Wide.h"

namespace tessor::platform {

namespace {

std::string MessageOf(DWORD code, const std::string& name) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message;
    if (n > 0 && text) {
        message = ToSystem(win::FromWide(std::wstring_view(text, n)));
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
            message.pop_back();
    }
    if (text)
        LocalFree(text);
    if (message.empty())
        message = "error " + std::to_string(code);
    return name + ": " + message;
}

}  // namespace

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
    // A bare name is taken from the program's own folder first; only then
    // does the system's search order apply.
    HMODULE module = nullptr;
    if (name.find_first_of("/\\:") == std::string::npos) {
        std::wstring local = win::WidePath(FromSystemPath(ProgramFolder() + name));
        if (GetFileAttributesW(local.c_str()) != INVALID_FILE_ATTRIBUTES)
            module = LoadLibraryExW(local.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    if (!module)
        module = LoadLibraryW(win::WidePath(FromSystemPath(name)).c_str());
    if (!module)
        error_ = MessageOf(GetLastError(), name);
    handle_ = module;
    return handle_ != nullptr;
}

void* TLibrary::Symbol(const char* name) const {
    if (!handle_ || !name)
        return nullptr;
    FARPROC symbol = GetProcAddress(static_cast<HMODULE>(handle_), name);
    if (!symbol)
        error_ = MessageOf(GetLastError(), name);
    return reinterpret_cast<void*>(symbol);
}

void TLibrary::Unload() {
    if (handle_)
        FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
}

std::string ProgramFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return ".\\";
        if (n < buffer.size()) {
            std::string path = ToSystemPath(win::FromWide(std::wstring_view(buffer.data(), n)));
            size_t slash = path.find_last_of("\\/");
            return slash == std::string::npos ? std::string(".\\") : path.substr(0, slash + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

void KeepLoaded(void* symbol) {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       static_cast<LPCWSTR>(symbol), &module);
}

}  // namespace tessor::platform
