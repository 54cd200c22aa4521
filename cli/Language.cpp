#include "cli/Language.h"

#include "engine/platform/Strings.h"
#include "lang/LangError.h"
#include "lang/ProgramLanguages.h"

namespace tessor::cli {

namespace {

int LanguageIdOf(const std::string& value) {
    const std::pair<const char*, int> names[] = {{"en", 1033},   {"de", 1031},   {"ro", 1048},
                                                 {"1033", 1033}, {"1031", 1031}, {"1048", 1048}};
    for (const auto& [name, id] : names) {
        if (value == name)
            return id;
    }
    return 0;
}

}  // namespace

bool TakeLanguageOption(std::vector<std::string>& args, std::string& error) {
    std::string value;
    bool found = false;
    for (size_t i = 0; i < args.size();) {
        const std::string& a = args[i];
        if (a == "--")
            break;
        if (a == "--language") {
            if (i + 1 >= args.size()) {
                error = "option --language needs a value";
                return false;
            }
            value = args[i + 1];
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                       args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
            found = true;
        } else if (a.rfind("--language=", 0) == 0) {
            value = a.substr(11);
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
            found = true;
        } else {
            ++i;
        }
    }
    if (!found)
        return true;
    int id = LanguageIdOf(value);
    if (id == 0) {
        error = "unknown language '" + value +
                "'; the languages are en (English, 1033), de (German, 1031) and ro "
                "(Romanian, 1048)";
        return false;
    }
    try {
        lang::TLanguageManager& manager = lang::LangManager();
        lang::RegisterProgramLanguages(manager);
        manager.SelectLanguage(static_cast<uint16_t>(id));
    } catch (const lang::ELangError& e) {
        error = e.what();
        return false;
    }
    return true;
}

std::string LangText(const char* name) {
    return platform::ToSystem(lang::GetLangConstant(name));
}

}  // namespace tessor::cli
