// Tessor: the window program.
#include <QApplication>
#include <QNetworkProxyFactory>
#include <filesystem>
#include <string>
#include <vector>

#include "shell/MainWindow.h"
#include "shell/Program.h"
#include "shell/QuitSignals.h"
#include "shell/cmdline/CommandLine.h"

int main(int argc, char** argv) {
    // --help and --version answer without a display.
    std::vector<std::string> sources;
    int exitCode = tessor::shell::HandleWindowCommandLine(argc, argv, stdout, stderr, &sources);
    if (exitCode >= 0)
        return exitCode;
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessor"));
    // Lets the desktop match the window to its entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tessor.tessor"));
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    tessor::shell::TProgram program;
    tessor::shell::TForm1& window = program.Window();
    // Whichever way the program is asked to end (its window closed or
    // destroyed, a signal), a running write is cancelled and its session
    // closed first, and the program ends once that is done.
    window.OnClosed = [] { QCoreApplication::quit(); };
    auto quit = [&window] { window.RequestQuit(); };
    tessor::shell::QuitOnTerminationSignals(quit);
    program.Show();
    tessor::shell::QuitWhenWindowDestroyed(&window, quit);
    // Names from the command line join the tree as a drop does, with their
    // full paths.
    const std::string here = std::filesystem::current_path().string();
    for (std::string& source : sources) {
        if (source.front() != '/')
            source = here + '/' + source;
    }
    program.Window().AddDroppedPaths(sources);
    return app.exec();
}
