#include "shell/AboutUnit.h"

#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTextEdit>

#include "shell/Dialogs.h"
#include "shell/MakerServer.h"
#include "shell/WindowLook.h"
#include "shell/assets/Assets.h"
#include "shell/rtf/RtfReader.h"
#include "version/FileVersion.h"

namespace tessor::shell {

namespace {

template <typename T>
T* Named(T* object, const char* name) {
    object->setObjectName(QLatin1String(name));
    return object;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect place) {
    auto* label = Named(new QLabel(text, parent), name);
    label->setGeometry(place);
    return label;
}

QLabel* MakePicture(QWidget* parent, const char* name, const char* resource, QRect place) {
    auto* label = MakeLabel(parent, name, QString(), place);
    label->setPixmap(QIcon(QLatin1String(resource)).pixmap(place.size()));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QTextEdit* MakeRichEdit(QWidget* parent, const char* name, QRect place) {
    auto* edit = Named(new QTextEdit(parent), name);
    edit->setGeometry(place);
    edit->setReadOnly(true);
    edit->setUndoRedoEnabled(false);
    return edit;
}

// The product page's address as the link shows it, without the scheme.
QString ShownAddress(const QString& address) {
    QString shown = address;
    return shown.remove(0, shown.indexOf(QLatin1String("//")) + 2);
}

}  // namespace

TAboutForm::TAboutForm(TUrlOpener* urls, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      urls_(urls) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("AboutForm"));
    setFixedSize(536, 326);
    setFont(WindowFont());
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    PageControl1 = Named(new QTabWidget(this), "PageControl1");
    PageControl1->setGeometry(0, 0, 536, 326);
    TabSheet1 = Named(new QWidget(), "TabSheet1");
    TabSheet2 = Named(new QWidget(), "TabSheet2");
    PageControl1->addTab(TabSheet1, QStringLiteral("Info"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Lizenzen"));
    BuildInfoPage();
    BuildLicencePage();

    // FormCreate: the licence document.
    QFile licence{QLatin1String(kLicenceResource)};
    if (licence.open(QIODevice::ReadOnly))
        LoadLicenceText(licence.readAll());
}

void TAboutForm::BuildInfoPage() {
    QWidget* page = TabSheet1;
    Image1 = MakePicture(page, "Image1", kLogoPicture, {12, 12, 128, 128});
    Image2 = MakePicture(page, "Image2", ":/pictures/tree-folder@2x.png", {28, 156, 32, 32});
    Image3 = MakePicture(page, "Image3", ":/pictures/tree-file@2x.png", {92, 156, 32, 32});

    Label1 = MakeLabel(page, "Label1", QStringLiteral("Tessor"), {160, 16, 300, 24});
    QFont title(QStringLiteral("Verdana"), 12, QFont::Bold);
    Label1->setFont(title);
    Label2 = MakeLabel(page, "Label2", QStringLiteral("Tessor Version:"), {160, 52, 96, 16});
    Label3 = MakeLabel(page, "Label3", QStringLiteral("1.0.0.0"), {258, 52, 200, 16});
    QFont bold = font();
    bold.setBold(true);
    Label3->setFont(bold);

    Label4 = MakeLabel(page, "Label4", QString::fromUtf8("© 2026 The Tessor developers"),
                       {160, 84, 340, 16});
    Label5 = MakeLabel(page, "Label5", QStringLiteral("Free software under the MIT License"),
                       {160, 104, 340, 16});
    Label10 = MakeLabel(page, "Label10", QString(), {160, 136, 340, 18});
    QFont link(QStringLiteral("Verdana"), 8, QFont::Bold);
    link.setUnderline(true);
    Label10->setFont(link);
    QPalette navy = Label10->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    Label10->setPalette(navy);
    Label10->setCursor(Qt::PointingHandCursor);
    Label10->installEventFilter(this);

    JvXPButton1 = Named(new QPushButton(QStringLiteral("&OK"), page), "JvXPButton1");
    JvXPButton1->setGeometry(436, 258, 75, 25);
    JvXPButton1->setDefault(true);
    connect(JvXPButton1, &QPushButton::clicked, this, &TAboutForm::JvXPButton1Click);
}

void TAboutForm::BuildLicencePage() {
    QWidget* page = TabSheet2;
    RichEdit1 = MakeRichEdit(page, "RichEdit1", {8, 8, 512, 168});
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Label8 = MakeLabel(page, "Label8", QStringLiteral("This product uses:"), {8, 182, 200, 14});
    QPalette grey = Label8->palette();
    grey.setColor(QPalette::WindowText, Qt::gray);
    grey.setColor(QPalette::Text, Qt::gray);
    Label8->setPalette(grey);
    RichEdit2 = MakeRichEdit(page, "RichEdit2", {8, 198, 512, 92});
    RichEdit2->setPalette(grey);
    RichEdit2->setFont(WindowFont());
    RichEdit2->setPlainText(Notices());
}

bool TAboutForm::LoadLicenceText(QByteArrayView rtf) {
    bool read = ReadRtf(rtf, *RichEdit1->document());
    // Shown from its start, not scrolled to where the reader stopped.
    RichEdit1->moveCursor(QTextCursor::Start);
    return read;
}

void TAboutForm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TAboutForm::FormShow() {
    Label3->setText(QString::fromStdString(version::FileVersionText(ProgramFile)));
    PageControl1->setCurrentWidget(TabSheet1);
    QString product = MakerAddress(kProductPagePath);
    Label10->setText(ShownAddress(product));
    Label10->setVisible(!product.isEmpty());
    if (parentWidget() == nullptr)
        if (QScreen* screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
}

void TAboutForm::Label10Click() {
    QString product = MakerAddress(kProductPagePath);
    if (!product.isEmpty() && urls_ != nullptr)
        urls_->Open(QUrl(product));
}

void TAboutForm::JvXPButton1Click() {
    reject();
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label10 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Label10Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace tessor::shell
