// What the language controller needs of a window and its components: find a
// component by name, list its translatable string properties as paths, and
// get and set their values. The window implements it (the Qt window with a
// registry of its widgets); tests implement it with plain objects.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessor::lang {

enum class TLangPropKind {
    Wide,     // a wide string property: UTF-16 as it is
    Ansi,     // a short or ANSI string: 8-bit text, set in the language's code page
    Strings,  // a string list: its whole text, lines separated by CR LF
};

// One string property of a component. Path: the property's name
// ("Caption"); "Items[2]" for an item of a collection; "Font.Name" for a
// property of a nested object.
struct TLangPropInfo {
    std::string Path;
    TLangPropKind Kind = TLangPropKind::Wide;
    bool Stored = true;   // stored with the window (not at its default)
    bool InFont = false;  // belongs to a font object
};

class TLangComponent {
public:
    virtual ~TLangComponent() = default;

    virtual std::string ComponentName() const = 0;
    // Language controllers keep texts of their own that are never captured.
    virtual bool IsLanguageController() const { return false; }
    // The string properties, "Name" included or not (it is never touched).
    virtual std::vector<TLangPropInfo> StringProperties() const = 0;

    // Wide and Strings properties.
    virtual std::u16string GetText(std::string_view path) const = 0;
    virtual void SetText(std::string_view path, const std::u16string& value) = 0;
    // Ansi properties, as bytes; text in the system code page when read.
    virtual std::string GetAnsiText(std::string_view /*path*/) const { return {}; }
    virtual void SetAnsiText(std::string_view /*path*/, const std::string& /*bytes*/) {}
};

// The window: itself a component, and the owner of the others.
class TLangWindow : public TLangComponent {
public:
    // The component with this name, compared without regard to case; null
    // when there is none.
    virtual TLangComponent* FindComponent(std::string_view name) = 0;
};

}  // namespace tessor::lang
