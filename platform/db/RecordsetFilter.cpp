#include "db/RecordsetFilter.h"

#include "db/DbError.h"
#include "db/Soundex.h"
#include "db/ValueRules.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace db {

namespace {

constexpr std::int64_t kUsPerDay = 86400000000;
constexpr std::int64_t kEpochJulianDay = 2440588;

// ---------------------------------------------------------------- parsing

bool isBareChar(QChar c)
{
    if (c.isSpace())
        return false;
    switch (c.unicode()) {
    case '=': case '<': case '>': case '!': case '(': case ')': case '\'': case '"': case '#': case '[': case ']':
        return false;
    default:
        return true;
    }
}

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

QVariant nullValue()
{
    return QVariant::fromValue(nullptr);
}

bool isNullValue(const QVariant &v)
{
    return !v.isValid() || v.isNull();
}

class Parser {
public:
    explicit Parser(const QString &text) : s(text) {}

    RecordsetFilter::Node parseAll()
    {
        skipSpace();
        RecordsetFilter::Node root;
        root.isGroup = true;
        if (pos == s.size())
            return root;
        root = parseSequence(false);
        return root;
    }

private:
    const QString &s;
    qsizetype pos = 0;
    int depth = 0;

    [[noreturn]] void fail(const QString &what, qsizetype at) const
    {
        throw DbError(QStringLiteral("%1 at position %2").arg(what).arg(at + 1));
    }

    void skipSpace()
    {
        while (pos < s.size() && s[pos].isSpace())
            ++pos;
    }

    bool keywordAt(qsizetype at, QStringView kw) const
    {
        if (at + kw.size() > s.size())
            return false;
        if (QStringView(s).mid(at, kw.size()).compare(kw, Qt::CaseInsensitive) != 0)
            return false;
        return at + kw.size() == s.size() || !isWordChar(s[at + kw.size()]);
    }

    bool takeKeyword(QStringView kw)
    {
        if (!keywordAt(pos, kw))
            return false;
        pos += kw.size();
        return true;
    }

    RecordsetFilter::Node parseSequence(bool inParens)
    {
        RecordsetFilter::Node g;
        g.isGroup = true;
        g.children.push_back(parseTerm());
        for (;;) {
            skipSpace();
            if (pos == s.size()) {
                if (inParens)
                    fail(QStringLiteral("Expected ')'"), pos);
                break;
            }
            if (s[pos] == u')') {
                if (inParens)
                    break;
                fail(QStringLiteral("Unexpected ')'"), pos);
            }
            bool orJoin = false;
            if (takeKeyword(u"AND"))
                orJoin = false;
            else if (takeKeyword(u"OR"))
                orJoin = true;
            else
                fail(inParens ? QStringLiteral("Expected AND, OR or ')'")
                              : QStringLiteral("Expected AND, OR or the end of the filter"),
                     pos);
            g.joinedByOr.push_back(orJoin);
            g.children.push_back(parseTerm());
        }
        return g;
    }

    RecordsetFilter::Node parseTerm()
    {
        skipSpace();
        if (pos == s.size())
            fail(QStringLiteral("Expected a condition"), pos);
        if (keywordAt(pos, u"NOT") || s[pos] == u'(') {
            // Each level is a call: a limit keeps a crafted filter from using up the stack.
            if (++depth > RecordsetFilter::kMaxNesting)
                fail(QStringLiteral("The filter nests brackets or NOT more than %1 deep").arg(RecordsetFilter::kMaxNesting), pos);
            RecordsetFilter::Node n;
            if (takeKeyword(u"NOT")) {
                n = parseTerm();
                n.negated = !n.negated;
            } else {
                ++pos;
                n = parseSequence(true);
                ++pos; // the ')' parseSequence stopped at
            }
            --depth;
            return n;
        }
        RecordsetFilter::Node n;
        n.condition = parseCondition();
        return n;
    }

    QString parseDelimited(QChar close, const QString &what)
    {
        const qsizetype start = pos++;
        QString out;
        for (;;) {
            if (pos >= s.size())
                fail(QStringLiteral("Expected %1 to close the %2 starting").arg(QString(close), what), start);
            if (s[pos] == close) {
                if (pos + 1 < s.size() && s[pos + 1] == close) {
                    out += close;
                    pos += 2;
                    continue;
                }
                ++pos;
                return out;
            }
            out += s[pos++];
        }
    }

