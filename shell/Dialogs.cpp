#include "shell/Dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <memory>

namespace tessor::shell {

namespace {

// The texts join their parts with carriage returns; a word-wrapped message
// box shows each as a line break. A path has no blanks to wrap at, so it is
// given places to break first.
QMessageBox* MakeBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                     const QString& text) {
    auto* box = new QMessageBox(icon, caption, Breakable(text), QMessageBox::NoButton, parent);
    box->setAttribute(Qt::WA_DeleteOnClose, false);
    return box;
}

std::optional<QString> RunIsoDialog(QWidget* parent, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                       : QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("ISO File (*.iso)"));
    dialog.setDefaultSuffix(QStringLiteral("iso"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front();
}

}  // namespace

QString Breakable(const QString& text) {
    // A zero-width space is a place to break a line and shows nothing.
    constexpr char16_t kBreak = u'\u200B';
    constexpr int kLongestRun = 24;
    QString out;
    out.reserve(text.size() + text.size() / 8);
    int run = 0;
    for (QChar c : text) {
        out += c;
        if (c.isSpace()) {
            run = 0;
            continue;
        }
        ++run;
        const bool separator = c == u'/' || c == u'\\' || c == u'_' || c == u'-' || c == u'.';
        // Never inside a surrogate pair.
        if ((separator || run >= kLongestRun) && !c.isHighSurrogate()) {
            out += QChar(kBreak);
            run = 0;
        }
    }
    return out;
}

bool TQtPrompter::AskYesNo(QWidget* parent, const QString& caption, const QString& text) {
    std::unique_ptr<QMessageBox> box(MakeBox(parent, QMessageBox::Question, caption, text));
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    return box->exec() == QMessageBox::Yes;
}

void TQtPrompter::Inform(QWidget* parent, const QString& caption, const QString& text) {
    std::unique_ptr<QMessageBox> box(MakeBox(parent, QMessageBox::Information, caption, text));
    box->setStandardButtons(QMessageBox::Ok);
    box->exec();
}

std::optional<QString> TQtFileChooser::SaveIsoFile(QWidget* parent) {
    return RunIsoDialog(parent, QFileDialog::AcceptSave);
}

std::optional<QString> TQtFileChooser::OpenIsoFile(QWidget* parent) {
    return RunIsoDialog(parent, QFileDialog::AcceptOpen);
}

bool TQtUrlOpener::Open(const QUrl& address) {
    return QDesktopServices::openUrl(address);
}

}  // namespace tessor::shell
