#include "shell/ShellText.h"

#include <QLocale>
#include <QStringList>

#include "engine/component/DiscBurner.h"
#include "engine/platform/Strings.h"
#include "lang/ProgramLanguages.h"

namespace tessor::shell {

namespace {

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

QString Lang(std::string_view name) {
    return ToQ(lang::GetLangConstant(name));
}

QString ToQ(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

std::u16string FromQ(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<size_t>(text.size()));
}

QString Shown(std::u16string_view sourcePath) {
    return ToQ(platform::ReplaceEscapedBytes(sourcePath));
}

std::u16string LastPathPart(std::u16string_view path) {
    if (path.size() < 4)
        return std::u16string(path);
    for (size_t i = path.size() - 1; i-- > 0;) {
        if (path[i] == u'/')
            return std::u16string(path.substr(i + 1));
    }
    return std::u16string(path);
}

std::u16string DiscFolderName(std::u16string_view path) {
    while (!path.empty() && path.back() == u'/')
        path.remove_suffix(1);
    size_t slash = path.rfind(u'/');
    return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

size_t CharCount(std::u16string_view text) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))
            ++i;
        ++n;
    }
    return n;
}

std::u16string_view FirstChars(std::u16string_view text, size_t count) {
    size_t i = 0;
    for (size_t n = 0; n < count && i < text.size(); ++n) {
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))
            ++i;
        ++i;
    }
    return text.substr(0, i);
}

std::u16string_view FileNamePart(std::u16string_view path) {
    size_t slash = path.rfind(u'/');
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

std::u16string_view FolderPart(std::u16string_view path) {
    size_t slash = path.rfind(u'/');
    return slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash);
}

std::u16string_view Extension(std::u16string_view path) {
    std::u16string_view name = FileNamePart(path);
    size_t dot = name.rfind(u'.');
    return dot == std::u16string_view::npos ? std::u16string_view() : name.substr(dot);
}

std::u16string ProposedLongName(std::u16string_view path) {
    std::u16string out(FolderPart(path));
    out += u'/';
    out += FirstChars(FileNamePart(path), 60);
    out += Extension(path);
    return out;
}

std::u16string ShortenedLongName(std::u16string_view path) {
    std::u16string out(FirstChars(FileNamePart(path), 100));
    out += Extension(path);
    return out;
}

QString LongNameQuestion(std::u16string_view path) {
    const QString twoReturns = QStringLiteral("\r\r");
    return QStringList{Lang("FILE_TOO_LONG"), Shown(path), Lang("RENAME_TO"),
                       Shown(ProposedLongName(path)), Lang("IFNOT_RENAME")}
        .join(twoReturns);
}

QString StatusText(uint16_t code) {
    return Lang(component::TDiscBurner::StatusName(code));
}

QString Megabytes(uint64_t sectors) {
    double mb = static_cast<double>(sectors * 2048) / 1024.0 / 1024.0;
    return QLocale().toString(mb, 'f', 2);
}

QString DiscTooSmallText(uint64_t freeSectors, uint64_t capacitySectors, uint64_t neededSectors) {
    return Lang("INSERTED_DISK") + Megabytes(freeSectors) + Lang("MB1") + QLatin1Char(' ') +
           Megabytes(capacitySectors) + Lang("ZU_KLEIN") + QLatin1Char(' ') +
           Megabytes(neededSectors) + Lang("MB2");
}

QString WriteProgressText(uint64_t written, uint64_t total) {
    QString text = Megabytes(written) + QLatin1Char('/') + Megabytes(total) + QStringLiteral(" MB");
    if (written == 0)
        return text;
    QLocale plain;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    double percent = total == 0 ? 0.0 : static_cast<double>(written) / total * 100.0;
    return text + QStringLiteral(" (") + plain.toString(percent, 'f', 2) + QStringLiteral(")%");
}

std::u16string VolumeLabelOf(const QString& rootText) {
    std::u16string label = FromQ(rootText);
    if (label.size() > 32) {
        label.resize(32);
        if (IsHighSurrogate(label.back()))
            label.pop_back();
    }
    return label;
}

}  // namespace tessor::shell
