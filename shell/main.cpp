// Tessor: the window program.
#include <QApplication>
#include <QNetworkProxyFactory>

#include "shell/MainWindow.h"
#include "shell/Program.h"
#include "shell/QuitSignals.h"
#include "shell/cmdline/CommandLine.h"

int main(int argc, char** argv) {
    // --help and --version answer without a display.
    int exitCode = tessor::shell::HandleWindowCommandLine(argc, argv, stdout, stderr);
    if (exitCode >= 0)
        return exitCode;
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessor"));
    // Lets the desktop match the window to its entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tessor.tessor"));
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    tessor::shell::TProgram program;
    tessor::shell::QuitOnTerminationSignals([&program] {
        // As when the user closes the window (a running write is
        // cancelled); quitting also ends the about box if it is open.
        program.Window().close();
        QCoreApplication::quit();
    });
    program.Show();
    return app.exec();
}
