// TWBContainer, the host of the banner browser: its fields switch the
// scroll bars, the border and text selection off, replace the browser's
// context menu and may hand the documents a style sheet. The fields are
// read whenever the browser starts a document, so they take effect with the
// next navigation.
#pragma once

#include <QColor>
#include <QString>

#include "shell/UNulContainer.h"

namespace tessor::shell {

class TWBContainer : public TNulWBContainer {
public:
    using TNulWBContainer::TNulWBContainer;

    // True: the browser's own menu is suppressed and the browser control's
    // pop-up menu, when it has one, is shown instead.
    bool CustomContextMenu = false;
    bool ScrollBarsVisible = true;
    bool BorderVisible = true;
    bool TextSelectable = true;
    QString HostStyleSheet;

    bool GetHostInfo(THostInfo& info) override;
    bool ShowContextMenu(const QPoint& globalPos) override;
};

// A colour as HTML text, "#RRGGBB" in upper-case hex: #FFFFFF for white.
QString ColorToHtml(const QColor& color);

// The style sheet a host can give HTML documents so that they look like
// the window: its background and text colours, its font, and the colour of
// inactive window captions for ruled lines. Lines end in CR LF, the
// declarations are indented by four blanks.
QString HostStyleSheetText(const QColor& window, const QColor& text, const QString& fontName,
                           int fontPoints, const QColor& inactiveCaption);

}  // namespace tessor::shell
