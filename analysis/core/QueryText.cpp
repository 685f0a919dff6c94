#include "core/QueryText.h"

#include "db/Connection.h"
#include "db/Types.h"

#include <algorithm>

namespace analysis::querytext {

namespace {

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

// Blanks only, as the statement's own line breaks are part of its layout.
QString trimBlanks(const QString &text)
{
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && text.at(b) == u' ')
        ++b;
    while (e > b && text.at(e - 1) == u' ')
        --e;
    return text.mid(b, e - b);
}

void chopTrailing(QString &text, const QString &chars)
{
    while (!text.isEmpty() && chars.contains(text.back()))
        text.chop(1);
}

// A statement cut into its top-level pieces: words, quoted names, literals, single punctuation
// characters, and each parenthesised part as one piece. Comments and blanks are dropped.
struct Token {
    enum Kind { Word, Name, Literal, Group, Punct };
    Kind kind;
    qsizetype begin;
    qsizetype end;
};

class Scanner {
public:
    explicit Scanner(const QString &sql) : s(sql), n(sql.size()) {}

    std::vector<Token> tokens()
    {
        std::vector<Token> out;
        while (i < n) {
            const qsizetype start = i;
            const QChar c = s.at(i);
            if (c.isSpace()) {
                ++i;
            } else if (c == u'-' && next(1) == u'-') {
                while (i < n && s.at(i) != u'\n')
                    ++i;
            } else if (c == u'/' && next(1) == u'*') {
                const qsizetype end = s.indexOf(QStringLiteral("*/"), i + 2);
                i = end < 0 ? n : end + 2;
            } else if (c == u'(') {
                skipGroup();
                out.push_back({Token::Group, start, i});
            } else if (skipLiteralOrName()) {
                out.push_back({closes(c) ? Token::Name : Token::Literal, start, i});
            } else if (isWordChar(c)) {
                while (i < n && isWordChar(s.at(i)) && !opensDollarQuote())
                    ++i;
                out.push_back({Token::Word, start, i});
            } else {
                ++i;
                out.push_back({Token::Punct, start, i});
            }
        }
        return out;
    }

private:
    const QString &s;
    const qsizetype n;
    qsizetype i = 0;

    QChar next(qsizetype k) const { return i + k < n ? s.at(i + k) : QChar(); }
    static bool closes(QChar c) { return c == u'"' || c == u'`' || c == u'['; }

    // PostgreSQL's $tag$ ... $tag$ (the tag may be empty); not $1, and not a $ inside a word.
    qsizetype dollarTagLength() const
    {
        if (s.at(i) != u'$' || (i > 0 && isWordChar(s.at(i - 1)) && s.at(i - 1) != u'$'))
            return 0;
        qsizetype k = i + 1;
        if (k < n && s.at(k).isDigit())
            return 0;
        while (k < n && (s.at(k).isLetterOrNumber() || s.at(k) == u'_'))
            ++k;
        return k < n && s.at(k) == u'$' ? k - i + 1 : 0;
    }
    bool opensDollarQuote() const { return s.at(i) == u'$' && dollarTagLength() > 0; }

    // Skips a literal or quoted name at i (a doubled closer is part of it); false when none starts here.
    bool skipLiteralOrName()
    {
        const QChar c = s.at(i);
        if (const qsizetype tag = dollarTagLength(); tag > 0) {
            const QString marker = s.mid(i, tag);
            const qsizetype end = s.indexOf(marker, i + tag);
            i = end < 0 ? n : end + tag;
            return true;
        }
        // E'...' keeps backslash escapes: \' does not end it.
        const bool escapes = (c == u'E' || c == u'e') && next(1) == u'\'' && (i == 0 || !isWordChar(s.at(i - 1)));
        if (escapes)
            ++i;
        const QChar open = s.at(i);
        const QChar close = open == u'[' ? QChar(u']') : open;
        if (open != u'\'' && !closes(open)) {
            return false;
        }
        ++i;
        while (i < n) {
            const QChar d = s.at(i);
            if (escapes && d == u'\\') {
                i += 2;
                continue;
            }
            ++i;
            if (d == close) {
                if (i < n && s.at(i) == close) {
                    ++i;
                    continue;
                }
                return true;
            }
        }
        return true;
    }

