#include "lang/ProgramLanguages.h"

#include "lang/LangError.h"

namespace tessor::lang {

namespace generated {
// The table tessor-langgen writes at build time.
extern const TResourceEntry kProgramResources[];
extern const size_t kProgramResourceCount;
}  // namespace generated

namespace {

std::span<const uint8_t> Required(std::u16string_view name, const char* ascii) {
    auto bytes = ProgramModule().Find(name);
    if (!bytes)
        throw ELangError(FormatLangMessage("Resource %s not found", ascii));
    return *bytes;
}

}  // namespace

const TResourceModule& ProgramModule() {
    static const TResourceModule module(std::span<const TResourceEntry>(
        generated::kProgramResources, generated::kProgramResourceCount));
    return module;
}

TLanguageManager& LangManager() {
    static TLanguageManager manager(&ProgramModule());
    return manager;
}

std::u16string GetLangConstant(std::string_view name) {
    return LangManager().GetLangConstant(name);
}

void RegisterProgramLanguages(TLanguageManager& manager) {
    manager.RegisterLanguage(&ProgramModule(), u"LNG_ENGLISH", 1033);
    manager.RegisterLanguage(&ProgramModule(), u"LNG_GERMAN", 1031);
    manager.RegisterLanguage(&ProgramModule(), u"LNG_ROMANIA", 1048);
}

void SelectLanguageAt(TLanguageManager& manager, int index) {
    manager.SelectLanguage(manager.LanguageIdAt(index < 0 ? 0 : index));
}

void LoadMainWindowLangData(TLanguageController& controller) {
    controller.ReadLangData(Required(u"TFORM1_LANGDATA", "TFORM1_LANGDATA"));
    controller.SetIgnoreList(ReadLangStrings(Required(u"TFORM1_IGNORELIST", "TFORM1_IGNORELIST")));
    controller.SetStoreList(ReadLangStrings(Required(u"TFORM1_STORELIST", "TFORM1_STORELIST")));
}

}  // namespace tessor::lang
