// Tessor: the window program.
#include <QApplication>
#include <QNetworkProxyFactory>

#include "shell/Program.h"
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
    program.Show();
    return app.exec();
}
