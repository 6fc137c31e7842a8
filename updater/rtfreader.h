// Reads rich text (RTF) into a QTextDocument.
#pragma once

#include <QByteArrayView>

class QTextDocument;

// Replaces the contents of `doc` with the text of the RTF data `rtf`: paragraphs,
// line breaks and tabs, bold, italic, underline, font size, alignment, indents,
// paragraph spacing and tab stops; 8-bit text in the code page that the header or the font declares,
// \uN characters (skipping their \ucN fallback), and the special characters.
// Font, colour and style tables, document information, pictures, objects, headers,
// footers and every \* group are skipped.
// Returns false, leaving `doc` unchanged, when the data does not begin with "{\rtf"
// (after white space). Data that ends early or whose braces do not match is read as
// far as it goes. Reads only within `rtf`.
bool ReadRtf(QByteArrayView rtf, QTextDocument* doc);
