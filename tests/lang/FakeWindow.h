// A plain in-memory window for the controller tests, shaped like the main
// window: the same component names, captions and string properties.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "lang/LangComponent.h"
#include "lang/LangResources.h"

namespace tessor::lang::test {

class TFakeComponent : public TLangComponent {
public:
    struct TProp {
        TLangPropInfo Info;
        std::u16string Text;
        std::string Ansi;
    };

    explicit TFakeComponent(std::string name, bool controller = false)
        : name_(std::move(name)), controller_(controller) {
        Add("Name", std::u16string(name_.begin(), name_.end()));
    }

    TFakeComponent& Add(std::string path, std::u16string text,
                        TLangPropKind kind = TLangPropKind::Wide, bool stored = true,
                        bool inFont = false) {
        props_.push_back({{std::move(path), kind, stored, inFont}, std::move(text), {}});
        return *this;
    }
    TFakeComponent& AddAnsi(std::string path, std::string bytes) {
        props_.push_back({{std::move(path), TLangPropKind::Ansi, true, false}, {}, bytes});
        return *this;
    }

    std::string ComponentName() const override { return name_; }
    bool IsLanguageController() const override { return controller_; }
    std::vector<TLangPropInfo> StringProperties() const override {
        std::vector<TLangPropInfo> out;
        for (const TProp& p : props_)
            out.push_back(p.Info);
        return out;
    }
    std::u16string GetText(std::string_view path) const override { return Prop(path).Text; }
    void SetText(std::string_view path, const std::u16string& value) override {
        if (failSets_)
            throw std::runtime_error("the control refused the text");
        Prop(path).Text = value;
        ++sets_;
    }
    std::string GetAnsiText(std::string_view path) const override { return Prop(path).Ansi; }
    void SetAnsiText(std::string_view path, const std::string& bytes) override {
        Prop(path).Ansi = bytes;
        ++sets_;
    }

    std::u16string Text(std::string_view path = "Caption") const { return Prop(path).Text; }
    void Put(std::string_view path, std::u16string text) { Prop(path).Text = std::move(text); }
    std::string Ansi(std::string_view path) const { return Prop(path).Ansi; }
    int Sets() const { return sets_; }
    void FailSets(bool on) { failSets_ = on; }

private:
    const TProp& Prop(std::string_view path) const {
        for (const TProp& p : props_) {
            if (SameAnsiText(p.Info.Path, path))
                return p;
        }
        throw std::runtime_error("no property " + std::string(path));
    }
    TProp& Prop(std::string_view path) {
        return const_cast<TProp&>(std::as_const(*this).Prop(path));
    }

    std::string name_;
    bool controller_;
    std::vector<TProp> props_;
    int sets_ = 0;
    bool failSets_ = false;
};

class TFakeWindow : public TLangWindow {
public:
    explicit TFakeWindow(std::string name = "Form1") : self_(std::move(name)) {}

    TFakeComponent& Self() { return self_; }
    TFakeComponent& Make(std::string name, bool controller = false) {
        components_.push_back(std::make_unique<TFakeComponent>(std::move(name), controller));
        return *components_.back();
    }
    TFakeComponent& operator[](std::string_view name) {
        return static_cast<TFakeComponent&>(*FindComponent(name));
    }
    void Remove(std::string_view name) {
        std::erase_if(components_, [&](const auto& c) { return c->ComponentName() == name; });
    }

    std::string ComponentName() const override { return self_.ComponentName(); }
    std::vector<TLangPropInfo> StringProperties() const override {
        return self_.StringProperties();
    }
    std::u16string GetText(std::string_view path) const override { return self_.GetText(path); }
    void SetText(std::string_view path, const std::u16string& value) override {
        self_.SetText(path, value);
    }
    TLangComponent* FindComponent(std::string_view name) override {
        for (auto& c : components_) {
            if (SameAnsiText(c->ComponentName(), name))
                return c.get();
        }
        return nullptr;
    }

private:
    TFakeComponent self_;
    std::vector<std::unique_ptr<TFakeComponent>> components_;
};

// The main window's components with their built-in texts. Button2,
// Button3, Label1 and ZIPPER, which its LangData still names, do not exist.
inline std::unique_ptr<TFakeWindow> MakeMainWindow() {
    auto w = std::make_unique<TFakeWindow>();
    w->Self()
        .Add("Caption", u"DO-Rodedir")
        .Add("Font.Name", u"Tahoma", TLangPropKind::Wide, true, true);
    const std::pair<const char*, const char16_t*> captions[] = {
        {"MainTabSheet", u"Tessor"},
        {"BurnButton", u"burn"},
        {"Button4", u"eject"},
        {"Button5", u"load"},
        {"Button1", u"burn iso"},
        {"create_iso", u"create_iso"},
        {"discsizeCheckBox", u"proof discsize"},
        {"dedupeCheckBox", u"identical files once"},
        {"delete", u"delete"},
        {"delall", u"delete all"},
        {"rename", u"rename"},
        {"Label2", u"used cache"},
        {"Label3", u"device buffer"},
        {"Button6", u"cancel"},
        {"lblstatus", u""},
        {"lbLsize", u""}};
    for (const char* name :
         {"WebBrowser", "PageControl", "ComboBox1", "cbLanguage", "TreeView1", "PopupMenu1",
          "Memo1", "pb", "scs", "dbs", "Image1", "Burner", "tmrErase", "tmrWriter", "advertising",
          "ImageList1", "OpenDialog", "Save_ISO_Dialog"}) {
        w->Make(name);
    }
    for (const auto& [name, text] : captions)
        w->Make(name).Add("Caption", text);
    w->Make("lcMain", true).Add("SectionName", u"");
    (*w)["ComboBox1"].Add("Text", u"");
    (*w)["cbLanguage"].Add("Text", u"English (United States)");
    (*w)["Burner"].Add("VolumeID", u"Quillbright");
    (*w)["OpenDialog"].Add("Filter", u"ISO File|*.iso").Add("DefaultExt", u"iso");
    (*w)["Memo1"].Add("Lines", u"", TLangPropKind::Strings);
    return w;
}

// A language file as the program stores them: UTF-16LE with the mark.
inline std::vector<uint8_t> Utf16File(std::u16string_view text) {
    std::vector<uint8_t> bytes = {0xFF, 0xFE};
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

inline std::vector<uint8_t> Bytes(std::string_view text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace tessor::lang::test
