#include "shell/WindowLook.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QStyle>

namespace tessor::shell {

QFont WindowFont() {
    static const QString family = [] {
        if (QFontDatabase::families().contains(QStringLiteral("Tahoma")))
            return QStringLiteral("Tahoma");
        for (const char* file :
             {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/fonts/truetype/wine/tahoma.ttf"}) {
            if (QFile::exists(QLatin1String(file)) &&
                QFontDatabase::addApplicationFont(QLatin1String(file)) >= 0) {
                QFontDatabase::addApplicationFont(QString::fromLatin1(file).replace(
                    QLatin1String("tahoma.ttf"), QLatin1String("tahomabd.ttf")));
                return QStringLiteral("Tahoma");
            }
        }
        return QStringLiteral("DejaVu Sans");
    }();
    return QFont(family, 8);
}

// Until the program's own pictures are drawn, the style's standard icons
// stand in for them.
QIcon TreeIcon(int index) {
    static const QStyle::StandardPixmap kPictures[] = {QStyle::SP_DriveCDIcon, QStyle::SP_DirIcon,
                                                       QStyle::SP_FileIcon};
    if (index < 0 || index > 2)
        return {};
    return QApplication::style()->standardIcon(kPictures[index]);
}

QIcon ProgramPicture() {
    return QApplication::style()->standardIcon(QStyle::SP_DriveCDIcon);
}

}  // namespace tessor::shell