    QString parseField()
    {
        // Quoted with any delimiter the column menu may have used.
        if (std::optional<QString> quoted = readQuotedName(s, pos))
            return *quoted;
        const qsizetype start = pos;
        qsizetype end = pos;
        // A bare name may hold blanks ("First Name = 'x'"): words run on until an operator.
        for (;;) {
            while (pos < s.size() && isBareChar(s[pos]))
                ++pos;
            if (pos == end)
                break;
            end = pos;
            skipSpace();
            if (pos == s.size() || !isBareChar(s[pos]) || keywordAt(pos, u"LIKE") || keywordAt(pos, u"NOT")
                || keywordAt(pos, u"IS") || keywordAt(pos, u"AND") || keywordAt(pos, u"OR"))
                break;
        }
        if (end == start)
            fail(QStringLiteral("Expected a field name"), start);
        pos = end;
        return s.mid(start, end - start);
    }

    RecordsetFilter::Condition parseCondition()
    {
        RecordsetFilter::Condition c;
        c.field = parseField();
        skipSpace();
        const qsizetype opPos = pos;
        auto expectedComparison = [&] {
            fail(QStringLiteral("Expected a comparison after '%1'").arg(c.field), opPos);
        };
        if (pos == s.size())
            expectedComparison();
        const QChar ch = s[pos];
        const QChar next = pos + 1 < s.size() ? s[pos + 1] : QChar();
        if (ch == u'<') {
            c.op = next == u'>' ? QStringLiteral("<>") : next == u'=' ? QStringLiteral("<=") : QStringLiteral("<");
            pos += c.op.size();
        } else if (ch == u'>') {
            c.op = next == u'=' ? QStringLiteral(">=") : QStringLiteral(">");
            pos += c.op.size();
        } else if (ch == u'=') {
            c.op = QStringLiteral("=");
            ++pos;
        } else if (ch == u'!' && next == u'=') {
            c.op = QStringLiteral("<>");
            pos += 2;
        } else if (takeKeyword(u"LIKE")) {
            c.op = QStringLiteral("LIKE");
        } else if (keywordAt(pos, u"BEGINS") || keywordAt(pos, u"SOUNDS")) {
            c.op = takeTextComparison();
        } else if (takeKeyword(u"NOT")) {
            skipSpace();
            if (takeKeyword(u"LIKE"))
                c.op = QStringLiteral("NOT LIKE");
            else if (keywordAt(pos, u"BEGINS") || keywordAt(pos, u"SOUNDS"))
                c.op = QStringLiteral("NOT ") + takeTextComparison();
            else
                fail(QStringLiteral("Expected LIKE, BEGINS WITH or SOUNDS LIKE after NOT"), pos);
        } else if (takeKeyword(u"IS")) {
            skipSpace();
            const bool negated = takeKeyword(u"NOT");
            skipSpace();
            if (!takeKeyword(u"NULL"))
                fail(negated ? QStringLiteral("Expected NULL after IS NOT") : QStringLiteral("Expected NULL or NOT NULL after IS"), pos);
            c.op = negated ? QStringLiteral("IS NOT NULL") : QStringLiteral("IS NULL");
            return c;
        } else {
            expectedComparison();
        }
        c.value = parseValue(c.op);
        return c;
    }

    // "BEGINS WITH" or "SOUNDS LIKE" at pos.
    QString takeTextComparison()
    {
        const bool begins = takeKeyword(u"BEGINS");
        if (!begins)
            takeKeyword(u"SOUNDS");
        skipSpace();
        if (!takeKeyword(begins ? u"WITH" : u"LIKE"))
            fail(begins ? QStringLiteral("Expected WITH after BEGINS") : QStringLiteral("Expected LIKE after SOUNDS"), pos);
        return begins ? QStringLiteral("BEGINS WITH") : QStringLiteral("SOUNDS LIKE");
    }

