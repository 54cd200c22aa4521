#include "shell/UContainer.h"

#include <QMenu>
#include <QStringList>

#include "shell/WebBrowser.h"

namespace tessor::shell {

bool TWBContainer::GetHostInfo(THostInfo& info) {
    info.NoScrollBars = !ScrollBarsVisible;
    info.NoBorder = !BorderVisible;
    info.NoTextSelection = !TextSelectable;
    info.StyleSheet = HostStyleSheet;
    return true;
}

bool TWBContainer::ShowContextMenu(const QPoint& globalPos) {
    if (!CustomContextMenu)
        return false;
    if (TWebBrowser* browser = Browser())
        if (browser->PopupMenu)
            browser->PopupMenu->popup(globalPos);
    return true;
}

QString ColorToHtml(const QColor& color) {
    QColor rgb = color.toRgb();
    return QStringLiteral("#%1%2%3")
        .arg(rgb.red(), 2, 16, QLatin1Char('0'))
        .arg(rgb.green(), 2, 16, QLatin1Char('0'))
        .arg(rgb.blue(), 2, 16, QLatin1Char('0'))
        .toUpper();
}

QString HostStyleSheetText(const QColor& window, const QColor& text, const QString& fontName,
                           int fontPoints, const QColor& inactiveCaption) {
    const QString points = QString::number(fontPoints) + QStringLiteral("pt");
    const QString family = QLatin1Char('"') + fontName + QLatin1Char('"');
    auto rule = [](const char* selector, const QStringList& declarations) {
        QString out = QLatin1String(selector) + QStringLiteral(" {");
        for (const QString& d : declarations)
            out += QStringLiteral("\r\n    ") + d + QLatin1Char(';');
        return out + QStringLiteral("\r\n}");
    };
    QStringList rules{
        rule("body", {QStringLiteral("background-color: ") + ColorToHtml(window),
                      QStringLiteral("color: ") + ColorToHtml(text),
                      QStringLiteral("font-family: ") + family,
                      QStringLiteral("font-size: ") + points, QStringLiteral("margin: 4px")}),
        rule("h1", {QStringLiteral("font-size: ") + points, QStringLiteral("font-weight: bold"),
                    QStringLiteral("text-align: center")}),
        rule("input#button",
             {QStringLiteral("color: ") + ColorToHtml(text),
              QStringLiteral("font-family: ") + family, QStringLiteral("font-size: ") + points}),
        rule(".ruled", {QStringLiteral("border-bottom: ") + ColorToHtml(inactiveCaption) +
                            QStringLiteral(" solid 2px"),
                        QStringLiteral("padding-bottom: 6px")}),
    };
    return rules.join(QStringLiteral("\r\n"));
}

}  // namespace tessor::shell