    void skipGroup()
    {
        int depth = 0;
        while (i < n) {
            const QChar c = s.at(i);
            if (c == u'-' && next(1) == u'-') {
                while (i < n && s.at(i) != u'\n')
                    ++i;
            } else if (c == u'/' && next(1) == u'*') {
                const qsizetype end = s.indexOf(QStringLiteral("*/"), i + 2);
                i = end < 0 ? n : end + 2;
            } else if (skipLiteralOrName()) {
            } else if (isWordChar(c)) {
                while (i < n && isWordChar(s.at(i)) && !opensDollarQuote())
                    ++i;
            } else {
                ++i;
                if (c == u'(')
                    ++depth;
                else if (c == u')' && --depth == 0)
                    return;
            }
        }
    }
};

bool isWord(const QString &sql, const Token &t, QLatin1String word)
{
    return t.kind == Token::Word && QStringView(sql).mid(t.begin, t.end - t.begin).compare(word, Qt::CaseInsensitive) == 0;
}

bool isPunct(const QString &sql, const Token &t, QChar c)
{
    return t.kind == Token::Punct && sql.at(t.begin) == c;
}

bool isAnyWord(const QString &sql, const Token &t, std::initializer_list<const char *> words)
{
    for (const char *w : words) {
        if (isWord(sql, t, QLatin1String(w)))
            return true;
    }
    return false;
}

// Index of the first token of the keyword's words at the top level, or -1.
qsizetype findKeyword(const QString &sql, const std::vector<Token> &tokens, const QStringList &words, qsizetype from = 0)
{
    for (qsizetype k = from; k + words.size() <= qsizetype(tokens.size()); ++k) {
        bool all = true;
        for (qsizetype w = 0; w < words.size() && all; ++w)
            all = isWord(sql, tokens[std::size_t(k + w)], QLatin1String(words.at(w).toLatin1()));
        if (all)
            return k;
    }
    return -1;
}

// A column as a select list or FROM clause names it: name or quoted name, dotted parts allowed.
qsizetype skipDottedName(const QString &sql, const std::vector<Token> &t, qsizetype k)
{
    const qsizetype n = qsizetype(t.size());
    auto part = [&](qsizetype at) {
        return at < n && (t[std::size_t(at)].kind == Token::Name
                          || (t[std::size_t(at)].kind == Token::Word && !sql.at(t[std::size_t(at)].begin).isDigit()));
    };
    if (!part(k))
        return -1;
    ++k;
    while (k + 1 < n && isPunct(sql, t[std::size_t(k)], u'.') && part(k + 1))
        k += 2;
    return k;
}

// True when a filter on the result's rows says the same in the statement's own WHERE: one table
// (or derived table) read by SELECT * or by a list of its plain columns, with nothing after the
// WHERE but an ORDER BY. Grouping, DISTINCT, windows, joins, set operations and row limits all
// change which rows a condition there would see.
bool spliceable(const QString &sql, const std::vector<Token> &t)
{
    const qsizetype n = qsizetype(t.size());
    if (n < 4 || !isWord(sql, t[0], QLatin1String("SELECT")))
        return false;
    qsizetype k = 1;
    if (isPunct(sql, t[1], u'*')) {
        k = 2;
    } else {
        for (;;) {
            const qsizetype end = skipDottedName(sql, t, k);
            if (end < 0
                || isAnyWord(sql, t[std::size_t(k)],
                             {"DISTINCT", "ALL", "FROM", "NULL", "TRUE", "FALSE", "CURRENT_DATE", "CURRENT_TIME",
                              "CURRENT_TIMESTAMP", "LOCALTIME", "LOCALTIMESTAMP", "CURRENT_USER", "SESSION_USER",
                              "USER", "CURRENT_ROLE", "CURRENT_SCHEMA", "CURRENT_CATALOG"}))
                return false;
            k = end;
            if (k < n && isPunct(sql, t[std::size_t(k)], u','))
                ++k;
            else
                break;
        }
    }
    if (k >= n || !isWord(sql, t[std::size_t(k)], QLatin1String("FROM")))
        return false;
    ++k;
    if (k < n && t[std::size_t(k)].kind == Token::Group) {
        ++k;
    } else {
        k = skipDottedName(sql, t, k);
        if (k < 0)
            return false;
        if (k < n && t[std::size_t(k)].kind == Token::Group) // a function's rows
            ++k;
    }
    static const std::initializer_list<const char *> clauses = {
        "WHERE", "ORDER", "GROUP", "HAVING", "WINDOW", "LIMIT", "OFFSET", "FETCH", "UNION", "INTERSECT", "EXCEPT",
        "FOR", "JOIN", "NATURAL", "CROSS", "LEFT", "RIGHT", "INNER", "FULL", "OUTER", "ON", "USING", "LATERAL",
        "TABLESAMPLE", "QUALIFY", "INTO", "RETURNING"};
    // An alias, with or without AS.
    if (k < n && isWord(sql, t[std::size_t(k)], QLatin1String("AS")))
        ++k;
    if (k < n && (t[std::size_t(k)].kind == Token::Name
                  || (t[std::size_t(k)].kind == Token::Word && !isAnyWord(sql, t[std::size_t(k)], clauses))))
        ++k;
    bool inOrder = false;
    for (; k < n; ++k) {
        const Token &tok = t[std::size_t(k)];
        if (isWord(sql, tok, QLatin1String("ORDER"))) {
            inOrder = true;
            continue;
        }
        if (isWord(sql, tok, QLatin1String("WHERE")) && !inOrder)
            continue;
        if (tok.kind == Token::Word && isAnyWord(sql, tok, clauses))
            return false;
        if (isPunct(sql, tok, u';') || (!inOrder && isPunct(sql, tok, u',')))
            return false;
    }
    return true;
}

// True when the condition text holds an OR outside parentheses, which AND would bind into.
bool hasTopLevelOr(const QString &condition)
{
    const std::vector<Token> t = Scanner(condition).tokens();
    return std::any_of(t.begin(), t.end(), [&](const Token &tok) { return isWord(condition, tok, QLatin1String("OR")); });
}

} // namespace