    QVariant parseValue(const QString &op)
    {
        skipSpace();
        const bool like = op.endsWith(QLatin1String("LIKE"));
        if (pos == s.size())
            fail(like ? QStringLiteral("Expected a pattern after %1").arg(op)
                      : QStringLiteral("Expected a value after '%1'").arg(op),
                 pos);
        const QChar c = s[pos];
        if (c == u'\'' || c == u'"')
            return parseDelimited(c, QStringLiteral("text"));
        if (like) {
            // the column menu writes numeric patterns unquoted: Amount LIKE 12%
            const qsizetype start = pos;
            while (pos < s.size() && isBareChar(s[pos]))
                ++pos;
            if (pos == start)
                fail(QStringLiteral("Expected a pattern after %1").arg(op), pos);
            return s.mid(start, pos - start);
        }
        if (c == u'#') {
            const qsizetype start = pos;
            const qsizetype close = s.indexOf(u'#', pos + 1);
            if (close < 0)
                fail(QStringLiteral("Expected '#' to close the date starting"), start);
            const QString body = s.mid(pos + 1, close - pos - 1).trimmed();
            pos = close + 1;
            QVariant v = parseDateLiteral(body);
            if (!v.isValid())
                fail(QStringLiteral("'%1' is not a date").arg(body), start);
            return v;
        }
        const bool sign = (c == u'-' || c == u'+') && pos + 1 < s.size()
            && (s[pos + 1].isDigit() || s[pos + 1] == u'.');
        if (c.isDigit() || c == u'.' || sign) {
            const qsizetype start = pos;
            while (pos < s.size() && isBareChar(s[pos]))
                ++pos;
            const QString word = s.mid(start, pos - start);
            QVariant v = parseNumberLiteral(word);
            if (!v.isValid())
                fail(QStringLiteral("'%1' is not a number").arg(word), start);
            return v;
        }
        if (takeKeyword(u"NULL"))
            return nullValue();
        if (takeKeyword(u"TRUE"))
            return QVariant(true);
        if (takeKeyword(u"FALSE"))
            return QVariant(false);
        fail(QStringLiteral("Expected a value after '%1'").arg(op), pos);
    }

public:
    static QVariant parseNumberLiteral(const QString &word)
    {
        const QByteArray latin = word.toLatin1();
        const char *b = latin.constData();
        const char *e = b + latin.size();
        if (b != e && *b == '+')
            ++b;
        if (b == e)
            return {};
        const bool integral = !latin.contains('.') && !latin.contains('e') && !latin.contains('E');
        if (integral) {
            std::int64_t i = 0;
            const auto r = std::from_chars(b, e, i);
            if (r.ec == std::errc() && r.ptr == e)
                return QVariant(qlonglong(i));
        }
        double d = 0;
        const auto r = std::from_chars(b, e, d);
        if (r.ec != std::errc() || r.ptr != e || !std::isfinite(d))
            return {};
        return QVariant(d);
    }

    static QVariant parseDateLiteral(const QString &body)
    {
        std::int64_t v = 0;
        int zone = RowStore::kNoZone;
        // What a QTime or QDateTime cannot hold (microseconds, an offset, an era, infinity) stays
        // text, which binding reads with the same rules.
        // A date before year 1 however typed ("-0005-01-01" too) is written with its era, which
        // reads back as text: it stays text from the start, so that the filter reads back the same.
        const auto plain = [&](int type) {
            char buf[64];
            const QLatin1String shown(buf, qsizetype(RowStore::formatScalar(type, v, 0, buf)));
            return !body.contains(QLatin1String("BC"), Qt::CaseInsensitive)
                   && !shown.contains(QLatin1String("BC"), Qt::CaseInsensitive);
        };
        auto exact = [&](int type, const QVariant &typed) {
            const bool fits = zone == RowStore::kNoZone && v % 1000 == 0 && v != RowStore::kInfinity
                              && v != RowStore::kMinusInfinity && plain(type);
            return fits ? typed : QVariant(body);
        };
        if (RowStore::parseTemporal(adDBTime, body, v, &zone))
            return exact(adDBTime, QVariant(RowStore::decodeTime(v)));
        if (RowStore::parseTemporal(adDBDate, body, v, &zone))
            return plain(adDBDate) && v != RowStore::kInfinity && v != RowStore::kMinusInfinity
                       ? QVariant(RowStore::decodeDate(v))
                       : QVariant(body);
        if (RowStore::parseTemporal(adDBTimeStamp, body, v, &zone))
            return exact(adDBTimeStamp, QVariant(RowStore::decodeDateTime(v)));
        return {};
    }
};

// ---------------------------------------------------------------- writing

QString formatTemporal(int type, std::int64_t v)
{
    char buf[64];
    return QString::fromLatin1(buf, qsizetype(RowStore::formatScalar(type, v, 0, buf)));
}

QString valueText(const QVariant &v)
{
    if (isNullValue(v))
        return QStringLiteral("NULL");
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
        return v.toString();
    case QMetaType::Double:
    case QMetaType::Float: {
        // Zero loses its sign: "-0" would read back as the integer 0 and so write differently.
        const double d = v.toDouble() == 0.0 ? 0.0 : v.toDouble();
        if (std::isfinite(d)) {
            char buf[64];
            const auto r = std::to_chars(buf, buf + sizeof buf, d);
            return QString::fromLatin1(buf, qsizetype(r.ptr - buf));
        }
        break; // no literal for infinities: written as text, which a numeric field rejects at bind
    }
    case QMetaType::QDate:
        return u'#' + formatTemporal(adDBDate, RowStore::encodeDate(v.toDate())) + u'#';
    case QMetaType::QTime:
        return u'#' + formatTemporal(adDBTime, RowStore::encodeTime(v.toTime())) + u'#';
    case QMetaType::QDateTime:
        return u'#' + formatTemporal(adDBTimeStamp, RowStore::encodeDateTime(v.toDateTime())) + u'#';
    default:
        break;
    }
    QString t = v.toString();
    t.replace(u'\'', QStringLiteral("''"));
    return u'\'' + t + u'\'';
}

