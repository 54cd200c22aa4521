#include "shell/LangWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QStackedWidget>
#include <QTabWidget>
#include <QWidget>

#include "lang/LangResources.h"
#include "shell/ShellText.h"

namespace tessor::shell {

namespace {

QTabWidget* TabsOfPage(QWidget* page) {
    auto* stack = qobject_cast<QStackedWidget*>(page->parentWidget());
    return stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
}

// Whether the object has a caption, and its text.
bool GetCaption(QObject* o, QString& text) {
    if (auto* b = qobject_cast<QAbstractButton*>(o)) {
        text = b->text();
    } else if (auto* l = qobject_cast<QLabel*>(o)) {
        text = l->text();
    } else if (auto* a = qobject_cast<QAction*>(o)) {
        text = a->text();
    } else if (auto* w = qobject_cast<QWidget*>(o)) {
        if (w->isWindow()) {
            text = w->windowTitle();
        } else if (QTabWidget* tabs = TabsOfPage(w)) {
            text = tabs->tabText(tabs->indexOf(w));
        } else {
            return false;
        }
    } else {
        return false;
    }
    return true;
}

void SetCaption(QObject* o, const QString& text) {
    if (auto* b = qobject_cast<QAbstractButton*>(o)) {
        b->setText(text);
    } else if (auto* l = qobject_cast<QLabel*>(o)) {
        l->setText(text);
    } else if (auto* a = qobject_cast<QAction*>(o)) {
        a->setText(text);
    } else if (auto* w = qobject_cast<QWidget*>(o)) {
        if (w->isWindow()) {
            w->setWindowTitle(text);
        } else if (QTabWidget* tabs = TabsOfPage(w)) {
            tabs->setTabText(tabs->indexOf(w), text);
        }
    }
}

}  // namespace

TQtLangComponent::TQtLangComponent(QObject* object)
    : name_(object->objectName().toStdString()), object_(object) {}

TQtLangComponent::TQtLangComponent(std::string name, bool languageController)
    : name_(std::move(name)), controller_(languageController) {}

std::vector<lang::TLangPropInfo> TQtLangComponent::StringProperties() const {
    std::vector<lang::TLangPropInfo> out;
    QString caption;
    if (object_ && GetCaption(object_, caption)) {
        // A caption left empty is at its default and not stored with the window.
        out.push_back({"Caption", lang::TLangPropKind::Wide, !caption.isEmpty(), false});
    }
    for (const TProperty& p : extra_)
        out.push_back({p.Path, lang::TLangPropKind::Wide, true, false});
    return out;
}

const TQtLangComponent::TProperty* TQtLangComponent::Find(std::string_view path) const {
    for (const TProperty& p : extra_) {
        if (lang::SameAnsiText(p.Path, path))
            return &p;
    }
    return nullptr;
}

std::u16string TQtLangComponent::GetText(std::string_view path) const {
    if (const TProperty* p = Find(path))
        return p->Get();
    QString caption;
    if (object_ && lang::SameAnsiText(path, "Caption") && GetCaption(object_, caption))
        return FromQ(caption);
    return {};
}

void TQtLangComponent::SetText(std::string_view path, const std::u16string& value) {
    if (const TProperty* p = Find(path)) {
        p->Set(value);
        return;
    }
    if (object_ && lang::SameAnsiText(path, "Caption"))
        SetCaption(object_, ToQ(value));
}

TQtLangWindow::TQtLangWindow(QWidget* window) : self_(window) {
    for (QObject* o : window->findChildren<QObject*>()) {
        if (!o->objectName().isEmpty() && !o->objectName().startsWith(QLatin1String("qt_")))
            parts_.push_back(std::make_unique<TQtLangComponent>(o));
    }
}

TQtLangComponent& TQtLangWindow::AddPart(std::string name, bool languageController) {
    parts_.push_back(std::make_unique<TQtLangComponent>(std::move(name), languageController));
    return *parts_.back();
}

std::vector<lang::TLangPropInfo> TQtLangWindow::StringProperties() const {
    return self_.StringProperties();
}

std::u16string TQtLangWindow::GetText(std::string_view path) const {
    return self_.GetText(path);
}

void TQtLangWindow::SetText(std::string_view path, const std::u16string& value) {
    self_.SetText(path, value);
}

lang::TLangComponent* TQtLangWindow::FindComponent(std::string_view name) {
    for (auto& p : parts_) {
        if (lang::SameAnsiText(p->ComponentName(), name))
            return p.get();
    }
    return nullptr;
}

}  // namespace tessor::shell
