#include "lang/LanguageController.h"

#include <algorithm>

#include "engine/platform/Strings.h"
#include "lang/LangResources.h"
#include "lang/LanguageManager.h"

namespace tessor::lang {

namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// Matches one character against the list starting after '[' at mask[m];
// sets `end` to the index after the closing ']'. False for a list without
// a closing bracket, which the caller then takes literally.
bool MatchList(char c, std::string_view mask, size_t m, bool& matched, size_t& end) {
    bool negate = m < mask.size() && mask[m] == '!';
    if (negate)
        ++m;
    bool hit = false;
    size_t i = m;
    for (; i < mask.size() && (mask[i] != ']' || i == m); ++i) {
        char lo = Upper(mask[i]);
        char hi = lo;
        if (i + 2 < mask.size() && mask[i + 1] == '-' && mask[i + 2] != ']') {
            hi = Upper(mask[i + 2]);
            i += 2;
        }
        if (static_cast<unsigned char>(Upper(c)) >= static_cast<unsigned char>(lo) &&
            static_cast<unsigned char>(Upper(c)) <= static_cast<unsigned char>(hi))
            hit = true;
    }
    if (i >= mask.size())
        return false;
    matched = hit != negate;
    end = i + 1;
    return true;
}

bool MatchFrom(std::string_view path, size_t p, std::string_view mask, size_t m) {
    while (m < mask.size()) {
        char mc = mask[m];
        if (mc == '*') {
            while (m < mask.size() && mask[m] == '*')
                ++m;
            if (m == mask.size())
                return true;
            for (size_t k = p; k <= path.size(); ++k) {
                if (MatchFrom(path, k, mask, m))
                    return true;
            }
            return false;
        }
        if (p >= path.size())
            return false;
        if (mc == '?') {
            ++p;
            ++m;
            continue;
        }
        if (mc == '[') {
            bool matched = false;
            size_t end = 0;
            if (MatchList(path[p], mask, m + 1, matched, end)) {
                if (!matched)
                    return false;
                ++p;
                m = end;
                continue;
            }
        }
        if (Upper(mc) != Upper(path[p]))
            return false;
        ++p;
        ++m;
    }
    return p == path.size();
}

bool MatchesAny(std::string_view path, const std::vector<std::string>& masks) {
    return std::any_of(masks.begin(), masks.end(),
                       [&](const std::string& m) { return MatchesLangMask(path, m); });
}

std::vector<std::string> SortedUnique(const std::vector<std::string>& masks) {
    std::vector<std::string> out;
    for (const std::string& m : masks) {
        auto it = std::lower_bound(
            out.begin(), out.end(), m,
            [](const std::string& a, const std::string& b) { return CompareAnsiText(a, b) < 0; });
        if (it == out.end() || !SameAnsiText(*it, m))
            out.insert(it, m);
    }
    return out;
}

bool IsNameProperty(const TLangPropInfo& prop) {
    return SameAnsiText(prop.Path, "Name");
}

// Drops the entry bound to `component` from the children below `entry`.
bool DropBound(TLangCompEntry& entry, const TLangComponent* component) {
    if (!entry.Children)
        return false;
    auto& children = *entry.Children;
    for (auto it = children.begin(); it != children.end(); ++it) {
        if (it->Component == component) {
            children.erase(it);
            if (children.empty())
                entry.Children.reset();
            return true;
        }
        if (DropBound(*it, component))
            return true;
    }
    return false;
}

void BindChildren(TLangCompEntry& entry, TLangWindow& window) {
    if (!entry.Children)
        return;
    auto& children = *entry.Children;
    for (TLangCompEntry& child : children) {
        child.Component = window.FindComponent(child.Name);
        if (child.Component != nullptr)
            BindChildren(child, window);
    }
    std::erase_if(children, [](const TLangCompEntry& c) { return c.Component == nullptr; });
    if (children.empty())
        entry.Children.reset();
}

}  // namespace

bool MatchesLangMask(std::string_view path, std::string_view mask) {
    return MatchFrom(path, 0, mask, 0);
}

TLanguageController::TLanguageController(TLanguageManager& manager, TLangWindow& window,
                                         bool windowLoading)
    : manager_(manager), window_(window) {
    if (!windowLoading)
        root_.Component = &window_;
    manager_.AddController(this);
}

TLanguageController::~TLanguageController() {
    manager_.RemoveController(this);
}

void TLanguageController::SetIgnoreList(const std::vector<std::string>& masks) {
    ignoreList_ = SortedUnique(masks);
}