QString fieldText(const QString &name)
{
    QString t = name;
    t.replace(u']', QStringLiteral("]]"));
    return u'[' + t + u']';
}

QString normalizedOp(const QString &op)
{
    QString o = op.simplified().toUpper();
    if (o == u"IS")
        return QStringLiteral("IS NULL");
    if (o == u"IS NOT")
        return QStringLiteral("IS NOT NULL");
    if (o == u"!=")
        return QStringLiteral("<>");
    return o;
}

void writeNode(const RecordsetFilter::Node &n, bool top, QString &out)
{
    if (n.negated)
        out += QStringLiteral("NOT ");
    if (!n.isGroup) {
        const RecordsetFilter::Condition &c = n.condition;
        const QString op = normalizedOp(c.op);
        out += fieldText(c.field);
        out += u' ';
        out += op;
        if (!op.startsWith(QLatin1String("IS"))) {
            out += u' ';
            out += valueText(c.value);
        }
        return;
    }
    const bool parens = !top || n.negated;
    if (parens)
        out += u'(';
    for (std::size_t i = 0; i < n.children.size(); ++i) {
        if (i > 0)
            out += i - 1 < n.joinedByOr.size() && n.joinedByOr[i - 1] ? QStringLiteral(" OR ") : QStringLiteral(" AND ");
        writeNode(n.children[i], false, out);
    }
    if (parens)
        out += u')';
}

// ---------------------------------------------------------------- evaluation helpers

constexpr char32_t kAnyRun = 0xFFFFFFFF;
constexpr char32_t kAnyOne = 0xFFFFFFFE;

inline char32_t fold(char32_t c)
{
    if (c < 128)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    return QChar::toCaseFolded(c);
}

// Decodes one code point of our own (valid) UTF-8; a stray byte reads as U+FFFD.
inline char32_t nextCodePoint(const unsigned char *p, std::size_t n, std::size_t &i)
{
    const unsigned char b = p[i];
    if (b < 0x80) {
        ++i;
        return b;
    }
    int len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
    if (len == 0 || i + std::size_t(len) > n) {
        ++i;
        return 0xFFFD;
    }
    char32_t c = b & (0x7F >> len);
    for (int k = 1; k < len; ++k) {
        if ((p[i + std::size_t(k)] & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (p[i + std::size_t(k)] & 0x3F);
    }
    i += std::size_t(len);
    return c;
}

// Text compares as the rows' database compares it: with or without regard to case.
inline char32_t foldIf(bool caseSensitive, char32_t c)
{
    return caseSensitive ? c : fold(c);
}

std::u32string foldedText(const QString &s, bool caseSensitive)
{
    std::u32string out;
    for (char32_t c : s.toUcs4())
        out.push_back(foldIf(caseSensitive, c));
    return out;
}

int compareFolded(const char *data, std::size_t n, const std::u32string &value, bool caseSensitive)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    std::size_t i = 0, k = 0;
    while (i < n && k < value.size()) {
        const char32_t c = foldIf(caseSensitive, nextCodePoint(p, n, i));
        if (c != value[k])
            return c < value[k] ? -1 : 1;
        ++k;
    }
    if (i < n)
        return 1;
    return k < value.size() ? -1 : 0;
}

bool likeMatch(const char *data, std::size_t n, const std::vector<char32_t> &pat, bool caseSensitive)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    std::size_t si = 0, pi = 0, starPi = std::size_t(-1), starSi = 0;
    while (si < n) {
        std::size_t nextSi = si;
        const char32_t c = foldIf(caseSensitive, nextCodePoint(p, n, nextSi));
        if (pi < pat.size() && pat[pi] == kAnyRun) {
            starPi = pi++;
            starSi = si;
        } else if (pi < pat.size() && (pat[pi] == kAnyOne || pat[pi] == c)) {
            si = nextSi;
            ++pi;
        } else if (starPi != std::size_t(-1)) {
            pi = starPi + 1;
            nextCodePoint(p, n, starSi);
            si = starSi;
        } else {
            return false;
        }
    }
    while (pi < pat.size() && pat[pi] == kAnyRun)
        ++pi;
    return pi == pat.size();
}

} // namespace

// ---------------------------------------------------------------- bound form

