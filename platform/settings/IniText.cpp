#include "IniText.h"

#include "settings/IniFile.h"

#include <QStringDecoder>

namespace settings {

namespace {

// UTF-16 is copied as it stands, half of a surrogate pair included.
bool hasLoneSurrogate(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return true;
    }
    return false;
}

} // namespace

IniText decodeIniBytes(const QByteArray &bytes)
{
    struct Mark {
        QByteArrayView bytes;
        QStringConverter::Encoding encoding;
        const char *name;
    };
    // UTF-32 LE before UTF-16 LE: its mark starts with the other's.
    static const Mark marks[] = {
        {QByteArrayView("\xFF\xFE\x00\x00", 4), QStringConverter::Utf32LE, "UTF-32"},
        {QByteArrayView("\x00\x00\xFE\xFF", 4), QStringConverter::Utf32BE, "UTF-32"},
        {QByteArrayView("\xEF\xBB\xBF", 3), QStringConverter::Utf8, "UTF-8"},
        {QByteArrayView("\xFF\xFE", 2), QStringConverter::Utf16LE, "UTF-16"},
        {QByteArrayView("\xFE\xFF", 2), QStringConverter::Utf16BE, "UTF-16"},
    };
    IniText out;
    for (const Mark &mark : marks) {
        if (!bytes.startsWith(mark.bytes))
            continue;
        out.bom = true;
        const QByteArrayView body = QByteArrayView(bytes).sliced(mark.bytes.size());
        // The decoder keeps a cut-off last character for more input rather than failing on it.
        const qsizetype unit = mark.encoding == QStringConverter::Utf8 ? 1 : mark.bytes.size();
        QStringDecoder decoder(mark.encoding, QStringDecoder::Flag::Stateless);
        QString text = decoder.decode(body);
        if (decoder.hasError() || body.size() % unit != 0 || hasLoneSurrogate(text)) {
            out.error = QStringLiteral("it starts with a %1 byte-order mark but is not valid %1 text")
                            .arg(QLatin1String(mark.name));
            return out;
        }
        // No setting can hold a NUL: what follows it would be lost on the next save.
        if (text.contains(QChar(u'\0'))) {
            out.error = QStringLiteral("it holds NUL characters, which no setting can hold");
            return out;
        }
        out.text = std::move(text);
        return out;
    }
    // Text without a mark holds no NUL; one that does is most likely UTF-16 without its mark.
    if (bytes.contains('\0')) {
        out.error = QStringLiteral("it holds NUL bytes, so it is not a text file the program can read "
                                   "(UTF-16 text without a byte-order mark?)");
        return out;
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    out.text = utf8.decode(bytes);
    if (utf8.hasError()) {
        out.text = IniFile::fromWindows1252(bytes);
        out.cp1252 = true;
    }
    return out;
}

} // namespace settings
