// The window program's start: the main window is made and its start-up
// runs (before the about box exists), then the about box is made hidden; a
// click on the window's Image1 shows it modally. Both live until the program
// ends; the about box goes first.
#pragma once

#include <memory>

#include "shell/Dialogs.h"

namespace tessor::shell {

class TAboutForm;
class TForm1;

class TProgram {
public:
    // Needs the QApplication. `seams` default to the Qt message boxes, file
    // dialogs and desktop services.
    explicit TProgram(TShellSeams seams = {});
    ~TProgram();

    // Shows the main window centred on its screen.
    void Show();

    TForm1& Window() { return *window_; }
    TAboutForm& About() { return *about_; }

private:
    TQtPrompter prompter_;
    TQtFileChooser files_;
    TQtUrlOpener urls_;
    std::unique_ptr<TForm1> window_;
    std::unique_ptr<TAboutForm> about_;
};

}  // namespace tessor::shell
