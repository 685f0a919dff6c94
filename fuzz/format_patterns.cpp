// Number and date format patterns: numbers written by a pattern read back as the number rounded
// to the pattern's decimals; date patterns keep every separator; shortest number text reads back
// exactly.
#include "FuzzSupport.h"

#include "grid/GridFormat.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <cstring>

using namespace grid::format;

namespace {

// Placeholders first, then placeholders and thousands commas, then decimals.
bool plainNumberPattern(const QString &p)
{
    static const QRegularExpression re(QRegularExpression::anchoredPattern(QStringLiteral("[#0][#0,]*(\\.[#0]*)?")));
    return re.match(p).hasMatch();
}

void checkNumberPattern(double v, const QString &pattern)
{
    const QString text = formatNumber(v, pattern);
    if (!std::isfinite(v) || !plainNumberPattern(pattern))
        return;
    const qsizetype dot = pattern.indexOf(u'.');
    const int decimals = dot < 0 ? 0 : int(pattern.size() - dot - 1);
    const double step = std::pow(10.0, -std::min(decimals, 300));
    const double tolerance = step / 2 + std::fabs(v) * 1e-12;
    const QString what = QStringLiteral("%1 with \"%2\" gives \"%3\"").arg(numberText(v), pattern, text);
    if (text.isEmpty()) {
        FUZZ_CHECK(std::fabs(v) <= tolerance, what); // only a value that rounds to nothing
        return;
    }
    const auto back = parseNumber(text);
    FUZZ_CHECK(back.has_value(), what);
    FUZZ_CHECK(std::fabs(*back - v) <= tolerance, what);
}

void checkDatePattern(const QString &classic)
{
    const QString qt = qtDateFormat(classic);
    const QString shown = QLocale::c().toString(QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9)), qt);
    // Every separator of the pattern is shown, in order.
    qsizetype at = 0;
    for (const QChar ch : classic) {
        if (ch.isLetter())
            continue;
        at = shown.indexOf(ch, at);
        FUZZ_CHECK(at >= 0, QStringLiteral("\"%1\" as \"%2\" shows \"%3\"").arg(classic, qt, shown));
        ++at;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    double v = 0;
    if (size >= sizeof v) {
        std::memcpy(&v, data, sizeof v);
        data += sizeof v;
        size -= sizeof v;
    }
    const QString pattern = fuzz::utf8(data, size);

    if (std::isfinite(v)) {
        const auto back = parseNumber(numberText(v));
        FUZZ_CHECK(back.has_value() && *back == v, numberText(v));
        FUZZ_CHECK(isCheckedText(numberText(v)) == (v != 0.0), numberText(v));
    }
    checkNumberPattern(v, pattern);
    for (const QString &section : pattern.split(u';'))
        checkNumberPattern(v, section);
    checkDatePattern(pattern);
    return 0;
}