qsizetype findClause(const QString &sql, const QString &keyword)
{
    const QStringList words = keyword.split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return -1;
    const std::vector<Token> tokens = Scanner(sql).tokens();
    const qsizetype k = findKeyword(sql, tokens, words);
    return k < 0 ? -1 : tokens[std::size_t(k)].begin;
}

QString withoutClosingSemicolons(const QString &sql)
{
    const std::vector<Token> tokens = Scanner(sql).tokens();
    std::size_t n = tokens.size();
    while (n > 0 && isPunct(sql, tokens[n - 1], u';'))
        --n;
    if (n == tokens.size())
        return sql;
    QString s = sql.left(n == 0 ? 0 : tokens[n - 1].end);
    chopTrailing(s, QStringLiteral(" \t\r\n"));
    return s;
}

QString getQuery(const QString &sql, const QString &filter, const QString &qbFilter)
{
    QString s = trimBlanks(sql);
    if (filter.isEmpty() && qbFilter.isEmpty())
        return s;
    const std::vector<Token> tokens = Scanner(s).tokens();
    if (!spliceable(s, tokens)) {
        // The filter reads the statement's result rows: the statement becomes a derived table,
        // with its own ORDER BY inside, where it is always valid. A closing semicolon cannot stay.
        s = withoutClosingSemicolons(s);
        chopTrailing(s, QStringLiteral(" \t\r\n"));
        QString out = QStringLiteral("SELECT * FROM (\r\n") + s + QStringLiteral("\r\n) q\r\nWHERE ");
        bool first = true;
        for (const QString &f : {filter, qbFilter}) {
            if (f.isEmpty())
                continue;
            out += (first ? QStringLiteral(" (") : QStringLiteral(" \r\nAND  (")) + f + u')';
            first = false;
        }
        return out;
    }

    qsizetype end = s.size();
    qsizetype head = s.size();
    const qsizetype w = findClause(s, QStringLiteral("WHERE"));
    const qsizetype o = findClause(s, QStringLiteral("ORDER BY"));
    QString wherePart, orderPart;
    if (o >= 0) {
        orderPart = s.mid(o);
        chopTrailing(orderPart, QStringLiteral("\n"));
        head = o;
        end = o;
    }
    if (w >= 0 && w < end) {
        wherePart = s.mid(w, end - w);
        chopTrailing(wherePart, QStringLiteral("\r\n"));
        head = w;
        // An OR of the statement's own would take only its last branch with the filter.
        const qsizetype body = findClause(wherePart, QStringLiteral("WHERE")) + 5;
        QString condition = wherePart.mid(body);
        chopTrailing(condition, QStringLiteral(" \r\n"));
        if (hasTopLevelOr(condition)) {
            // A line comment closing the condition would swallow a bracket on its line.
            const std::vector<Token> t = Scanner(condition).tokens();
            const bool lineComment = !t.empty() && condition.indexOf(QStringLiteral("--"), t.back().end) >= 0;
            wherePart = wherePart.left(body) + QStringLiteral(" (") + condition.trimmed()
                        + (lineComment ? QStringLiteral("\r\n) ") : QStringLiteral(") "));
        }
    }
    QString headPart = s.left(head);
    chopTrailing(headPart, QStringLiteral("\r\n"));

    for (const QString &f : {filter, qbFilter}) {
        if (f.isEmpty() || wherePart.contains(f))
            continue;
        wherePart = wherePart.isEmpty() ? QStringLiteral("WHERE ") : wherePart + QStringLiteral("\r\nAND ");
        wherePart += QStringLiteral(" (") + f + QStringLiteral(") ");
    }

    QString out = trimBlanks(headPart);
    if (!wherePart.isEmpty())
        out += QStringLiteral("\r\n") + trimBlanks(wherePart);
    if (!orderPart.isEmpty())
        out += QStringLiteral("\r\n") + orderPart;
    return out;
}

