#include "db/RowStore.h"

#include "db/DbError.h"
#include "db/ValueRules.h"

#include <QUuid>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace db {

namespace {

constexpr std::int64_t kUsPerDay = 86400000000;
constexpr std::int64_t kEpochJulianDay = 2440588; // 1970-01-01

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

char *putDigits(char *p, int v, int width)
{
    char tmp[16];
    int n = 0;
    do {
        tmp[n++] = char('0' + v % 10);
        v /= 10;
    } while (v > 0);
    for (int i = n; i < width; ++i)
        *p++ = '0';
    while (n > 0)
        *p++ = tmp[--n];
    return p;
}

// ISO digits; years before 1 AD as the era they are in ("0044-03-15 BC"), which *bc says.
char *putDate(char *p, std::int64_t julianDay, bool *bc)
{
    int y = 0, m = 0, d = 0;
    QDate::fromJulianDay(julianDay).getDate(&y, &m, &d);
    *bc = y < 0;
    p = putDigits(p, *bc ? -y : y, 4);
    *p++ = '-';
    p = putDigits(p, m, 2);
    *p++ = '-';
    return putDigits(p, d, 2);
}

// Seconds always; a fraction only as far as it has digits (".25", ".000001").
char *putTime(char *p, std::int64_t usOfDay)
{
    const int us = int(usOfDay % 1000000);
    const std::int64_t s = usOfDay / 1000000;
    p = putDigits(p, int(s / 3600), 2);
    *p++ = ':';
    p = putDigits(p, int(s / 60 % 60), 2);
    *p++ = ':';
    p = putDigits(p, int(s % 60), 2);
    if (us != 0) {
        *p++ = '.';
        int digits = 6, v = us;
        while (v % 10 == 0) {
            v /= 10;
            --digits;
        }
        p = putDigits(p, v, digits);
    }
    return p;
}

// "+02", "-03:30", "+05:45:10", as PostgreSQL writes an offset.
char *putZone(char *p, int zone)
{
    *p++ = zone < 0 ? '-' : '+';
    const int a = zone < 0 ? -zone : zone;
    p = putDigits(p, a / 3600, 2);
    if (a % 3600 != 0) {
        *p++ = ':';
        p = putDigits(p, a / 60 % 60, 2);
        if (a % 60 != 0) {
            *p++ = ':';
            p = putDigits(p, a % 60, 2);
        }
    }
    return p;
}

char *putText(char *p, const char *text)
{
    const std::size_t n = std::strlen(text);
    std::memcpy(p, text, n);
    return p + n;
}

// Shortest text that reads back to the same double; plain digits for ordinary magnitudes.
std::size_t formatDouble(double v, bool single, char *buf, std::size_t size)
{
    if (std::isnan(v)) {
        std::memcpy(buf, "NaN", 3);
        return 3;
    }
    if (std::isinf(v)) {
        const char *s = v < 0 ? "-Infinity" : "Infinity";
        const std::size_t n = std::strlen(s);
        std::memcpy(buf, s, n);
        return n;
    }
    const double a = std::fabs(v);
    const bool plain = a == 0 || (a >= 1e-5 && a < 1e15);
    std::to_chars_result r;
    if (single) {
        const float f = float(v);
        r = plain ? std::to_chars(buf, buf + size, f, std::chars_format::fixed) : std::to_chars(buf, buf + size, f);
    } else {
        r = plain ? std::to_chars(buf, buf + size, v, std::chars_format::fixed) : std::to_chars(buf, buf + size, v);
    }
    return std::size_t(r.ptr - buf);
}

// Exact decimal text: optional sign, digits, optional fraction, optional exponent; written back
// without exponent, leading zeros or a plus sign, keeping the fraction's trailing zeros (scale).
bool canonicalDecimal(QStringView in, QString &out)
{
    in = in.trimmed();
    if (in.compare(u"NaN", Qt::CaseInsensitive) == 0) {
        out = QStringLiteral("NaN");
        return true;
    }
    qsizetype i = 0;
    bool neg = false;
    if (i < in.size() && (in[i] == u'+' || in[i] == u'-'))
        neg = in[i++] == u'-';
    QString digits;
    qsizetype intDigits = -1;
    for (; i < in.size(); ++i) {
        const QChar c = in[i];
        if (c.isDigit() && c.unicode() < 128)
            digits += c;
        else if (c == u'.' && intDigits < 0)
            intDigits = digits.size();
        else
            break;
    }
    if (digits.isEmpty())
        return false;
    if (intDigits < 0)
        intDigits = digits.size();
    if (i < in.size()) {
        if (in[i] != u'e' && in[i] != u'E')
            return false;
        bool ok = false;
        const int exp = in.mid(i + 1).toInt(&ok);
        if (!ok || exp > 1000 || exp < -1000)
            return false;
        intDigits += exp;
        if (intDigits < 0) {
            digits.prepend(QString(-intDigits, u'0'));
            intDigits = 0;
        }
        if (intDigits > digits.size())
            digits.append(QString(intDigits - digits.size(), u'0'));
    }
    QStringView ip = QStringView(digits).left(intDigits);
    const QStringView fp = QStringView(digits).mid(intDigits);
    while (ip.size() > 1 && ip[0] == u'0')
        ip = ip.mid(1);
    out.clear();
    bool zero = true;
    for (QChar c : digits)
        zero = zero && c == u'0';
    if (neg && !zero)
        out += u'-';
    out += ip.isEmpty() ? QStringLiteral("0") : ip.toString();
    if (!fp.isEmpty()) {
        out += u'.';
        out += fp;
    }
    return true;
}

bool parseDouble(QStringView s, double &out)
{
    s = s.trimmed();
    if (s.isEmpty())
        return false;
    if (s.compare(u"nan", Qt::CaseInsensitive) == 0) {
        out = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    const bool neg = s[0] == u'-';
    QStringView body = (s[0] == u'-' || s[0] == u'+') ? s.mid(1) : s;
    if (body.compare(u"inf", Qt::CaseInsensitive) == 0 || body.compare(u"infinity", Qt::CaseInsensitive) == 0) {
        out = neg ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
        return true;
    }
    QByteArray latin = s.toLatin1();
    const char *b = latin.constData();
    const char *e = b + latin.size();
    if (*b == '+')
        ++b;
    const auto r = std::from_chars(b, e, out);
    return r.ec == std::errc() && r.ptr == e;
}

bool isNumberVariant(const QVariant &v)
{
    switch (v.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

bool parseBool(const QVariant &v, bool &out)
{
    if (isNumberVariant(v)) {
        out = v.toDouble() != 0;
        return true;
    }
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        out = v.toBool();
        return true;
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        const QString s = v.toString().trimmed();
        if (s.compare(u"true", Qt::CaseInsensitive) == 0 || s.compare(u"yes", Qt::CaseInsensitive) == 0
            || s == u"1" || s == u"-1") {
            out = true;
            return true;
        }
        if (s.compare(u"false", Qt::CaseInsensitive) == 0 || s.compare(u"no", Qt::CaseInsensitive) == 0 || s == u"0") {
            out = false;
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}


bool isIntegerVariant(const QVariant &v)
{
    return isNumberVariant(v) && v.metaType().id() != QMetaType::Double && v.metaType().id() != QMetaType::Float;
}

int digitsAt(QStringView s, qsizetype &i, int minDigits, int maxDigits)
{
    int v = 0, n = 0;
    while (i < s.size() && n < maxDigits && s[i].unicode() >= '0' && s[i].unicode() <= '9') {
        v = v * 10 + (s[i].unicode() - '0');
        ++i;
        ++n;
    }
    return n >= minDigits ? v : -1;
}

bool parseDatePart(QStringView s, qsizetype &i, std::int64_t &julian)
{
    int y = 0, m = 0, d = 0;
    const qsizetype start = i;
    bool neg = false;
    if (i < s.size() && s[i] == u'-') {
        neg = true;
        ++i;
    }
    const int first = digitsAt(s, i, 1, 6);
    if (first < 0 || i >= s.size())
        return false;
    if (s[i] == u'/' && !neg) { // M/d/yyyy
        ++i;
        m = first;
        d = digitsAt(s, i, 1, 2);
        if (d < 0 || i >= s.size() || s[i] != u'/')
            return false;
        ++i;
        y = digitsAt(s, i, 4, 4);
        if (y < 0)
            return false;
    } else if (s[i] == u'-' && i - start >= (neg ? 2 : 1)) {
        y = neg ? -first : first;
        ++i;
        m = digitsAt(s, i, 1, 2);
        if (m < 0 || i >= s.size() || s[i] != u'-')
            return false;
        ++i;
        d = digitsAt(s, i, 1, 2);
        if (d < 0)
            return false;
    } else {
        return false;
    }
    if (!QDate::isValid(y, m, d))
        return false;
    julian = QDate(y, m, d).toJulianDay();
    return true;
}

// Hours to seconds, with a fraction of up to six digits (more are cut). 24:00:00 is the end of a
// day, as PostgreSQL allows it.
bool parseTimePart(QStringView s, qsizetype &i, std::int64_t &us)
{
    const int h = digitsAt(s, i, 1, 2);
    if (h < 0 || h > 24 || i >= s.size() || s[i] != u':')
        return false;
    ++i;
    const int mi = digitsAt(s, i, 2, 2);
    if (mi < 0 || mi > 59)
        return false;
    int sec = 0, micro = 0;
    if (i < s.size() && s[i] == u':') {
        ++i;
        sec = digitsAt(s, i, 2, 2);
        if (sec < 0 || sec > 59)
            return false;
        if (i < s.size() && s[i] == u'.') {
            ++i;
            int n = 0;
            while (i < s.size() && s[i].unicode() >= '0' && s[i].unicode() <= '9') {
                if (n < 6)
                    micro = micro * 10 + (s[i].unicode() - '0');
                ++n;
                ++i;
            }
            if (n == 0)
                return false;
            for (; n < 6; ++n)
                micro *= 10;
        }
    }
    us = ((std::int64_t(h) * 60 + mi) * 60 + sec) * 1000000 + micro;
    return us <= kUsPerDay;
}

// "+02", "-03:30", "+0530", "+05:45:10" or "Z" after a time; seconds east of Greenwich.
bool parseZonePart(QStringView s, qsizetype &i, int &zone)
{
    if (i < s.size() && s[i] == u' ' && i + 1 < s.size() && (s[i + 1] == u'+' || s[i + 1] == u'-'))
        ++i;
    if (i < s.size() && (s[i] == u'Z' || s[i] == u'z')) {
        ++i;
        zone = 0;
        return true;
    }
    if (i >= s.size() || (s[i] != u'+' && s[i] != u'-'))
        return false;
    const int sign = s[i] == u'-' ? -1 : 1;
    ++i;
    const int h = digitsAt(s, i, 2, 2);
    if (h < 0 || h > 15)
        return false;
    int m = 0, sec = 0;
    if (i < s.size() && s[i] == u':')
        ++i;
    if (i < s.size() && s[i].isDigit()) {
        m = digitsAt(s, i, 2, 2);
        if (m < 0 || m > 59)
            return false;
        if (i < s.size() && s[i] == u':') {
            ++i;
            sec = digitsAt(s, i, 2, 2);
            if (sec < 0 || sec > 59)
                return false;
        }
    }
    zone = sign * (h * 3600 + m * 60 + sec);
    return true;
}

// " BC" after a date or timestamp: the same day number of the year before Christ.
bool takeEra(QStringView s, qsizetype &i)
{
    if (s.mid(i).compare(u" BC", Qt::CaseInsensitive) == 0) {
        i = s.size();
        return true;
    }
    return false;
}

[[noreturn]] Q_DECL_COLD_FUNCTION void rowMisuse(bool inRow, int col, int count)
{
    if (!inRow)
        throw UsageError(QStringLiteral("A value was set outside beginRow/endRow"));
    throw UsageError(QStringLiteral("Column %1 does not exist (the row has %2)").arg(col).arg(count));
}

// A free function, not a member: members of an exported class are not inlined under -fPIC.
inline void requireRow(bool inRow, int col, int count)
{
    if (Q_UNLIKELY(!inRow || col < 0 || col >= count))
        rowMisuse(inRow, col, count);
}

// A full part gives back its spare text room only when there is much of it (the first part grows
// by doubling; later ones are sized from the one before): a copy of the text for a little slack
// is not worth it.
void trimArena(std::vector<char> &arena)
{
    if (arena.capacity() - arena.size() > arena.size() / 16)
        arena.shrink_to_fit();
}

[[noreturn]] void notFit(const FieldInfo &f, const QVariant &v, const char *what)
{
    throw DbError(QStringLiteral("The value '%1' is not %2 and does not fit the field '%3'")
                      .arg(v.toString(), QLatin1String(what), f.Name));
}

} // namespace

RowStore::RowStore(std::vector<FieldInfo> fields)
    : m_fields(std::move(fields))
{
    m_cols.resize(m_fields.size());
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        m_cols[i].storage = storageOf(m_fields[i].Type);
    m_set.assign(m_fields.size(), 0);
}

void RowStore::widen(Segment &s)
{
    std::vector<std::int64_t> ints;
    ints.reserve(std::max(s.narrow.capacity(), s.narrow.size() + 1));
    ints.assign(s.narrow.begin(), s.narrow.end());
    s.ints = std::move(ints);
    s.narrow = {};
    s.wide = true;
}

void RowStore::addSegment()
{
    // The first segment grows with what comes; later ones are known to fill up.
    const bool sized = m_rows > 0;
    for (Column &c : m_cols) {
        // A full segment's text is the best guess of the next one's.
        const std::size_t textBefore = c.segments.empty() ? 0 : c.segments.back().arena.size();
        Segment &s = c.segments.emplace_back();
        if (sized) {
            s.arena.reserve(textBefore + textBefore / 32);
            s.nulls.reserve(kSegmentRows / 64);
            if (c.storage == Storage::Int64)
                s.narrow.reserve(kSegmentRows);
            else if (c.storage == Storage::Double)
                s.reals.reserve(kSegmentRows);
        }
        if (sized && (c.storage == Storage::Text || c.storage == Storage::Blob)) {
            s.ends.reserve(kSegmentRows);
            s.bases.reserve(kSegmentRows / 64);
        }
    }
}

QString RowStore::text(std::size_t row, int col) const
{
    std::size_t len = 0;
    const char *p = bytes(row, col, &len);
    return QString::fromUtf8(p, qsizetype(len));
}

QByteArray RowStore::blob(std::size_t row, int col) const
{
    std::size_t len = 0;
    const char *p = bytes(row, col, &len);
    return QByteArray(p, qsizetype(len));
}

QVariant RowStore::value(std::size_t row, int col) const
{
    if (isNull(row, col))
        return {};
    const Column &c = m_cols[std::size_t(col)];
    switch (c.storage) {
    case Storage::Int64: {
        const std::int64_t v = int64(row, col);
        const int type = m_fields[std::size_t(col)].Type;
        if ((type == adDBDate || type == adDBTimeStamp || type == adDate) && (v == kInfinity || v == kMinusInfinity))
            return QVariant(v == kInfinity ? QStringLiteral("infinity") : QStringLiteral("-infinity"));
        switch (type) {
        case adBoolean: return QVariant(v != 0);
        case adDBDate: return QVariant(decodeDate(v));
        case adDBTime: return QVariant(decodeTime(v));
        case adDBTimeStamp:
        case adDate: {
            QDateTime dt = decodeDateTime(v);
            if (const int z = zone(row, col); z != kNoZone)
                dt = QDateTime(dt.date(), dt.time(), Qt::OffsetFromUTC, z);
            return QVariant(dt);
        }
        default: return QVariant(qlonglong(v));
        }
    }
    case Storage::Double: return QVariant(real(row, col));
    case Storage::Text: return QVariant(text(row, col));
    case Storage::Blob: return QVariant(blob(row, col));
    }
    return {};
}

std::size_t RowStore::formatScalar(int adoType, std::int64_t i, double d, char *buf, int zone)
{
    switch (storageOf(adoType)) {
    case Storage::Double:
        return formatDouble(d, adoType == adSingle, buf, 64);
    case Storage::Int64:
        break;
    default:
        return 0;
    }
    char *p = buf;
    bool bc = false;
    switch (adoType) {
    case adBoolean:
        return std::size_t(putText(p, i != 0 ? "True" : "False") - buf);
    case adDBDate:
    case adDBTimeStamp:
    case adDate:
        if (i == kInfinity || i == kMinusInfinity)
            return std::size_t(putText(p, i == kInfinity ? "infinity" : "-infinity") - buf);
        if (adoType == adDBDate) {
            p = putDate(p, i, &bc);
        } else {
            const std::int64_t days = floorDiv(i, kUsPerDay);
            p = putDate(p, days + kEpochJulianDay, &bc);
            *p++ = ' ';
            p = putTime(p, i - days * kUsPerDay);
            if (zone != kNoZone)
                p = putZone(p, zone);
        }
        if (bc)
            p = putText(p, " BC");
        return std::size_t(p - buf);
    case adDBTime:
        p = putTime(p, i);
        if (zone != kNoZone)
            p = putZone(p, zone);
        return std::size_t(p - buf);
    default:
        return std::size_t(std::to_chars(buf, buf + 64, i).ptr - buf);
    }
}

std::string_view RowStore::displayUtf8(std::size_t row, int col, char *buf) const
{
    if (isNull(row, col))
        return {};
    const Column &c = m_cols[std::size_t(col)];
    std::size_t n = 0;
    switch (c.storage) {
    case Storage::Text: {
        const char *p = bytes(row, col, &n);
        return {p, n};
    }
    case Storage::Blob: {
        bytes(row, col, &n);
        char *p = putText(buf, "(binary, ");
        p = std::to_chars(p, buf + 48, n).ptr;
        return {buf, std::size_t(putText(p, " bytes)") - buf)};
    }
    case Storage::Int64: n = formatScalar(m_fields[std::size_t(col)].Type, int64(row, col), 0, buf, zone(row, col)); break;
    case Storage::Double: n = formatScalar(m_fields[std::size_t(col)].Type, 0, real(row, col), buf); break;
    }
    return {buf, n};
}

QString RowStore::displayText(std::size_t row, int col) const
{
    if (isNull(row, col))
        return {};
    const Column &c = m_cols[std::size_t(col)];
    switch (c.storage) {
    case Storage::Text:
        return text(row, col);
    case Storage::Blob: {
        std::size_t len = 0;
        bytes(row, col, &len);
        return QStringLiteral("(binary, %1 bytes)").arg(qulonglong(len));
    }
    case Storage::Int64:
    case Storage::Double:
        break;
    }
    char buf[64];
    const std::size_t n = formatScalar(m_fields[std::size_t(col)].Type, c.storage == Storage::Int64 ? int64(row, col) : 0,
                                       c.storage == Storage::Double ? real(row, col) : 0.0, buf, zone(row, col));
    return QString::fromLatin1(buf, qsizetype(n));
}

// --- appending ---

void RowStore::beginRow()
{
    if (m_inRow) { // an abandoned row (a fetch failed half-way) leaves no trace
        for (int c = 0; c < columnCount(); ++c)
            undo(c);
    } else if ((m_rows & kSegmentMask) == 0 && !m_cols.empty() && m_cols[0].segments.size() == m_rows >> kSegmentShift) {
        addSegment();
    }
    m_inRow = true;
}

void RowStore::undo(int col)
{
    Column &c = m_cols[std::size_t(col)];
    if (m_set[std::size_t(col)] == 1) {
        Segment &s = c.segments.back();
        switch (c.storage) {
        case Storage::Int64:
            if (s.wide)
                s.ints.pop_back();
            else
                s.narrow.pop_back();
            if (s.zones.size() > intCount(s))
                s.zones.pop_back();
            break;
        case Storage::Double: s.reals.pop_back(); break;
        default: s.arena.resize(s.textEnd); break;
        }
    }
    m_set[std::size_t(col)] = 0;
}

void RowStore::setNull(int col)
{
    requireRow(m_inRow, col, columnCount());
    undo(col);
    m_set[std::size_t(col)] = 2;
}

void RowStore::setInt64Checked(int col, std::int64_t v)
{
    requireRow(m_inRow, col, columnCount());
    Column &c = m_cols[std::size_t(col)];
    if (c.storage != Storage::Int64) {
        setValue(col, QVariant(qlonglong(v)));
        return;
    }
    std::uint8_t &set = m_set[std::size_t(col)];
    Segment &s = c.segments.back();
    if (!s.wide && !fitsNarrow(v))
        widen(s);
    if (set == 1) {
        if (s.wide)
            s.ints.back() = v;
        else
            s.narrow.back() = std::int32_t(v);
        if (s.zones.size() == intCount(s))
            s.zones.pop_back();
    } else if (s.wide) {
        s.ints.push_back(v);
    } else {
        s.narrow.push_back(std::int32_t(v));
    }
    set = 1;
}

void RowStore::setZone(int col, int offsetSeconds)
{
    requireRow(m_inRow, col, columnCount());
    Column &c = m_cols[std::size_t(col)];
    if (c.storage != Storage::Int64 || m_set[std::size_t(col)] != 1)
        throw UsageError(QStringLiteral("A time zone offset needs a time value first (column %1)").arg(col));
    Segment &s = c.segments.back();
    if (offsetSeconds == kNoZone) {
        if (s.zones.size() == intCount(s))
            s.zones.pop_back();
        return;
    }
    // Rows before this one had no offset.
    s.zones.resize(intCount(s), kNoZone);
    s.zones.back() = offsetSeconds;
}

void RowStore::setRealChecked(int col, double v)
{
    requireRow(m_inRow, col, columnCount());
    Column &c = m_cols[std::size_t(col)];
    if (c.storage != Storage::Double) {
        setValue(col, QVariant(v));
        return;
    }
    std::uint8_t &set = m_set[std::size_t(col)];
    std::vector<double> &reals = c.segments.back().reals;
    if (set == 1)
        reals.back() = v;
    else
        reals.push_back(v);
    set = 1;
}

void RowStore::setTextChecked(int col, const char *utf8, std::size_t len)
{
    requireRow(m_inRow, col, columnCount());
    Column &c = m_cols[std::size_t(col)];
    if (c.storage != Storage::Text && c.storage != Storage::Blob) {
        setValue(col, QVariant(QString::fromUtf8(utf8, qsizetype(len))));
        return;
    }
    std::uint8_t &set = m_set[std::size_t(col)];
    Segment &s = c.segments.back();
    if (set == 1)
        s.arena.resize(s.textEnd);
    if (len > kMaxGroupText - (s.arena.size() - groupStart(s)))
        throw DbError(QStringLiteral("The value of the field '%1' is too large to hold (%2 bytes in 64 rows)")
                          .arg(m_fields[std::size_t(col)].Name)
                          .arg(qulonglong(s.arena.size() - groupStart(s) + len)));
    s.arena.insert(s.arena.end(), utf8, utf8 + len);
    set = 1;
}

void RowStore::setText(int col, const QString &v)
{
    requireRow(m_inRow, col, columnCount());
    if (m_cols[std::size_t(col)].storage != Storage::Text && m_cols[std::size_t(col)].storage != Storage::Blob) {
        setValue(col, QVariant(v));
        return;
    }
    const QByteArray u = v.toUtf8();
    setText(col, u.constData(), std::size_t(u.size()));
}

void RowStore::setBlob(int col, const char *data, std::size_t len)
{
    requireRow(m_inRow, col, columnCount());
    const Column &c = m_cols[std::size_t(col)];
    if (c.storage != Storage::Blob && c.storage != Storage::Text)
        throw DbError(QStringLiteral("Binary data does not fit the field '%1'").arg(m_fields[std::size_t(col)].Name));
    setText(col, data, len);
}

void RowStore::setValue(int col, const QVariant &v)
{
    requireRow(m_inRow, col, columnCount());
    if (!v.isValid() || v.isNull()) {
        setNull(col);
        return;
    }
    const FieldInfo &f = m_fields[std::size_t(col)];
    const int tid = v.metaType().id();
    const bool isText = tid == QMetaType::QString || tid == QMetaType::QByteArray;
    switch (m_cols[std::size_t(col)].storage) {
    case Storage::Int64: {
        std::int64_t out = 0;
        int zoneGiven = kNoZone;
        switch (f.Type) {
        case adBoolean: {
            bool b = false;
            if (!parseBool(v, b))
                notFit(f, v, "a Boolean value");
            out = b ? 1 : 0;
            break;
        }
        case adDBDate:
            if (tid == QMetaType::QDate && v.toDate().isValid())
                out = encodeDate(v.toDate());
            else if (tid == QMetaType::QDateTime && v.toDateTime().isValid() && v.toDateTime().time().msecsSinceStartOfDay() == 0)
                out = encodeDate(v.toDateTime().date());
            else if (!isText || !parseTemporal(f.Type, v.toString(), out))
                notFit(f, v, "a date");
            break;
        case adDBTime:
            if (tid == QMetaType::QTime && v.toTime().isValid())
                out = encodeTime(v.toTime());
            else if (!isText || !parseTemporal(f.Type, v.toString(), out, &zoneGiven))
                notFit(f, v, "a time");
            break;
        case adDBTimeStamp:
        case adDate:
            if (tid == QMetaType::QDateTime && v.toDateTime().isValid()) {
                out = encodeDateTime(v.toDateTime());
                if (v.toDateTime().timeSpec() == Qt::OffsetFromUTC)
                    zoneGiven = v.toDateTime().offsetFromUtc();
            } else if (tid == QMetaType::QDate && v.toDate().isValid()) {
                out = (encodeDate(v.toDate()) - kEpochJulianDay) * kUsPerDay;
            } else if (!isText || !parseTemporal(f.Type, v.toString(), out, &zoneGiven)) {
                notFit(f, v, "a date and time");
            }
            break;
        default: {
            if (tid == QMetaType::ULongLong || tid == QMetaType::ULong) {
                const qulonglong u = v.toULongLong();
                if (u > qulonglong(std::numeric_limits<std::int64_t>::max()))
                    notFit(f, v, "a whole number in range");
                out = std::int64_t(u);
            } else if (isIntegerVariant(v) || tid == QMetaType::Bool) {
                out = v.toLongLong();
            } else if (isNumberVariant(v)) {
                const double d = v.toDouble();
                if (!std::isfinite(d) || d != std::trunc(d) || d < -9.2233720368547758e18 || d >= 9.2233720368547758e18)
                    notFit(f, v, "a whole number");
                out = std::int64_t(d);
            } else if (const auto n = isText ? parseInteger(QStringView(v.toString())) : std::nullopt) {
                out = *n;
            } else {
                notFit(f, v, "a whole number");
            }
            const IntegerRange range = integerRange(f.Type);
            if (out < range.min || out > range.max)
                notFit(f, v, "in the field's range");
            break;
        }
        }
        setInt64(col, out);
        if (zoneGiven != kNoZone)
            setZone(col, zoneGiven);
        return;
    }
    case Storage::Double: {
        double d = 0;
        if (isNumberVariant(v) || tid == QMetaType::Bool)
            d = v.toDouble();
        else if (!isText || !parseDouble(v.toString(), d))
            notFit(f, v, "a number");
        setReal(col, d);
        return;
    }
    case Storage::Text: {
        QString s;
        if (f.Type == adNumeric || f.Type == adDecimal || f.Type == adVarNumeric || f.Type == adCurrency) {
            if (tid == QMetaType::Double || tid == QMetaType::Float) {
                const double d = v.toDouble();
                if (!std::isfinite(d))
                    notFit(f, v, "a finite number");
                char buf[400];
                const auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
                s = QString::fromLatin1(buf, qsizetype(r.ptr - buf));
            } else if (isIntegerVariant(v)) {
                s = v.toString();
            } else if (!isText || !canonicalDecimal(v.toString(), s)) {
                notFit(f, v, "a number");
            }
        } else if (tid == QMetaType::QUuid) {
            s = v.toUuid().toString(QUuid::WithoutBraces);
        } else if (tid == QMetaType::QDate || tid == QMetaType::QTime || tid == QMetaType::QDateTime) {
            char buf[64];
            const int type = tid == QMetaType::QDate ? adDBDate : tid == QMetaType::QTime ? adDBTime : adDBTimeStamp;
            std::int64_t enc = 0;
            if (tid == QMetaType::QDate && v.toDate().isValid())
                enc = encodeDate(v.toDate());
            else if (tid == QMetaType::QTime && v.toTime().isValid())
                enc = encodeTime(v.toTime());
            else if (tid == QMetaType::QDateTime && v.toDateTime().isValid())
                enc = encodeDateTime(v.toDateTime());
            else
                notFit(f, v, "a valid date");
            s = QString::fromLatin1(buf, qsizetype(formatScalar(type, enc, 0, buf)));
        } else if (tid == QMetaType::Bool) {
            s = v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        } else if (tid == QMetaType::Double || tid == QMetaType::Float) {
            char buf[64];
            s = QString::fromLatin1(buf, qsizetype(formatDouble(v.toDouble(), tid == QMetaType::Float, buf, sizeof buf)));
        } else if (tid == QMetaType::QByteArray) {
            const QByteArray b = v.toByteArray();
            setText(col, b.constData(), std::size_t(b.size()));
            return;
        } else if (v.canConvert<QString>()) {
            s = v.toString();
        } else {
            notFit(f, v, "text");
        }
        setText(col, s);
        return;
    }
    case Storage::Blob: {
        if (tid == QMetaType::QByteArray) {
            const QByteArray b = v.toByteArray();
            setBlob(col, b.constData(), std::size_t(b.size()));
        } else if (tid == QMetaType::QString) {
            const QByteArray b = v.toString().toUtf8();
            setBlob(col, b.constData(), std::size_t(b.size()));
        } else {
            notFit(f, v, "binary data");
        }
        return;
    }
    }
}

void RowStore::endRow()
{
    if (!m_inRow)
        throw UsageError(QStringLiteral("endRow without beginRow"));
    const std::size_t at = m_rows & kSegmentMask;
    const std::size_t word = at >> 6;
    const std::uint64_t bit = std::uint64_t(1) << (at & 63);
    const bool newWord = (at & 63) == 0;
    const bool lastOfSegment = at == kSegmentMask;
    for (std::size_t i = 0; i < m_cols.size(); ++i) {
        Column &c = m_cols[i];
        Segment &s = c.segments.back();
        if (newWord)
            s.nulls.push_back(0);
        if (m_set[i] != 1) {
            s.nulls[word] |= bit;
            if (c.storage == Storage::Int64) {
                if (s.wide)
                    s.ints.push_back(0);
                else
                    s.narrow.push_back(0);
            } else if (c.storage == Storage::Double) {
                s.reals.push_back(0);
            }
        }
        if (c.storage == Storage::Text || c.storage == Storage::Blob) {
            if (newWord)
                s.bases.push_back(s.textEnd);
            s.ends.push_back(std::uint32_t(s.arena.size() - s.bases.back()));
            s.textEnd = s.arena.size();
            if (lastOfSegment)
                trimArena(s.arena);
        }
        m_set[i] = 0;
    }
    ++m_rows;
    m_inRow = false;
}

void RowStore::retypeColumn(int col, const FieldInfo &field)
{
    std::vector<FieldInfo> fields = m_fields;
    const int oldType = fields[std::size_t(col)].Type;
    const Storage from = storageOf(oldType);
    const Storage to = storageOf(field.Type);
    fields[std::size_t(col)] = field;
    RowStore out(fields);
    out.reserve(m_rows);
    const int cols = columnCount();
    char buf[64];
    for (std::size_t r = 0; r < m_rows; ++r) {
        out.beginRow();
        for (int c = 0; c < cols; ++c) {
            if (isNull(r, c))
                continue;
            const Storage s = storageOf(m_fields[std::size_t(c)].Type);
            if (c == col && from != to) {
                if (to == Storage::Double && from == Storage::Int64) {
                    out.setReal(c, double(int64(r, c)));
                } else if (from == Storage::Int64) {
                    // Booleans as SQLite holds them (1/0), dates and times in ISO form.
                    const int t = oldType == adBoolean ? adBigInt : oldType;
                    out.setText(c, buf, formatScalar(t, int64(r, c), 0, buf, zone(r, c)));
                } else if (from == Storage::Double) {
                    out.setText(c, buf, formatScalar(adDouble, 0, real(r, c), buf));
                } else {
                    std::size_t len = 0;
                    const char *p = bytes(r, c, &len);
                    out.setText(c, p, len);
                }
                continue;
            }
            switch (s) {
            case Storage::Int64:
                out.setInt64(c, int64(r, c));
                if (zone(r, c) != kNoZone)
                    out.setZone(c, zone(r, c));
                break;
            case Storage::Double: out.setReal(c, real(r, c)); break;
            case Storage::Text:
            case Storage::Blob: {
                std::size_t len = 0;
                const char *p = bytes(r, c, &len);
                out.setText(c, p, len);
                break;
            }
            }
        }
        out.endRow();
    }
    *this = std::move(out);
}


void RowStore::appendInts(Segment &to, const Segment &from, std::size_t first, std::size_t n)
{
    if (!from.wide) {
        const auto b = from.narrow.begin() + long(first);
        if (to.wide)
            to.ints.insert(to.ints.end(), b, b + long(n));
        else
            to.narrow.insert(to.narrow.end(), b, b + long(n));
        return;
    }
    const auto b = from.ints.begin() + long(first);
    // Rows of a wide segment may all fit: a value past 32 bits elsewhere in theirs does not widen this one.
    if (!to.wide && !std::all_of(b, b + long(n), fitsNarrow))
        widen(to);
    if (to.wide) {
        to.ints.insert(to.ints.end(), b, b + long(n));
    } else {
        to.narrow.reserve(to.narrow.size() + n);
        for (auto p = b; p != b + long(n); ++p)
            to.narrow.push_back(std::int32_t(*p));
    }
}

void RowStore::append(const RowStore &rows)
{
    appendFrom(rows, 0);
}

void RowStore::appendFrom(const RowStore &rows, std::size_t first)
{
    if (rows.columnCount() != columnCount() || m_inRow)
        throw UsageError(QStringLiteral("Rows of another shape cannot be appended"));
    // A later chunk may have widened a column's type (a reader met a value that did not fit).
    for (int c = 0; c < columnCount(); ++c) {
        if (rows.m_fields[std::size_t(c)].Type != m_fields[std::size_t(c)].Type)
            retypeColumn(c, rows.m_fields[std::size_t(c)]);
    }
    // Column by column, a run of rows at a time: no cell goes through the row protocol.
    std::size_t r = first;
    while (r < rows.m_rows) {
        if ((m_rows & kSegmentMask) == 0 && !m_cols.empty() && m_cols[0].segments.size() == m_rows >> kSegmentShift)
            addSegment();
        const std::size_t to0 = m_rows & kSegmentMask;
        const std::size_t from0 = r & kSegmentMask;
        const std::size_t n = std::min({rows.m_rows - r, kSegmentRows - to0, kSegmentRows - from0});
        // Groups of 64 rows fall differently here than in the source: none may pass what a
        // group holds. Checked before anything changes, so a refused run leaves the store whole.
        for (std::size_t i = 0; i < m_cols.size(); ++i) {
            if (m_cols[i].storage != Storage::Text && m_cols[i].storage != Storage::Blob)
                continue;
            const Segment &to = m_cols[i].segments.back();
            const Segment &from = rows.m_cols[i].segments[r >> kSegmentShift];
            std::uint64_t groupBase = (to0 & 63) == 0 ? to.textEnd : to.bases.back();
            std::uint64_t end = to.textEnd;
            for (std::size_t k = 0; k < n; ++k) {
                const std::size_t f = from0 + k;
                const std::uint64_t len = from.ends[f] - ((f & 63) != 0 ? from.ends[f - 1] : 0);
                if (((to0 + k) & 63) == 0)
                    groupBase = end;
                end += len;
                if (end - groupBase > kMaxGroupText)
                    throw DbError(QStringLiteral("The values of the field '%1' are too large to hold (over 4 GiB in 64 rows)")
                                      .arg(m_fields[i].Name));
            }
        }
        for (std::size_t i = 0; i < m_cols.size(); ++i) {
            Segment &to = m_cols[i].segments.back();
            const Segment &from = rows.m_cols[i].segments[r >> kSegmentShift];
            switch (m_cols[i].storage) {
            case Storage::Int64:
                // Offsets line up with their rows; rows past the end of a segment's list have none.
                if (from.zones.size() > from0) {
                    to.zones.resize(to0, kNoZone);
                    to.zones.insert(to.zones.end(), from.zones.begin() + long(from0),
                                    from.zones.begin() + long(std::min(from.zones.size(), from0 + n)));
                }
                appendInts(to, from, from0, n);
                break;
            case Storage::Double:
                to.reals.insert(to.reals.end(), from.reals.begin() + long(from0), from.reals.begin() + long(from0 + n));
                break;
            case Storage::Text:
            case Storage::Blob: {
                // The rows' bytes are contiguous in the source: one copy, then their ends.
                const std::uint64_t start = from.bases[from0 >> 6] + ((from0 & 63) != 0 ? from.ends[from0 - 1] : 0);
                const std::size_t last = from0 + n - 1;
                const std::uint64_t stop = from.bases[last >> 6] + from.ends[last];
                const std::uint64_t shift = to.arena.size() - start;
                to.arena.insert(to.arena.end(), from.arena.begin() + long(start), from.arena.begin() + long(stop));
                for (std::size_t k = 0; k < n; ++k) {
                    const std::size_t f = from0 + k;
                    const std::uint64_t end = from.bases[f >> 6] + from.ends[f] + shift;
                    if (((to0 + k) & 63) == 0)
                        to.bases.push_back(to.textEnd);
                    to.ends.push_back(std::uint32_t(end - to.bases.back()));
                    to.textEnd = end;
                }
                break;
            }
            }
            to.nulls.resize((to0 + n + 63) / 64, 0);
            for (std::size_t k = 0; k < n; ++k) {
                const std::size_t f = from0 + k;
                if ((from.nulls[f >> 6] >> (f & 63)) & 1u) {
                    const std::size_t t = to0 + k;
                    to.nulls[t >> 6] |= std::uint64_t(1) << (t & 63);
                }
            }
            if (to0 + n == kSegmentRows)
                trimArena(to.arena);
        }
        m_rows += n;
        r += n;
    }
}

void RowStore::append(RowStore &&rows)
{
    const bool aligned = (m_rows & kSegmentMask) == 0 && !m_inRow && rows.columnCount() == columnCount()
        && !rows.m_inRow && rows.m_rows > 0;
    bool sameTypes = aligned;
    for (int c = 0; sameTypes && c < columnCount(); ++c)
        sameTypes = rows.m_fields[std::size_t(c)].Type == m_fields[std::size_t(c)].Type;
    if (!sameTypes) {
        append(static_cast<const RowStore &>(rows));
        return;
    }
    const std::size_t blocks = m_rows >> kSegmentShift;
    const std::size_t used = (rows.m_rows + kSegmentMask) >> kSegmentShift;
    for (std::size_t i = 0; i < m_cols.size(); ++i) {
        std::vector<Segment> &to = m_cols[i].segments;
        to.resize(blocks); // an empty block made ready for the next row goes
        for (std::size_t k = 0; k < used; ++k)
            to.push_back(std::move(rows.m_cols[i].segments[k]));
    }
    m_rows += rows.m_rows;
    rows = RowStore(rows.m_fields);
}

void RowStore::append(RowStore &&rows, std::size_t restated)
{
    if (restated == 0) {
        append(std::move(rows));
        return;
    }
    bool takeOver = !m_inRow && !rows.m_inRow && restated == (m_rows & kSegmentMask) && restated <= rows.m_rows
                    && rows.columnCount() == columnCount();
    for (int c = 0; takeOver && c < columnCount(); ++c)
        takeOver = rows.m_fields[std::size_t(c)].Type == m_fields[std::size_t(c)].Type;
    if (!takeOver) {
        appendFrom(rows, std::min(restated, rows.m_rows));
        return;
    }
    m_rows -= restated; // on the boundary now: the last block gives way to the chunk's
    append(std::move(rows));
}

void RowStore::squeeze()
{
    for (Column &c : m_cols) {
        if (c.segments.empty())
            continue;
        Segment &s = c.segments.back();
        s.narrow.shrink_to_fit();
        s.ints.shrink_to_fit();
        s.reals.shrink_to_fit();
        s.arena.shrink_to_fit();
        s.ends.shrink_to_fit();
        s.bases.shrink_to_fit();
        s.nulls.shrink_to_fit();
        s.zones.shrink_to_fit();
    }
}

void RowStore::reserve(std::size_t rows)
{
    if (m_rows > 0 || m_inRow || m_cols.empty() || !m_cols[0].segments.empty())
        return; // a hint for an empty store
    for (Column &c : m_cols)
        c.segments.reserve(std::min<std::size_t>((rows >> kSegmentShift) + 1, 4096)); // "all rows" is no size
    addSegment();
    const std::size_t first = std::min(rows, kSegmentRows);
    for (Column &c : m_cols) {
        Segment &s = c.segments.back();
        switch (c.storage) {
        case Storage::Int64: s.narrow.reserve(first); break;
        case Storage::Double: s.reals.reserve(first); break;
        default:
            s.ends.reserve(first);
            s.bases.reserve((first + 63) / 64);
            break;
        }
        s.nulls.reserve((first + 63) / 64);
    }
}

std::size_t RowStore::bytesHeld() const
{
    std::size_t n = sizeof(*this) + m_cols.capacity() * sizeof(Column) + m_set.capacity();
    for (const FieldInfo &f : m_fields)
        n += sizeof(FieldInfo) + std::size_t(f.Name.capacity() + f.DeclaredType.capacity()) * 2;
    for (const Column &c : m_cols) {
        n += c.segments.capacity() * sizeof(Segment);
        for (const Segment &s : c.segments) {
            n += s.narrow.capacity() * sizeof(std::int32_t) + s.ints.capacity() * sizeof(std::int64_t)
                + s.reals.capacity() * sizeof(double) + s.arena.capacity()
                + s.ends.capacity() * sizeof(std::uint32_t) + s.bases.capacity() * sizeof(std::uint64_t)
                + s.nulls.capacity() * sizeof(std::uint64_t)
                + s.zones.capacity() * sizeof(std::int32_t);
        }
    }
    return n;
}

// --- date and time encodings ---

std::int64_t RowStore::encodeDate(const QDate &d)
{
    if (!d.isValid())
        throw DbError(QStringLiteral("An invalid date cannot be stored"));
    return d.toJulianDay();
}

QDate RowStore::decodeDate(std::int64_t v)
{
    return QDate::fromJulianDay(v);
}

std::int64_t RowStore::encodeTime(const QTime &t)
{
    if (!t.isValid())
        throw DbError(QStringLiteral("An invalid time cannot be stored"));
    return std::int64_t(t.msecsSinceStartOfDay()) * 1000;
}

QTime RowStore::decodeTime(std::int64_t v)
{
    // 24:00:00 has no QTime: the last millisecond of the day stands for it.
    return QTime::fromMSecsSinceStartOfDay(int(std::min<std::int64_t>(v / 1000, 86399999)));
}

std::int64_t RowStore::encodeDateTime(const QDateTime &dt)
{
    if (!dt.isValid())
        throw DbError(QStringLiteral("An invalid date and time cannot be stored"));
    // The wall-clock reading as given: no time zone is applied in either direction.
    return (dt.date().toJulianDay() - kEpochJulianDay) * kUsPerDay + std::int64_t(dt.time().msecsSinceStartOfDay()) * 1000;
}

QDateTime RowStore::decodeDateTime(std::int64_t v)
{
    const std::int64_t days = floorDiv(v, kUsPerDay);
    return QDateTime(QDate::fromJulianDay(days + kEpochJulianDay),
                     QTime::fromMSecsSinceStartOfDay(int((v - days * kUsPerDay) / 1000)), Qt::UTC);
}

bool RowStore::parseTemporal(int adoType, QStringView text, std::int64_t &out, int *zone)
{
    text = text.trimmed();
    int offset = kNoZone;
    qsizetype i = 0;
    if (adoType == adDBTime) {
        std::int64_t us = 0;
        if (!parseTimePart(text, i, us))
            return false;
        if (i < text.size() && !parseZonePart(text, i, offset))
            return false;
        if (i != text.size())
            return false;
        out = us;
        if (zone)
            *zone = offset;
        return true;
    }
    if (text.compare(u"infinity", Qt::CaseInsensitive) == 0 || text.compare(u"-infinity", Qt::CaseInsensitive) == 0) {
        out = text.startsWith(u'-') ? kMinusInfinity : kInfinity;
        if (zone)
            *zone = kNoZone;
        return true;
    }
    std::int64_t jd = 0, us = 0;
    if (!parseDatePart(text, i, jd))
        return false;
    bool hasTime = false;
    if (i < text.size() && (text[i] == u' ' || text[i] == u'T')) {
        qsizetype k = i;
        while (k < text.size() && text[k] == u' ')
            ++k;
        if (k < text.size() && text[k] == u'T')
            ++k;
        if (k < text.size() && text[k].isDigit()) {
            i = k;
            if (!parseTimePart(text, i, us))
                return false;
            hasTime = true;
            if (i < text.size() && text.mid(i).compare(u" BC", Qt::CaseInsensitive) != 0
                && !parseZonePart(text, i, offset))
                return false;
        }
    }
    if (takeEra(text, i)) {
        // The year counted before Christ: QDate counts 1 BC as year -1.
        const QDate d = QDate::fromJulianDay(jd);
        if (d.year() < 0)
            return false;
        const QDate bc(-d.year(), d.month(), d.day());
        if (!bc.isValid())
            return false;
        jd = bc.toJulianDay();
    }
    if (i != text.size())
        return false;
    if (adoType == adDBDate) {
        if (us != 0 || (hasTime && offset != kNoZone))
            return false;
        out = jd;
    } else {
        out = (jd - kEpochJulianDay) * kUsPerDay + us;
    }
    if (zone)
        *zone = offset;
    return true;
}

} // namespace db
