// The host object of an embedded browser: the browser asks it how to show
// each document it loads (scroll bars, border, text selection, a default
// style sheet) and what a right-click shows. TNulWBContainer answers with
// the browser's own defaults; TWBContainer (UContainer.h) is the banner's
// host.
#pragma once

#include <QPointer>
#include <QString>

class QPoint;

namespace tessor::shell {

class TWebBrowser;

// The host's answer for the documents the browser loads. The browser fills
// in its defaults before it asks.
struct THostInfo {
    bool NoScrollBars = false;
    bool NoBorder = false;
    // Dialog behaviour: links can be clicked, text cannot be selected.
    bool NoTextSelection = false;
    // The default style sheet of HTML documents; empty for none.
    QString StyleSheet;
};

class TNulWBContainer {
public:
    // Installs itself as the browser's host; destruction removes it again.
    explicit TNulWBContainer(TWebBrowser& browser);
    virtual ~TNulWBContainer();
    TNulWBContainer(const TNulWBContainer&) = delete;
    TNulWBContainer& operator=(const TNulWBContainer&) = delete;

    // False when the host has no answer; the browser then keeps its
    // defaults. This host leaves the record as the browser filled it.
    virtual bool GetHostInfo(THostInfo& info);
    // A right-click at `globalPos`. False lets the browser show its own
    // menu, true means the host has dealt with it.
    virtual bool ShowContextMenu(const QPoint& globalPos);

protected:
    // Null once the browser has gone.
    TWebBrowser* Browser() const { return browser_; }

private:
    QPointer<TWebBrowser> browser_;
};

}  // namespace tessor::shell
