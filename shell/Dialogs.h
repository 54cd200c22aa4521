// The window's modal questions, file choices and opened addresses go
// through these small interfaces, so tests can answer them. The program
// uses the Qt forms below.
#pragma once

#include <QString>
#include <QUrl>
#include <optional>

class QWidget;

namespace tessor::shell {

class TPrompter {
public:
    virtual ~TPrompter() = default;
    // A Yes/No question with a question icon; true for Yes.
    virtual bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) = 0;
    // A message with an information icon.
    virtual void Inform(QWidget* parent, const QString& caption, const QString& text) = 0;
};

class TFileChooser {
public:
    virtual ~TFileChooser() = default;
    // The image file to create (filter "ISO File|*.iso", default extension
    // "iso"); nothing when the user cancels.
    virtual std::optional<QString> SaveIsoFile(QWidget* parent) = 0;
    // The image file to burn; nothing when the user cancels.
    virtual std::optional<QString> OpenIsoFile(QWidget* parent) = 0;
};

class TUrlOpener {
public:
    virtual ~TUrlOpener() = default;
    virtual bool Open(const QUrl& address) = 0;
};

// The text with places to break a line in every long run without blanks
// (a path, a long file name), so a message box that shows it whole stays
// within the screen. Nothing visible is added.
QString Breakable(const QString& text);

// QMessageBox, QFileDialog and QDesktopServices.
class TQtPrompter : public TPrompter {
public:
    bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) override;
    void Inform(QWidget* parent, const QString& caption, const QString& text) override;
};

class TQtFileChooser : public TFileChooser {
public:
    std::optional<QString> SaveIsoFile(QWidget* parent) override;
    std::optional<QString> OpenIsoFile(QWidget* parent) override;
};

class TQtUrlOpener : public TUrlOpener {
public:
    bool Open(const QUrl& address) override;
};

struct TShellSeams {
    TPrompter* Prompter = nullptr;
    TFileChooser* Files = nullptr;
    TUrlOpener* Urls = nullptr;
};

}  // namespace tessor::shell
