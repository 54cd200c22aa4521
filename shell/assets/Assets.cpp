#include "shell/assets/Assets.h"

#include <QFile>
#include <QTextDocument>

#include "shell/rtf/RtfReader.h"

namespace tessor::shell {

namespace {

QByteArray ResourceBytes(const char* path) {
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/pictures/tessor-%1.png").arg(size), QSize(size, size));
    return icon;
}

QIcon TreeIcon(int index) {
    static const char* const kNames[] = {"cd", "folder", "file"};
    if (index < 0 || index > 2)
        return {};
    // QIcon picks up the tree-*@2x.png beside each file by itself.
    return QIcon(QStringLiteral(":/pictures/tree-%1.png").arg(QLatin1String(kNames[index])));
}

bool LoadLicence(QTextDocument& document) {
    return ReadRtf(ResourceBytes(kLicenceResource), document);
}

QString Notices() {
    return QString::fromUtf8(ResourceBytes(kNoticesResource)).trimmed();
}

}  // namespace tessor::shell
