#include "textconv.h"

#include <QStringDecoder>

namespace {

QString DecodeUtf16(const char* data, qsizetype size, bool bigEndian) {
    const qsizetype count = size / 2;
    QString text(count, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < count; ++i) {
        const auto b0 = static_cast<unsigned char>(data[2 * i]);
        const auto b1 = static_cast<unsigned char>(data[2 * i + 1]);
        out[i] = QChar(static_cast<char16_t>(bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0));
    }
    return text;
}

QString DecodeUtf8(QByteArrayView bytes, bool* valid) {
    QStringDecoder utf8(QStringConverter::Utf8,
                        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = utf8.decode(bytes);
    if (valid) *valid = !utf8.hasError();
    return text;
}

QString CutAtNul(QString text, bool* whole) {
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0) text.truncate(nul);
    if (whole) *whole = nul < 0;
    return text;
}

bool IsLineEnd(QChar c) { return c == u'\r' || c == u'\n' || c == u'\u2028'; }

// UTF-16 text as far as it decodes cleanly: a NUL or an unpaired surrogate ends
// it. An odd number of bytes means a byte was lost or added somewhere, and every
// character after that point is shifted; the shifted characters hold no line
// ends, so the text then ends after its last line end.
QString CleanUtf16(const char* data, qsizetype size, bool bigEndian, bool* whole) {
    QString text = DecodeUtf16(data, size, bigEndian);
    qsizetype end = text.size();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isNull() || c.isLowSurrogate()) {
            end = i;
            break;
        }
        if (c.isHighSurrogate()) {
            if (i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
                ++i;
                continue;
            }
            end = i;
            break;
        }
    }
    bool clean = end == text.size();
    if (size % 2 != 0) {
        clean = false;
        while (end > 0 && !IsLineEnd(text[end - 1])) --end;
    }
    text.truncate(end);
    if (whole) *whole = clean;
    return text;
}

bool StartsWith(const QByteArray& bytes, const char* mark, qsizetype size) {
    return bytes.size() >= size && bytes.first(size) == QByteArrayView(mark, size);
}

}  // namespace

QString DecodeUtf16Le(const QByteArray& bytes) {
    return DecodeUtf16(bytes.constData(), bytes.size(), false);
}

QString Decode8Bit(const QByteArray& bytes) {
    bool valid = false;
    QString text = DecodeUtf8(bytes, &valid);
    if (valid) return text;
    QStringDecoder cp1252("windows-1252", QStringConverter::Flag::Stateless);
    if (!cp1252.isValid()) return QString::fromLatin1(bytes);  // Qt built without ICU
    return cp1252.decode(bytes);
}

QString DecodeFileText(const QByteArray& bytes, bool* Whole) {
    if (StartsWith(bytes, "\xFF\xFE", 2))
        return CleanUtf16(bytes.constData() + 2, bytes.size() - 2, false, Whole);
    if (StartsWith(bytes, "\xFE\xFF", 2))
        return CleanUtf16(bytes.constData() + 2, bytes.size() - 2, true, Whole);
    if (StartsWith(bytes, "\xEF\xBB\xBF", 3))
        return CutAtNul(DecodeUtf8(QByteArrayView(bytes).sliced(3), nullptr), Whole);
    return CutAtNul(Decode8Bit(bytes), Whole);
}

QStringList SplitLines(QStringView text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size) {
        const char16_t c = text[i].unicode();
        if (c == u'\r' || c == u'\n' || c == u'\u2028') {
            lines.append(text.sliced(start, i - start).toString());
            ++i;
            if (c == u'\r' && i < size && text[i] == u'\n') ++i;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < size) lines.append(text.sliced(start).toString());
    return lines;
}

QByteArray EncodeUtf16LeLines(const QStringList& lines) {
    qsizetype units = 1;
    for (const QString& line : lines) units += line.size() + 2;
    QByteArray bytes;
    bytes.reserve(units * 2);
    auto put = [&bytes](char16_t c) {
        bytes.append(static_cast<char>(c & 0xFF));
        bytes.append(static_cast<char>(c >> 8));
    };
    put(u'\uFEFF');
    for (const QString& line : lines) {
        for (QChar c : line) put(c.unicode());
        put(u'\r');
        put(u'\n');
    }
    return bytes;
}

std::optional<int32_t> ParseInt32(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    if (i == text.size()) return std::nullopt;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > int64_t{INT32_MAX} + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(value);
}
