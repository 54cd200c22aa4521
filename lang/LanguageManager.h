// TLanguageManager: the process-wide language state. It holds the named
// message texts, the registered translations and the language controllers
// of the windows, and switches the current language.
#pragma once

#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "lang/LangConstants.h"
#include "lang/LangFile.h"
#include "lang/LangResources.h"

namespace tessor::lang {

class TLanguageController;

// One registered language: a raw-data resource of a module.
struct TLangResource {
    const TResourceModule* Instance = nullptr;
    std::u16string ResourceName;
    uint16_t LanguageId = 0;
};

class TLanguageManager {
public:
    // Loads the built-in texts from the resource "XELANG_CONSTS" of
    // `program`; without a module or without that resource there are none.
    // Starts in the default language, 1033.
    explicit TLanguageManager(const TResourceModule* program);
    TLanguageManager(const TLanguageManager&) = delete;
    TLanguageManager& operator=(const TLanguageManager&) = delete;

    // The text of a constant in the current language; ELangError
    // "Constant "NAME" not found" for an unknown name.
    std::u16string GetLangConstant(std::string_view name) const;

    // Adds a language, or replaces the registration with the same language
    // identifier; the default language (1033) is not registered.
    void RegisterLanguage(const TResourceModule* instance, std::u16string_view resourceName,
                          uint16_t languageId);
    // Registered languages + 1: index 0 is the default language.
    int LanguageCount() const;
    uint16_t LanguageIdAt(int index) const;
    // The English name of the language ("German (Germany)"), or its
    // identifier in decimal for a language without a known name.
    std::u16string LanguageNameAt(int index) const;

    // Switches the language: the constants and every controller take the
    // texts of its translation (an unregistered language means English).
    // When the translation cannot be read or parsed, ELangError reaches the
    // caller and the language and every text stay as they were.
    void SelectLanguage(uint16_t languageId);
    uint16_t CurrentLanguage() const;
    uint16_t DefaultLanguage() const { return kDefaultLanguage; }
    // ANSI code page of the current language.
    uint32_t CodePage() const;

    // For TLanguageController.
    void AddController(TLanguageController* controller);
    void RemoveController(TLanguageController* controller);
    // Translates a controller that has just been loaded, when the current
    // language is not the default one.
    void ApplyCurrentLanguage(TLanguageController& controller);

private:
    // The translation of a registered language; null for the default
    // language or an unregistered one. The caller holds the lock.
    std::unique_ptr<TLangTranslation> LoadTranslation(uint16_t languageId) const;
    void TranslateConstants(const TLangTranslation* translation);

    mutable std::shared_mutex lock_;
    TLangConstants constants_;
    std::vector<TLanguageController*> controllers_;
    std::vector<TLangResource> languages_;
    uint32_t codePage_;
    uint16_t current_ = kDefaultLanguage;
};

// English names of the languages Tessor carries, as an English system
// names them; empty for others.
std::u16string KnownLanguageName(uint16_t languageId);

}  // namespace tessor::lang
