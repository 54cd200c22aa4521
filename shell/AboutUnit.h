// TAboutForm, the about box: the "Info" page with the logo, the program's
// name and version, who makes it and a link to the product page, and the
// "Lizenzen" page with the licence document and the notices about the
// outside libraries Tessor ships with. It is made once at program start
// (hidden) and shown modally; each time it opens on the "Info" page with the
// version read from the program file. Not translated.
#pragma once

#include <QByteArrayView>
#include <QDialog>
#include <string>

class QLabel;
class QPushButton;
class QTabWidget;
class QTextEdit;

namespace tessor::shell {

class TUrlOpener;

class TAboutForm : public QDialog {
    Q_OBJECT

public:
    explicit TAboutForm(TUrlOpener* urls, QWidget* parent = nullptr);

    // The file whose version the box shows; empty: the running program.
    std::string ProgramFile;

    // Shows an RTF document on the "Lizenzen" page; false (and an empty
    // page) when the bytes are not RTF. The box loads the licence "lizenz"
    // when it is made.
    bool LoadLicenceText(QByteArrayView rtf);

    // ---- handlers (public so that tests can call them as the controls do)
    void FormShow();
    void Label10Click();
    void JvXPButton1Click();

    // ---- the controls, under their designer names
    QTabWidget* PageControl1;
    QWidget* TabSheet1;  // "Info"
    QWidget* TabSheet2;  // "Lizenzen"
    QLabel* Image1;      // the logo
    QLabel* Image2;
    QLabel* Image3;
    QLabel* Label1;  // "Tessor"
    QLabel* Label2;  // "Tessor Version:"
    QLabel* Label3;  // the version
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label10;  // the product page
    QPushButton* JvXPButton1;
    QTextEdit* RichEdit1;  // the licence
    QLabel* Label8;        // "This product uses:"
    QTextEdit* RichEdit2;  // the notices

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildInfoPage();
    void BuildLicencePage();

    TUrlOpener* urls_;
};

}  // namespace tessor::shell
