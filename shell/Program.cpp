#include "shell/Program.h"

#include <QScreen>

#include "shell/AboutUnit.h"
#include "shell/MainWindow.h"

namespace tessor::shell {

TProgram::TProgram(TShellSeams seams) {
    if (seams.Prompter == nullptr)
        seams.Prompter = &prompter_;
    if (seams.Files == nullptr)
        seams.Files = &files_;
    if (seams.Urls == nullptr)
        seams.Urls = &urls_;
    window_ = std::make_unique<TForm1>(seams);
    window_->FormCreate();
    about_ = std::make_unique<TAboutForm>(seams.Urls);
    TAboutForm* about = about_.get();
    window_->OnImage1Click = [about] { about->exec(); };
}

TProgram::~TProgram() {
    about_.reset();
    window_.reset();
}

void TProgram::Show() {
    if (QScreen* screen = window_->screen()) {
        QRect area = screen->availableGeometry();
        window_->move(area.center() - window_->rect().center());
    }
    window_->show();
}

}  // namespace tessor::shell