// The bound form of a filter: columns resolved and comparison values converted once.
struct FilterProgram {
    enum class Op { Eq, Ne, Lt, Gt, Le, Ge, Like, NotLike, IsNull, IsNotNull, Begins, NotBegins, Sounds, NotSounds };
    // How a cell is compared: Int (integers, Booleans), Real, Decimal (exact text), Text (folded),
    // FixedText (folded, trailing blanks ignored), Stamp (dates and timestamps as ms), Time (ms).
    enum class Kind { Int, Bool, Real, Decimal, Text, FixedText, Blob, Stamp, Time };
    struct Cond {
        int col = 0;
        int type = 0;
        Op op = Op::Eq;
        Kind kind = Kind::Int;
        bool never = false;    // compared with NULL: SQL says no row matches
        bool intValue = false; // iv holds the exact value, else dv
        std::int64_t iv = 0;
        double dv = 0;
        std::string dec;
        std::u32string text;
        std::vector<char32_t> pattern;
    };
    struct CNode {
        bool isGroup = false;
        bool negated = false;
        int cond = -1;
        std::vector<int> children;
        std::vector<bool> orJoin;
    };
    std::vector<Cond> conds;
    std::vector<CNode> nodes;
    int root = -1;
    bool caseSensitive = false;

    bool evalNode(const RowStore &store, std::size_t row, int idx) const;
    bool evalCond(const RowStore &store, std::size_t row, const Cond &c) const;
};

namespace {

using Compiled = FilterProgram;

Compiled::Op opOf(const QString &raw)
{
    const QString op = normalizedOp(raw);
    if (op == u"=") return Compiled::Op::Eq;
    if (op == u"<>") return Compiled::Op::Ne;
    if (op == u"<") return Compiled::Op::Lt;
    if (op == u">") return Compiled::Op::Gt;
    if (op == u"<=") return Compiled::Op::Le;
    if (op == u">=") return Compiled::Op::Ge;
    if (op == u"LIKE") return Compiled::Op::Like;
    if (op == u"NOT LIKE") return Compiled::Op::NotLike;
    if (op == u"IS NULL") return Compiled::Op::IsNull;
    if (op == u"IS NOT NULL") return Compiled::Op::IsNotNull;
    if (op == u"BEGINS WITH") return Compiled::Op::Begins;
    if (op == u"NOT BEGINS WITH") return Compiled::Op::NotBegins;
    if (op == u"SOUNDS LIKE") return Compiled::Op::Sounds;
    if (op == u"NOT SOUNDS LIKE") return Compiled::Op::NotSounds;
    throw DbError(QStringLiteral("'%1' is not a filter comparison").arg(raw));
}

bool numberOf(const QVariant &v, Compiled::Cond &c)
{
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        c.intValue = true;
        c.iv = v.toBool() ? 1 : 0;
        return true;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
        c.intValue = true;
        c.iv = v.toLongLong();
        c.dv = double(c.iv);
        return true;
    case QMetaType::ULongLong:
    case QMetaType::ULong:
    case QMetaType::Double:
    case QMetaType::Float:
        c.intValue = false; // a Boolean condition starts out integral
        c.dv = v.toDouble();
        return true;
    case QMetaType::QString: {
        const QVariant n = Parser::parseNumberLiteral(v.toString().trimmed());
        if (!n.isValid())
            return false;
        return numberOf(n, c);
    }
    default:
        return false;
    }
}

QString canonicalText(const QVariant &v)
{
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double:
    case QMetaType::Float: {
        char buf[64];
        return QString::fromLatin1(buf, qsizetype(RowStore::formatScalar(adDouble, 0, v.toDouble(), buf)));
    }
    case QMetaType::QDate:
    case QMetaType::QTime:
    case QMetaType::QDateTime: {
        const QString t = valueText(v);
        return t.mid(1, t.size() - 2);
    }
    default:
        return v.toString();
    }
}

std::string decimalOf(const Compiled::Cond &c)
{
    if (c.intValue)
        return std::to_string(c.iv);
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, c.dv, std::chars_format::fixed);
    return std::string(buf, r.ptr);
}

