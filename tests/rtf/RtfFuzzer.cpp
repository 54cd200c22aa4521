// libFuzzer target: any bytes given to the RTF reader. Besides crashes and
// sanitizer reports it checks that no control word leaks into the text: a
// backslash in the document's text can only come from an escape that writes
// one (\\, \'5c or a \uN).
#include <QGuiApplication>
#include <QTextDocument>

#include <cstdlib>

#include "shell/rtf/RtfReader.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QTextDocument doc;
    bool rtf = tessor::shell::ReadRtf(bytes, doc);
    QString text = doc.toPlainText();
    if (!rtf && !text.isEmpty())
        std::abort();
    QByteArray in(bytes.data(), bytes.size());
    qsizetype escapes = in.count("\\\\") + in.count("\\'5c") + in.count("\\'5C") + in.count("\\u");
    if (text.count(QChar('\\')) > escapes)
        std::abort();
    return 0;
}
