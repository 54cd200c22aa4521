// Tessor's own files for the window and the about box, built into the
// program as Qt resources from resources/: the licence document, the
// notices about the outside libraries, the offline banner and the pictures.
// A program gets them by linking tessor_shell_assets.
#pragma once

#include <QIcon>
#include <QString>

class QTextDocument;

namespace tessor::shell {

// The licence document "lizenz" (RTF).
inline constexpr char kLicenceResource[] = ":/lizenz";
// The offline banner "Tessoradv": GIF bytes, written out as "Tessoradv.gif".
inline constexpr char kOfflineBannerResource[] = ":/Tessoradv";
// The notices about outside libraries: UTF-8 text, one notice per line.
inline constexpr char kNoticesResource[] = ":/notices";
// The about box's logo, 128 x 128.
inline constexpr char kLogoPicture[] = ":/pictures/logo.png";
// The main window's 32 x 32 picture that opens the about box (`Image1`).
inline constexpr char kAboutPicture[] = ":/pictures/about.png";

// The program icon in every size it is drawn in (16 to 256 pixels).
QIcon ProgramIcon();

// Icon `index` of the compilation tree: 0 the root (the disc), 1 a folder,
// 2 a file; a null icon for any other index.
QIcon TreeIcon(int index);

// Loads the licence document into `document`; false when the resource is
// missing or is not RTF.
bool LoadLicence(QTextDocument& document);

// The notices about outside libraries, one per line.
QString Notices();

}  // namespace tessor::shell
