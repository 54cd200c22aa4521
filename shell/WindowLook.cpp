#include "shell/WindowLook.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>

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

}  // namespace tessor::shell
