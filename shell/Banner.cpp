// The banner at the top of the main window, its offline picture, and the
// update check that follows every banner page the maker's server delivers.
#include <QFile>
#include <QSaveFile>
#include <QUrl>

#include "shell/CheckUpdates.h"
#include "shell/MainWindow.h"
#include "shell/MakerServer.h"
#include "shell/ShellText.h"
#include "shell/UContainer.h"
#include "shell/WebBrowser.h"
#include "shell/assets/Assets.h"

namespace tessor::shell {

namespace {

bool IsWebAddress(const QUrl& address) {
    return address.isValid() && !address.host().isEmpty() &&
           (address.scheme() == QLatin1String("http") ||
            address.scheme() == QLatin1String("https"));
}

// The offline page: the picture centred on the banner's green, linked to
// the banner-click page. The HTML view ignores the body's margin
// attributes; the browser shows every document without margins anyway.
QString OfflineBannerHtml(const QString& pictureSource, const QString& clickAddress) {
    return QStringLiteral(
               "<html><head></head>"
               "<body leftmargin=\"0\" topmargin=\"0\" marginwidth=\"0\" marginheight=\"0\" "
               "margin=\"0\" bgcolor=\"#A9FB1A\">"
               "<table width=\"100%\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\"><tr><td>"
               "<div align=\"center\"><a href=\"%1\" target=\"_blank\">"
               "<img border=\"0\" src=\"%2\"></a></div>"
               "</td></tr></table></body></html>")
        .arg(clickAddress.toHtmlEscaped(), pictureSource.toHtmlEscaped());
}

}  // namespace

QString TForm1::OfflineBannerFile() const {
    return ProgramFolder + QStringLiteral("/Tessoradv.gif");
}

void TForm1::NavigateBanner() {
    WebBrowser->TimeoutMs = HttpTimeoutMs;
    WebBrowser->Navigate(QUrl(BannerUrl));
}

void TForm1::advertisingTimer() {
    NavigateBanner();
}

// Written whole under a temporary name and then renamed, so a reader never
// sees half a picture and a link of that name is replaced, not followed.
bool TForm1::WriteOfflinePicture() {
    QFile picture{QLatin1String(kOfflineBannerResource)};
    if (ProgramFolder.isEmpty() || !picture.open(QIODevice::ReadOnly))
        return false;
    QSaveFile file(OfflineBannerFile());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(picture.readAll());
    return file.commit();
}

void TForm1::WebBrowserNavigateError() {
    BannerFailed = true;
    // An installed program's folder is not writable: the page then takes the
    // picture from the program's own resources.
    QString source = WriteOfflinePicture()
                         ? QUrl::fromLocalFile(OfflineBannerFile()).toString(QUrl::FullyEncoded)
                         : QStringLiteral("qrc") + QLatin1String(kOfflineBannerResource);
    WebBrowser->LoadHtmlText(OfflineBannerHtml(source, MakerAddress(kBannerClickPath)));
}

void TForm1::WebBrowserDocumentComplete() {
    if (BannerFailed)
        return;
    const QString address = MakerAddress(kUpdateTextPath);
    if (address.isEmpty())
        return;
    // The window keeps processing events while it waits, so this can run
    // again meanwhile; the flag below still allows one question per run.
    const QString text = FetchUrlText(address, HttpTimeoutMs);
    std::optional<TUpdateOffer> offer = NewerVersionOffered(text, ProgramVersion);
    if (UpdateAsked || !offer)
        return;
    UpdateAsked = true;
    if (seams_.Prompter != nullptr &&
        seams_.Prompter->AskYesNo(nullptr, Lang("QUESTION"), UpdateQuestionText(offer->Version)) &&
        seams_.Urls != nullptr)
        seams_.Urls->Open(offer->Download);
}

// Links open in the user's web browser; a link relative to the banner page
// means the page's server.
void TForm1::WebBrowserAnchorClicked(const QUrl& address) {
    QUrl target = WebBrowser->LocationURL().resolved(address);
    if (IsWebAddress(target) && seams_.Urls != nullptr)
        seams_.Urls->Open(target);
}

}  // namespace tessor::shell