void bindValue(Compiled::Cond &c, const FieldInfo &f, const QVariant &v, bool caseSensitive)
{
    using Kind = Compiled::Kind;
    const int tid = v.metaType().id();
    auto refuse = [&](const char *what) {
        throw DbError(QStringLiteral("'%1' is not %2 (filter on the field '%3')")
                          .arg(v.toString(), QLatin1String(what), f.Name));
    };
    switch (c.kind) {
    case Kind::Int:
    case Kind::Real:
        if (!numberOf(v, c))
            refuse("a number");
        if (c.kind == Kind::Real && c.intValue) {
            c.intValue = false;
            c.dv = double(c.iv);
        }
        break;
    case Kind::Bool: {
        c.intValue = true;
        if (tid == QMetaType::QString) {
            const QString t = v.toString().trimmed();
            if (t.compare(u"true", Qt::CaseInsensitive) == 0 || t.compare(u"yes", Qt::CaseInsensitive) == 0)
                c.iv = 1;
            else if (t.compare(u"false", Qt::CaseInsensitive) == 0 || t.compare(u"no", Qt::CaseInsensitive) == 0)
                c.iv = 0;
            else if (numberOf(v, c))
                c.iv = (c.intValue ? c.iv != 0 : c.dv != 0) ? 1 : 0;
            else
                refuse("a Boolean value");
        } else if (numberOf(v, c)) {
            c.iv = (c.intValue ? c.iv != 0 : c.dv != 0) ? 1 : 0;
        } else {
            refuse("a Boolean value");
        }
        c.intValue = true;
        break;
    }
    case Kind::Decimal:
        if (tid == QMetaType::QString) {
            // NaN and the infinities, which decimal comparison orders as the database does.
            QString t = v.toString().trimmed();
            if (t.startsWith(u'-') || t.startsWith(u'+'))
                t.remove(0, 1);
            if (t.compare(u"NaN", Qt::CaseInsensitive) == 0 || t.compare(u"Infinity", Qt::CaseInsensitive) == 0) {
                c.dec = v.toString().trimmed().toStdString();
                break;
            }
        }
        if (!numberOf(v, c))
            refuse("a number");
        c.dec = tid == QMetaType::QString ? v.toString().trimmed().toStdString() : decimalOf(c);
        if (!isPlainDecimal(c.dec))
            c.dec = decimalOf(c);
        break;
    case Kind::Text:
    case Kind::FixedText: {
        QString t = canonicalText(v);
        if (c.kind == Kind::FixedText) {
            while (t.endsWith(u' '))
                t.chop(1);
        }
        c.text = foldedText(t, caseSensitive);
        break;
    }
    case Kind::Stamp: {
        if (tid == QMetaType::QDate && v.toDate().isValid())
            c.iv = (v.toDate().toJulianDay() - kEpochJulianDay) * kUsPerDay;
        else if (tid == QMetaType::QDateTime && v.toDateTime().isValid())
            c.iv = RowStore::encodeDateTime(v.toDateTime());
        else if (tid != QMetaType::QString || !RowStore::parseTemporal(adDBTimeStamp, v.toString(), c.iv))
            refuse("a date");
        break;
    }
    case Kind::Time:
        if (tid == QMetaType::QTime && v.toTime().isValid())
            c.iv = RowStore::encodeTime(v.toTime());
        else if (tid != QMetaType::QString || !RowStore::parseTemporal(adDBTime, v.toString(), c.iv))
            refuse("a time");
        break;
    case Kind::Blob:
        throw DbError(QStringLiteral("The binary field '%1' can only be tested with IS NULL or IS NOT NULL").arg(f.Name));
    }
}

Compiled::Kind kindOf(int type)
{
    using Kind = Compiled::Kind;
    switch (type) {
    case adBoolean: return Kind::Bool;
    case adDBDate:
    case adDBTimeStamp:
    case adDate: return Kind::Stamp;
    case adDBTime: return Kind::Time;
    case adNumeric:
    case adDecimal: return Kind::Decimal;
    case adChar:
    case adWChar: return Kind::FixedText;
    default: break;
    }
    switch (storageOf(type)) {
    case Storage::Int64: return Kind::Int;
    case Storage::Double: return Kind::Real;
    case Storage::Blob: return Kind::Blob;
    case Storage::Text: break;
    }
    return Kind::Text;
}