void TLanguageController::SetStoreList(const std::vector<std::string>& masks) {
    storeList_ = SortedUnique(masks);
}

void TLanguageController::ReadLangData(std::span<const uint8_t> bytes) {
    SetLangData(lang::ReadLangData(bytes));
}

void TLanguageController::SetLangData(TLangCompEntry root) {
    TLangComponent* bound = root_.Component;
    root_ = std::move(root);
    root_.Component = bound;
}

void TLanguageController::Bind() {
    root_.Component = &window_;
    BindChildren(root_, window_);
}

void TLanguageController::Loaded() {
    Bind();
    Capture();
    manager_.ApplyCurrentLanguage(*this);
}

void TLanguageController::ComponentRemoved(const TLangComponent* component) {
    if (component != nullptr && component != root_.Component)
        DropBound(root_, component);
}

bool TLanguageController::Qualifies(std::u16string_view value) const {
    if (Options & IgnoreNonAlphaProps) {
        return std::any_of(value.begin(), value.end(), [](char16_t c) {
            return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c >= 161;
        });
    }
    if (Options & IgnoreEmptyProps)
        return !value.empty();
    return true;
}

bool TLanguageController::Walks(const TLangPropInfo& prop) const {
    if (IsNameProperty(prop))
        return false;
    return !(prop.InFont && (Options & IgnoreFontProps));
}

void TLanguageController::Capture() {
    CaptureEntry(root_, true);
}

void TLanguageController::CaptureEntry(TLangCompEntry& entry, bool isRoot) {
    TLangComponent* component = entry.Component;
    if (component != nullptr && !component->IsLanguageController()) {
        std::string name = isRoot ? std::string() : component->ComponentName();
        if (isRoot || !name.empty()) {
            for (const TLangPropInfo& prop : component->StringProperties()) {
                if (!Walks(prop))
                    continue;
                std::string fullPath = name + "." + prop.Path;
                if (MatchesAny(fullPath, ignoreList_))
                    continue;
                if (!prop.Stored && !MatchesAny(fullPath, storeList_))
                    continue;
                TLangPropEntry* target = entry.FindProp(prop.Path);
                if (target == nullptr)
                    continue;
                std::u16string value = prop.Kind == TLangPropKind::Ansi
                                           ? platform::FromSystem(component->GetAnsiText(prop.Path))
                                           : component->GetText(prop.Path);
                if (Qualifies(value))
                    target->Value = std::move(value);
            }
        }
    }
    if (entry.Children) {
        for (TLangCompEntry& child : *entry.Children)
            CaptureEntry(child, false);
    }
}

void TLanguageController::ApplyEntry(TLangCompEntry& entry, const TLangSectionTranslation* section,
                                     uint32_t codePage) {
    TLangComponent* component = entry.Component;
    if (component != nullptr && !component->IsLanguageController() && entry.Props) {
        for (const TLangPropInfo& prop : component->StringProperties()) {
            if (!Walks(prop))
                continue;
            const TLangPropEntry* target = entry.FindProp(prop.Path);
            if (target == nullptr)
                continue;
            const std::u16string* text = section ? section->Find(target->ID) : nullptr;
            const std::u16string& value = text ? *text : target->Value;
            if (prop.Kind == TLangPropKind::Ansi) {
                std::string bytes;
                if (!platform::ToCodePage(value, static_cast<int>(codePage), bytes))
                    bytes = platform::ToSystem(value);
                component->SetAnsiText(prop.Path, bytes);
            } else {
                component->SetText(prop.Path, value);
            }
        }
    }
    if (entry.Children) {
        for (TLangCompEntry& child : *entry.Children)
            ApplyEntry(child, section, codePage);
    }
}

void TLanguageController::TranslateController(const TLangTranslation* translation,
                                              uint32_t codePage) {
    if (OnLanguageChanging)
        OnLanguageChanging(*this);
    try {
        const TLangSectionTranslation* section = nullptr;
        if (translation != nullptr) {
            std::u16string name =
                SectionName.empty() ? platform::FromSystem(window_.ComponentName()) : SectionName;
            section = translation->FindSection(name);
        }
        ApplyEntry(root_, section, codePage);
    } catch (...) {
        if (OnLanguageChanged)
            OnLanguageChanged(*this);
        throw;
    }
    if (OnLanguageChanged)
        OnLanguageChanged(*this);
}

}  // namespace tessor::lang
