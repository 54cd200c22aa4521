// A reader for the small part of RTF that Tessor's own documents use (the
// licence shown in the about box): groups, paragraphs and line breaks, tabs,
// bold, italic and underline, font sizes, paragraph alignment and indents,
// the colour table with text colours, and characters written as \'hh
// (Windows code page 1252) or \uN. Whatever else the document holds is left
// out: font tables, style sheets, pictures, document information and every
// {\* ...} destination are skipped whole, and unknown control words are
// dropped, so no control word ever shows up as text. Fonts are not taken
// from the document; the text uses the document's default font.
#pragma once

#include <QByteArrayView>

class QTextDocument;

namespace tessor::shell {

// Replaces the content of `document` with the RTF document `rtf`. False,
// with the document left empty, when the bytes do not start an RTF document
// ("{\rtf"); damaged RTF (unbalanced braces, cut-off escapes) is read as far
// as it makes sense.
bool ReadRtf(QByteArrayView rtf, QTextDocument& document);

}  // namespace tessor::shell
