#include "shell/Dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <memory>

namespace tessor::shell {

namespace {

// The texts join their parts with carriage returns; a word-wrapped message
// box shows each as a line break.
QMessageBox* MakeBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                     const QString& text) {
    auto* box = new QMessageBox(icon, caption, text, QMessageBox::NoButton, parent);
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
