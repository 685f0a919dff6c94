#include "db/Soundex.h"

namespace db {

namespace {

char codeOf(char16_t letter)
{
    //                               ABCDEFGHIJKLMNOPQRSTUVWXYZ
    static constexpr char kCodes[] = "01230120022455012623010202";
    return kCodes[letter - u'A'];
}

} // namespace

QString soundex(QStringView word, int length)
{
    const int digits = soundexLength(length) - 1;
    QString letters = word.toString().toUpper();
    for (QChar &c : letters) {
        if (c.unicode() < u'A' || c.unicode() > u'Z')
            c = u' ';
    }
    letters = letters.trimmed();
    if (letters.isEmpty())
        return QStringLiteral("0");

    QString codes(letters.size(), u' ');
    for (qsizetype i = 0; i < letters.size(); ++i) {
        if (letters.at(i) != u' ')
            codes[i] = QLatin1Char(codeOf(letters.at(i).unicode()));
    }
    // A code equal to the one before it is a repeat; a vowel, H, W or a separator in between
    // makes the next one count again.
    QChar previous = codes.at(0);
    for (qsizetype i = 1; i < codes.size(); ++i) {
        if (codes.at(i) == previous)
            codes[i] = u' ';
        else
            previous = codes.at(i);
    }
    codes.remove(u' ');
    codes.remove(0, 1);
    codes.remove(u'0');
    codes += QString(digits, u'0');
    return letters.at(0) + codes.left(digits);
}

} // namespace db
