#include "cli/Compilation.h"

#include <sys/stat.h>

#include <cstdlib>

#include "engine/platform/FileSearch.h"
#include "engine/platform/Strings.h"

namespace tessor::cli {

namespace {

// '/' everywhere, and the platform's own separator ('\\' on Windows).
bool IsSeparator(char c) {
    return c == '/' || c == static_cast<char>(platform::kPathSeparator);
}

std::string BaseName(std::string path) {
    while (path.size() > 1 && IsSeparator(path.back()))
        path.pop_back();
    size_t slash = path.size();
    while (slash > 0 && !IsSeparator(path[slash - 1]))
        --slash;
    return path.substr(slash);
}

}  // namespace

bool BuildCompilation(component::TDiscBurner& burner, const TArgs& args, std::FILE* err) {
    if (args.positional.empty()) {
        std::fprintf(err, "tessor-cli: no SOURCE given\n");
        return false;
    }
    burner.SetJolietFileSystem(!args.Has("--no-joliet"));
    burner.SetUDFBridge(!args.Has("--no-udf"));
    burner.SetISO9660v1999FS(args.Has("--iso9660-1999"));
    burner.SetReplaceFile(args.Has("--replace"));
    if (const std::string* mb = args.Value("--cache")) {
        char* end = nullptr;
        unsigned long value = std::strtoul(mb->c_str(), &end, 10);
        if (mb->empty() || *end != '\0' || value < 2 || value > 624) {
            std::fprintf(err, "tessor-cli: --cache takes megabytes from 2 to 624\n");
            return false;
        }
        burner.SetCacheSize(static_cast<uint32_t>(value));
    }
    burner.ClearFiles();
    std::string label =
        args.Value("--label") ? *args.Value("--label") : BaseName(args.positional.front());
    burner.SetVolumeIDW(platform::FromSystem(label));
    if (const std::string* boot = args.Value("--boot")) {
        burner.SetBootImage(*boot);
        if (burner.BootImage() != *boot) {
            std::fprintf(err,
                         "tessor-cli: %s cannot be a boot image (it must be readable and of "
                         "%s bytes)\n",
                         boot->c_str(), component::TDiscBurner::BootImageSizes().c_str());
            return false;
        }
    }
    // Every source is looked at before any is added: a typo ends the run
    // before anything else happens.
    std::vector<bool> folders;
    for (const std::string& source : args.positional) {
        struct stat st;
        if (::stat(source.c_str(), &st) != 0) {
            std::fprintf(err, "tessor-cli: %s: no such file or folder\n", source.c_str());
            return false;
        }
        if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) {
            std::fprintf(err, "tessor-cli: %s is neither a file nor a folder\n", source.c_str());
            return false;
        }
        folders.push_back(S_ISDIR(st.st_mode));
    }
    for (size_t i = 0; i < args.positional.size(); ++i) {
        const std::string& source = args.positional[i];
        std::u16string wide = platform::FromSystemPath(source);
        if (folders[i]) {
            std::u16string name = platform::FromSystemPath(BaseName(source));
            if (name.empty() || name == u"/" || name == u"." || name == u"..") {
                // The root of a file system or ".": its content goes into the root.
                if (!burner.AddFolder(u"\\", wide, u"*.*", true, false)) {
                    std::fprintf(err, "tessor-cli: cannot add %s\n", source.c_str());
                    return false;
                }
                continue;
            }
            auto* dir = burner.CreateDir(u"\\", name);
            if (dir == nullptr) {
                std::fprintf(err, "tessor-cli: cannot add folder %s\n", source.c_str());
                return false;
            }
            if (component::TDiscBurner::IsSkipped(dir))
                continue;
            // The folder may be on the disc under another name (see SourceNotes).
            if (!burner.AddFolder(u"\\" + dir->LongName + u"\\", wide, u"*.*", true, false)) {
                std::fprintf(err, "tessor-cli: cannot add the content of %s\n", source.c_str());
                return false;
            }
        } else if (burner.AddFile(u"\\", wide) == nullptr) {
            std::fprintf(err, "tessor-cli: cannot add file %s\n", source.c_str());
            return false;
        }
    }
    return true;
}

int ReportSourceNotes(const component::TDiscBurner& burner, const TArgs& args, std::FILE* err) {
    bool leftOut = false;
    for (const component::TSourceNote& note : burner.SourceNotes()) {
        std::string source = platform::ToSystem(note.Source);
        if (note.LeftOut) {
            leftOut = true;
            std::fprintf(err, "tessor-cli: left out: %s: %s\n", source.c_str(),
                         note.Reason.c_str());
        } else {
            std::fprintf(err, "tessor-cli: note: %s is written as \"%s\": %s\n", source.c_str(),
                         platform::ToSystem(note.Name).c_str(), note.Reason.c_str());
        }
    }
    if (leftOut && !args.Has("--allow-partial")) {
        std::fprintf(err,
                     "tessor-cli: nothing written: the sources above cannot be written as they "
                     "are (--allow-partial writes the rest)\n");
        return kExitPartial;
    }
    return kExitOk;
}

}  // namespace tessor::cli