int compile(const RecordsetFilter::Node &n, const RowStore &store, Compiled &out, std::vector<int> &columns)
{
    Compiled::CNode cn;
    cn.isGroup = n.isGroup;
    cn.negated = n.negated;
    if (n.isGroup) {
        for (const RecordsetFilter::Node &child : n.children)
            cn.children.push_back(compile(child, store, out, columns));
        cn.orJoin = n.joinedByOr;
        cn.orJoin.resize(n.children.empty() ? 0 : n.children.size() - 1, false);
    } else {
        const RecordsetFilter::Condition &src = n.condition;
        Compiled::Cond c;
        c.col = -1;
        for (int i = 0; i < store.columnCount(); ++i) {
            if (store.fields()[std::size_t(i)].Name.compare(src.field, Qt::CaseInsensitive) == 0) {
                c.col = i;
                break;
            }
        }
        if (c.col < 0)
            throw DbError(QStringLiteral("The filter names the field '%1', which is not in the recordset").arg(src.field));
        const FieldInfo &f = store.fields()[std::size_t(c.col)];
        c.type = f.Type;
        c.op = opOf(src.op);
        c.kind = kindOf(f.Type);
        if (c.op == Compiled::Op::Like || c.op == Compiled::Op::NotLike) {
            if (c.kind == Compiled::Kind::Blob)
                throw DbError(QStringLiteral("The binary field '%1' can only be tested with IS NULL or IS NOT NULL").arg(f.Name));
            if (isNullValue(src.value)) {
                c.never = true;
            } else {
                for (char32_t ch : canonicalText(src.value).toUcs4()) {
                    // The wildcards of SQL's LIKE, and (unless the pattern is SQL's) the column
                    // menu's *.
                    if (ch == '%' || (ch == '*' && !src.sqlPattern))
                        c.pattern.push_back(kAnyRun);
                    else if (ch == '_')
                        c.pattern.push_back(kAnyOne);
                    else
                        c.pattern.push_back(foldIf(out.caseSensitive, ch));
                }
            }
        } else if (c.op == Compiled::Op::Begins || c.op == Compiled::Op::NotBegins || c.op == Compiled::Op::Sounds
                   || c.op == Compiled::Op::NotSounds) {
            if (c.kind == Compiled::Kind::Blob)
                throw DbError(QStringLiteral("The binary field '%1' can only be tested with IS NULL or IS NOT NULL").arg(f.Name));
            if (isNullValue(src.value))
                c.never = true;
            else if (c.op == Compiled::Op::Begins || c.op == Compiled::Op::NotBegins)
                c.text = foldedText(canonicalText(src.value), out.caseSensitive);
            else
                c.dec = canonicalText(src.value).trimmed().toUpper().toStdString();
        } else if (c.op != Compiled::Op::IsNull && c.op != Compiled::Op::IsNotNull) {
            if (isNullValue(src.value))
                c.never = true;
            else
                bindValue(c, f, src.value, out.caseSensitive);
        }
        columns.push_back(c.col);
        cn.cond = int(out.conds.size());
        out.conds.push_back(std::move(c));
    }
    out.nodes.push_back(std::move(cn));
    return int(out.nodes.size()) - 1;
}

inline bool apply(Compiled::Op op, int cmp)
{
    if (cmp == 2)
        return false; // unordered (NaN)
    switch (op) {
    case Compiled::Op::Eq: return cmp == 0;
    case Compiled::Op::Ne: return cmp != 0;
    case Compiled::Op::Lt: return cmp < 0;
    case Compiled::Op::Gt: return cmp > 0;
    case Compiled::Op::Le: return cmp <= 0;
    case Compiled::Op::Ge: return cmp >= 0;
    default: return false;
    }
}

template <typename T>
inline int order(T a, T b)
{
    if (a < b)
        return -1;
    if (b < a)
        return 1;
    return a == b ? 0 : 2;
}

} // namespace

bool FilterProgram::evalCond(const RowStore &store, std::size_t row, const Cond &c) const
{
    const bool null = store.isNull(row, c.col);
    if (c.op == Op::IsNull)
        return null;
    if (c.op == Op::IsNotNull)
        return !null;
    if (null || c.never)
        return false;
    const bool like = c.op == Op::Like || c.op == Op::NotLike;
    const bool begins = c.op == Op::Begins || c.op == Op::NotBegins;
    const bool sounds = c.op == Op::Sounds || c.op == Op::NotSounds;
    if (like || begins || sounds) {
        // The cell's text: its own, or a number's or date's as the program shows it.
        char buf[64];
        std::size_t n = 0;
        const char *p = buf;
        if (storageOf(c.type) == Storage::Text) {
            p = store.bytes(row, c.col, &n);
        } else {
            const bool isInt = storageOf(c.type) == Storage::Int64;
            n = RowStore::formatScalar(c.type, isInt ? store.int64(row, c.col) : 0, isInt ? 0.0 : store.real(row, c.col), buf);
        }
        bool m = false;
        if (like) {
            m = likeMatch(p, n, c.pattern, caseSensitive);
        } else if (begins) {
            // As the text's first characters compared with the value: = on a prefix.
            const auto *u = reinterpret_cast<const unsigned char *>(p);
            std::size_t i = 0, k = 0;
            m = true;
            while (k < c.text.size() && m) {
                m = i < n && foldIf(caseSensitive, nextCodePoint(u, n, i)) == c.text[k];
                ++k;
            }
        } else {
            m = soundex(QString::fromUtf8(p, qsizetype(n))).toStdString() == c.dec;
        }
        return (c.op == Op::Like || c.op == Op::Begins || c.op == Op::Sounds) ? m : !m;
    }
    int cmp = 0;
    switch (c.kind) {
    case Kind::Int:
        cmp = c.intValue ? order(store.int64(row, c.col), c.iv) : order(double(store.int64(row, c.col)), c.dv);
        break;
    case Kind::Bool:
        cmp = order<std::int64_t>(store.int64(row, c.col) != 0 ? 1 : 0, c.iv);
        break;
    case Kind::Real:
        cmp = order(store.real(row, c.col), c.dv);
        break;
    case Kind::Stamp: {
        std::int64_t v = store.int64(row, c.col);
        if (c.type == adDBDate)
            if (v != RowStore::kInfinity && v != RowStore::kMinusInfinity)
                v = (v - kEpochJulianDay) * kUsPerDay;
        cmp = order(v, c.iv);
        break;
    }
    case Kind::Time:
        cmp = order(store.int64(row, c.col), c.iv);
        break;
    case Kind::Decimal: {
        std::size_t n = 0;
        const char *p = store.bytes(row, c.col, &n);
        cmp = compareDecimal(std::string_view(p, n), c.dec);
        break;
    }
    case Kind::Text:
    case Kind::FixedText: {
        std::size_t n = 0;
        const char *p = store.bytes(row, c.col, &n);
        if (c.kind == Kind::FixedText) {
            while (n > 0 && p[n - 1] == ' ')
                --n;
        }
        cmp = compareFolded(p, n, c.text, caseSensitive);
        break;
    }
    case Kind::Blob:
        return false;
    }
    return apply(c.op, cmp);
}

