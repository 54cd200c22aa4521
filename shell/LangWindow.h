// The main window as the language controller sees it: a registry of its
// named parts and their translatable properties. A part is found by its
// object name (widgets, menu actions, timers) or is one of the window's
// non-visual parts registered by name. "Caption" is the text of a button,
// label, check box or menu action, the tab text of a tab page, and the
// window's title.
#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lang/LangComponent.h"

class QObject;
class QWidget;

namespace tessor::shell {

class TQtLangComponent : public lang::TLangComponent {
public:
    // A Qt object; its name is its object name.
    explicit TQtLangComponent(QObject* object);
    // A non-visual part without a Qt object, with optional properties.
    TQtLangComponent(std::string name, bool languageController);

    struct TProperty {
        std::string Path;
        std::function<std::u16string()> Get;
        std::function<void(const std::u16string&)> Set;
    };
    void AddProperty(TProperty property) { extra_.push_back(std::move(property)); }

    std::string ComponentName() const override { return name_; }
    bool IsLanguageController() const override { return controller_; }
    std::vector<lang::TLangPropInfo> StringProperties() const override;
    std::u16string GetText(std::string_view path) const override;
    void SetText(std::string_view path, const std::u16string& value) override;

private:
    const TProperty* Find(std::string_view path) const;

    std::string name_;
    bool controller_ = false;
    QPointer<QObject> object_;
    std::vector<TProperty> extra_;
};

class TQtLangWindow : public lang::TLangWindow {
public:
    // Registers the window and every named object below it.
    explicit TQtLangWindow(QWidget* window);
    // A part that is not a Qt object below the window.
    TQtLangComponent& AddPart(std::string name, bool languageController = false);

    std::string ComponentName() const override { return self_.ComponentName(); }
    std::vector<lang::TLangPropInfo> StringProperties() const override;
    std::u16string GetText(std::string_view path) const override;
    void SetText(std::string_view path, const std::u16string& value) override;
    lang::TLangComponent* FindComponent(std::string_view name) override;

private:
    TQtLangComponent self_;
    std::vector<std::unique_ptr<TQtLangComponent>> parts_;
};

}  // namespace tessor::shell