namespace {

const char *const kLimitWords[] = {"LIMIT", "OFFSET", "FETCH"};

} // namespace

bool hasSortOrder(const QList<QStringList> &sortCols)
{
    if (sortCols.isEmpty() || sortCols.front().isEmpty())
        return false;
    const QString &first = sortCols.front().front();
    return !first.isEmpty() && first != QLatin1String("-1");
}

QString changeOrderBy(const QString &sql, const QList<QStringList> &sortCols, const QString &delimiter)
{
    if (!hasSortOrder(sortCols))
        return sql;
    const QString s = withoutClosingSemicolons(sql);
    const qsizetype o = findClause(s, QStringLiteral("ORDER BY"));
    // A limit picks its rows by the statement's own order: both stay, and the new order sorts
    // the rows they give.
    const QString tail = o >= 0 ? s.mid(o) : s;
    const bool limited = std::any_of(std::begin(kLimitWords), std::end(kLimitWords),
                                     [&](const char *word) { return findClause(tail, QLatin1String(word)) >= 0; });
    const QString unordered = trimBlanks(o >= 0 ? s.left(o) : s);
    // The sort names the result's columns. Only a plain read of one table is sure to know them by
    // those names in its own ORDER BY: SQLite takes an unaliased expression's name for a text
    // (no order at all) and a joined column's for an ambiguous input column.
    QString out = limited ? QStringLiteral("SELECT * FROM (\r\n") + s + QStringLiteral("\r\n) q")
                  : spliceable(unordered, Scanner(unordered).tokens())
                      ? unordered
                      : QStringLiteral("SELECT * FROM (\r\n") + unordered + QStringLiteral("\r\n) q");
    out += out.endsWith(u'\n') ? QStringLiteral("ORDER BY ") : QStringLiteral("\r\nORDER BY ");
    QStringList items;
    for (const QStringList &pair : sortCols) {
        const QString name = pair.value(0);
        bool ok = false;
        const double flag = pair.value(1).trimmed().toDouble(&ok);
        items << db::quoteIdentifier(name, delimiter) + (ok && flag == 1.0 ? QStringLiteral(" DESC") : QString());
    }
    return out + items.join(u',');
}

QString getParameters(const QString &source, const std::vector<db::Parameter> &parameters, const db::Dialect &dialect)
{
    std::vector<const db::Parameter *> inCall;
    for (const db::Parameter &p : parameters) {
        if (p.Direction != db::adParamReturnValue)
            inCall.push_back(&p);
    }
    QString text = source;
    // A return-value marker sits in the first three characters: "{ ? = call ...".
    qsizetype from = std::min<qsizetype>(3, text.size());
    for (const db::Parameter *p : inCall) {
        const qsizetype mark = text.indexOf(u'?', from);
        if (mark < 0)
            break;
        const bool null = !p->Value.isValid() || p->Value.isNull();
        const QString value = null ? QString() : db::parameterLiteral(*p, dialect);
        text.replace(mark, 1, value);
        from = mark + value.size();
    }
    return text;
}

bool allowedDataType(int adoType)
{
    return adoType != db::adLongVarWChar && adoType != db::adVarBinary && adoType != db::adLongVarBinary;
}

void sortArray(QList<QStringList> &rows)
{
    std::stable_sort(rows.begin(), rows.end(), [](const QStringList &a, const QStringList &b) {
        return a.value(0).toLower() < b.value(0).toLower();
    });
}

} // namespace analysis::querytext
