#include "shell/CheckUpdates.h"

#include <QRegularExpression>
#include <QStringList>

#include "shell/ShellText.h"

namespace tessor::shell {

namespace {

// The version's digits with the dots removed and leading zeros dropped, as
// the whole number they make; nothing when anything else is left. Kept as
// digits so that no version is too long to compare.
std::optional<QString> VersionDigits(const QString& version) {
    QString digits = version.trimmed();
    digits.remove(QLatin1Char('.'));
    if (digits.isEmpty())
        return std::nullopt;
    for (QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    qsizetype first = 0;
    while (first < digits.size() - 1 && digits[first] == QLatin1Char('0'))
        ++first;
    return digits.mid(first);
}

bool Greater(const QString& a, const QString& b) {
    if (a.size() != b.size())
        return a.size() > b.size();
    return a > b;
}

}  // namespace

std::optional<TUpdateOffer> NewerVersionOffered(const QString& updateText,
                                                const QString& programVersion) {
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = updateText.split(lineEnd);
    if (updateText.isEmpty() || lines.size() < 2)
        return std::nullopt;
    std::optional<QString> remote = VersionDigits(lines[0]);
    std::optional<QString> local = VersionDigits(programVersion);
    if (!remote || !local || !Greater(*remote, *local))
        return std::nullopt;
    QUrl download(lines[1].trimmed(), QUrl::StrictMode);
    if (!download.isValid() || download.host().isEmpty() ||
        (download.scheme() != QLatin1String("http") && download.scheme() != QLatin1String("https")))
        return std::nullopt;
    return TUpdateOffer{lines[0].trimmed(), download};
}

QString UpdateQuestionText(const QString& offeredVersion) {
    return Lang("WANTUPDATE") + QStringLiteral("\r\rTessor ") + offeredVersion;
}

}  // namespace tessor::shell