bool FilterProgram::evalNode(const RowStore &store, std::size_t row, int idx) const
{
    const CNode &n = nodes[std::size_t(idx)];
    bool result;
    if (!n.isGroup) {
        result = evalCond(store, row, conds[std::size_t(n.cond)]);
    } else if (n.children.empty()) {
        result = true;
    } else {
        // AND binds tighter than OR: the group is an OR of AND-runs.
        result = false;
        bool run = true;
        for (std::size_t i = 0; i < n.children.size(); ++i) {
            if (i > 0 && n.orJoin[i - 1]) {
                if (run) {
                    result = true;
                    break;
                }
                run = true;
            }
            if (run)
                run = evalNode(store, row, n.children[i]);
        }
        result = result || run;
    }
    return n.negated ? !result : result;
}

// ---------------------------------------------------------------- public

struct RecordsetFilter::Compiled : FilterProgram {
};

RecordsetFilter RecordsetFilter::parse(const QString &criteria)
{
    return RecordsetFilter(Parser(criteria).parseAll());
}

bool RecordsetFilter::isEmpty() const
{
    return m_root.isGroup && m_root.children.empty();
}

void RecordsetFilter::bind(const RowStore &store, bool caseSensitive)
{
    auto c = std::make_shared<Compiled>();
    c->caseSensitive = caseSensitive;
    std::vector<int> columns;
    c->root = compile(m_root, store, *c, columns);
    m_columns = std::move(columns);
    m_compiled = std::move(c);
}

bool RecordsetFilter::matches(const RowStore &store, std::size_t row) const
{
    if (!m_compiled) {
        if (isEmpty())
            return true;
        throw UsageError(QStringLiteral("The filter was not bound to the recordset's fields"));
    }
    return m_compiled->evalNode(store, row, m_compiled->root);
}

QString RecordsetFilter::literal(const RowStore &store, std::size_t row, int col)
{
    if (store.isNull(row, col))
        return QStringLiteral("NULL");
    const FieldInfo &f = store.fields()[std::size_t(col)];
    switch (storageOf(f.Type)) {
    case Storage::Blob:
        throw DbError(QStringLiteral("The binary value of the field '%1' cannot be written in a filter").arg(f.Name));
    case Storage::Int64:
        if (f.Type == adBoolean)
            return store.int64(row, col) != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        if (isDateType(f.Type))
            return u'#' + store.displayText(row, col) + u'#';
        return QString::number(store.int64(row, col));
    case Storage::Double: {
        const double d = store.real(row, col);
        // Numbers are read back bare; what has no digits compares as the text it shows.
        if (!std::isfinite(d))
            return valueText(QVariant(store.displayText(row, col)));
        return valueText(QVariant(d));
    }
    case Storage::Text:
        if (isNumericType(f.Type) && isPlainDecimal(store.text(row, col).toStdString()))
            return store.text(row, col).trimmed();
        return valueText(QVariant(store.text(row, col)));
    }
    return QStringLiteral("NULL");
}

QString RecordsetFilter::toString() const
{
    QString out;
    if (!isEmpty())
        writeNode(m_root, true, out);
    return out;
}

} // namespace db
