// Tessor: the main window.
#include <QApplication>
#include <QScreen>

#include "shell/Dialogs.h"
#include "shell/MainWindow.h"
#include "shell/cmdline/CommandLine.h"

int main(int argc, char** argv) {
    // --help and --version answer without a display.
    int exitCode = tessor::shell::HandleWindowCommandLine(argc, argv, stdout, stderr);
    if (exitCode >= 0)
        return exitCode;
    QApplication app(argc, argv);
    tessor::shell::TQtPrompter prompter;
    tessor::shell::TQtFileChooser files;
    tessor::shell::TQtUrlOpener urls;
    tessor::shell::TForm1 window({&prompter, &files, &urls});
    window.FormCreate();
    if (QScreen* screen = window.screen()) {
        QRect area = screen->availableGeometry();
        window.move(area.center() - window.rect().center());
    }
    window.show();
    return app.exec();
}
