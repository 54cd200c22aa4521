// The check for a newer version: the update text on the maker's web server
// holds the newest version in line 1 and its download address in line 2.
#pragma once

#include <QString>
#include <QUrl>
#include <optional>

namespace tessor::shell {

struct TUpdateOffer {
    QString Version;  // line 1
    QUrl Download;    // line 2
};

// What the update text offers a program of `programVersion`. Both versions
// are compared as whole numbers made of their digits with the dots
// removed, so 1.2.0.11 (12011) is newer than 1.2.0.10 (12010) but 1.3.0.1
// (1301) is older. Nothing when the text is empty, when line 1 or the
// program's version is no whole number that way, when line 1 is not newer,
// or when line 2 is not an http or https address: the address is handed to
// the desktop to open, and nothing else from a server should be.
std::optional<TUpdateOffer> NewerVersionOffered(const QString& updateText,
                                                const QString& programVersion);

// The question: WANTUPDATE, two carriage returns, "Tessor " and line 1.
QString UpdateQuestionText(const QString& offeredVersion);

}  // namespace tessor::shell
