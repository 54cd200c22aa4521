// TLanguageController: the translation of one window's texts. It knows from
// its LangData which string properties of which components are translatable
// and gives each an ID. Once the window is loaded it remembers their
// built-in (English) texts; at every language switch it writes the texts of
// its window's section into them, or the remembered built-in text where the
// translation has none.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lang/LangComponent.h"
#include "lang/LangData.h"
#include "lang/LangFile.h"

namespace tessor::lang {

class TLanguageManager;

enum TLangOption : uint8_t {
    AutoSaveLangSource = 1 << 0,  // kept for the window description; no effect at run time
    IgnoreEmptyProps = 1 << 1,
    IgnoreNonAlphaProps = 1 << 2,
    IgnoreFontProps = 1 << 3,
};
inline constexpr uint8_t kAllLangOptions =
    AutoSaveLangSource | IgnoreEmptyProps | IgnoreNonAlphaProps | IgnoreFontProps;

// File-name style mask over a full property path ("Burner.VolumeID"): '*'
// any run, '?' one character, "[...]" one character of the list (ranges
// such as a-z, and '!' first to negate); case is ignored.
bool MatchesLangMask(std::string_view path, std::string_view mask);

class TLanguageController {
public:
    // Registers with the manager. A window that is still being loaded binds
    // in Loaded(); otherwise the root entry is bound to it at once.
    TLanguageController(TLanguageManager& manager, TLangWindow& window, bool windowLoading = true);
    ~TLanguageController();
    TLanguageController(const TLanguageController&) = delete;
    TLanguageController& operator=(const TLanguageController&) = delete;

    // Masks of full property paths never recorded or translated, and of
    // those recorded even when not stored with the window. Kept sorted,
    // duplicates (case ignored) dropped.
    const std::vector<std::string>& IgnoreList() const { return ignoreList_; }
    void SetIgnoreList(const std::vector<std::string>& masks);
    const std::vector<std::string>& StoreList() const { return storeList_; }
    void SetStoreList(const std::vector<std::string>& masks);

    uint8_t Options = kAllLangOptions;
    // The section of the language files; empty means the window's name.
    std::u16string SectionName;
    // Raised before and after the texts are replaced (after also when a
    // step failed).
    std::function<void(TLanguageController&)> OnLanguageChanging;
    std::function<void(TLanguageController&)> OnLanguageChanged;

    // The component entry tree, as stored with the window.
    void ReadLangData(std::span<const uint8_t> bytes);
    void SetLangData(TLangCompEntry root);
    const TLangCompEntry& LangData() const { return root_; }

    // The window and its LangData have been read: bind, capture the built-in
    // texts, then take the current language.
    void Loaded();
    // A component of the window goes: its entry, wherever it is, is dropped.
    void ComponentRemoved(const TLangComponent* component);
    // Writes the texts of the translation's section for this window (none:
    // the captured built-in texts) into the properties. `codePage` converts
    // the texts of ANSI properties.
    void TranslateController(const TLangTranslation* translation, uint32_t codePage);

private:
    void Bind();
    void Capture();
    void CaptureEntry(TLangCompEntry& entry, bool isRoot);
    void ApplyEntry(TLangCompEntry& entry, const TLangSectionTranslation* section,
                    uint32_t codePage);
    bool Qualifies(std::u16string_view value) const;
    bool Walks(const TLangPropInfo& prop) const;

    TLanguageManager& manager_;
    TLangWindow& window_;
    TLangCompEntry root_;
    std::vector<std::string> ignoreList_;
    std::vector<std::string> storeList_;
};

}  // namespace tessor::lang
