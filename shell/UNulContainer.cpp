#include "shell/UNulContainer.h"

#include "shell/WebBrowser.h"

namespace tessor::shell {

TNulWBContainer::TNulWBContainer(TWebBrowser& browser) : browser_(&browser) {
    browser.SetHost(this);
}

TNulWBContainer::~TNulWBContainer() {
    if (browser_ && browser_->Host() == this)
        browser_->SetHost(nullptr);
}

bool TNulWBContainer::GetHostInfo(THostInfo&) {
    return true;
}

bool TNulWBContainer::ShowContextMenu(const QPoint&) {
    return false;
}

}  // namespace tessor::shell
