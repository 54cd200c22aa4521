// A shared library loaded at run time, closed when the holder goes.
#pragma once

#include <string>

namespace tessor::platform {

class TLibrary {
public:
    TLibrary() = default;
    ~TLibrary();
    TLibrary(const TLibrary&) = delete;
    TLibrary& operator=(const TLibrary&) = delete;

    // A name without a separator is looked up first in the running program's own
    // folder, then by the system loader.
    bool Load(const std::string& name);
    void* Symbol(const char* name) const;
    bool Loaded() const { return handle_ != nullptr; }
    void Unload();
    // The loader's message for the last failed Load or Symbol, or empty.
    const std::string& Error() const { return error_; }

private:
    void* handle_ = nullptr;
    mutable std::string error_;
};

// Folder of the running executable, with a trailing separator.
std::string ProgramFolder();

// Keeps the library holding symbol loaded for the rest of the process,
// whatever unloads it later.
void KeepLoaded(void* symbol);

}  // namespace tessor::platform
