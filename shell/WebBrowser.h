// The banner's embedded browser: an HTML view that loads a page and its
// pictures over HTTP without waiting, shows HTML text from memory, and
// reports a completed document or a failed navigation. It runs no scripts
// and follows no links: a clicked link is reported (anchorClicked) for the
// owner to open elsewhere. How it shows documents and what a right-click
// does are asked of its host (UNulContainer.h).
#pragma once

#include <QHash>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

#include "shell/InetUrl.h"

class QMenu;
class QNetworkAccessManager;
class QNetworkReply;

namespace tessor::shell {

class TNulWBContainer;

class TWebBrowser : public QTextBrowser {
    Q_OBJECT

public:
    explicit TWebBrowser(QWidget* parent = nullptr);
    ~TWebBrowser() override;

    // Loads the page at `address` (http or https), then its pictures. Any
    // other address, or none, fails at once (NavigateError, delivered from
    // the event loop like every other report).
    void Navigate(const QUrl& address);
    // Stops any navigation and shows `html` now. The text may name local
    // files and Qt resources (":/...") for its pictures; no completed
    // document is reported for it.
    void LoadHtmlText(const QString& html);
    // Stops a navigation in progress; nothing is reported for it.
    void Stop();
    // The address of the document shown: the page's address after
    // redirects, "about:blank" for text from memory.
    QUrl LocationURL() const { return location_; }

    void SetHost(TNulWBContainer* host) { host_ = host; }
    TNulWBContainer* Host() const { return host_; }

    // The time limit of each request, in milliseconds.
    int TimeoutMs = kHttpTimeoutMs;
    // The control's own pop-up menu, which a host may show instead of the
    // browser's; none unless the owner gives one.
    QMenu* PopupMenu = nullptr;

signals:
    // The page and its pictures have arrived (pictures that could not be
    // had are left out).
    void DocumentComplete(const QUrl& address);
    // The page could not be loaded: no answer, or a status of 400 or more.
    void NavigateError(const QUrl& address);

protected:
    QVariant loadResource(int type, const QUrl& name) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void ApplyHostInfo();
    void Show(const QString& html, const QUrl& location, bool remote);
    void PageFinished(QNetworkReply* reply);
    void FetchPictures();
    void PictureFinished(QNetworkReply* reply, const QUrl& picture);
    void Complete();

    QNetworkAccessManager* network_ = nullptr;
    TNulWBContainer* host_ = nullptr;
    QPointer<QNetworkReply> page_;
    QList<QPointer<QNetworkReply>> pictures_;
    QHash<QUrl, QImage> images_;
    QUrl location_;
    // The document came from a server: its pictures come only from there,
    // never from local files.
    bool remote_ = false;
    // Counts navigations, so that a report of one that was stopped is
    // dropped.
    unsigned navigation_ = 0;
};

}  // namespace tessor::shell
