#include "core/QueryText.h"

#include "db/Connection.h"
#include "db/Types.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

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

// Length of the keyword's match at `at` (words separated by at least one blank or line break,
// a word boundary on both sides); 0 when it does not match there.
qsizetype matchKeyword(const QString &sql, qsizetype at, const QStringList &words)
{
    if (at > 0 && isWordChar(sql.at(at - 1)))
        return 0;
    qsizetype p = at;
    for (qsizetype w = 0; w < words.size(); ++w) {
        if (w > 0) {
            const qsizetype start = p;
            while (p < sql.size() && sql.at(p).isSpace())
                ++p;
            if (p == start)
                return 0;
        }
        const QString &word = words.at(w);
        if (sql.size() - p < word.size() || QStringView(sql).mid(p, word.size()).compare(word, Qt::CaseInsensitive) != 0)
            return 0;
        p += word.size();
    }
    if (p < sql.size() && isWordChar(sql.at(p)))
        return 0;
    return p - at;
}

QString parameterText(const db::Parameter &p)
{
    const QVariant &v = p.Value;
    if (!v.isValid() || v.isNull())
        return {};
    switch (v.typeId()) {
    case QMetaType::QDate: return db::quoteText(v.toDate().toString(Qt::ISODate));
    case QMetaType::QTime: return db::quoteText(v.toTime().toString(Qt::ISODate));
    case QMetaType::QDateTime:
        return db::quoteText(v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    case QMetaType::Bool: return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::Double:
    case QMetaType::Float: return v.toString();
    default: break;
    }
    const QString text = v.toString();
    if (db::isNumericType(p.Type)) {
        bool ok = false;
        text.trimmed().toDouble(&ok);
        if (ok)
            return text.trimmed();
    }
    return db::quoteText(text);
}

} // namespace

qsizetype findClause(const QString &sql, const QString &keyword)
{
    const QStringList words = keyword.split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return -1;
    int depth = 0;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    auto skipTo = [&](QChar close) {
        // A doubled closer inside a literal or quoted name is part of it.
        ++i;
        while (i < n) {
            if (sql.at(i) == close) {
                if (i + 1 < n && sql.at(i + 1) == close && close != u']') {
                    i += 2;
                    continue;
                }
                ++i;
                return;
            }
            ++i;
        }
    };
    while (i < n) {
        const QChar c = sql.at(i);
        if (c == u'\'' || c == u'"' || c == u'`') {
            skipTo(c);
        } else if (c == u'[') {
            skipTo(u']');
        } else if (c == u'-' && i + 1 < n && sql.at(i + 1) == u'-') {
            while (i < n && sql.at(i) != u'\n')
                ++i;
        } else if (c == u'/' && i + 1 < n && sql.at(i + 1) == u'*') {
            const qsizetype end = sql.indexOf(QStringLiteral("*/"), i + 2);
            i = end < 0 ? n : end + 2;
        } else if (c == u'(') {
            ++depth;
            ++i;
        } else if (c == u')') {
            depth = std::max(0, depth - 1);
            ++i;
        } else if (depth == 0 && isWordChar(c)) {
            if (matchKeyword(sql, i, words) > 0)
                return i;
            while (i < n && isWordChar(sql.at(i)))
                ++i;
        } else {
            ++i;
        }
    }
    return -1;
}

QString getQuery(const QString &sql, const QString &filter, const QString &qbFilter)
{
    const QString s = trimBlanks(sql);
    qsizetype end = s.size();
    qsizetype head = s.size();
    const qsizetype w = findClause(s, QStringLiteral("WHERE"));
    const qsizetype g = findClause(s, QStringLiteral("GROUP BY"));
    const qsizetype o = findClause(s, QStringLiteral("ORDER BY"));
    QString wherePart, groupPart, orderPart;
    if (o >= 0) {
        orderPart = s.mid(o);
        chopTrailing(orderPart, QStringLiteral("\n"));
        head = o;
        end = o;
    }
    if (g >= 0 && g < end) {
        groupPart = s.mid(g, end - g);
        head = g;
        end = g;
    }
    if (w >= 0 && w < end) {
        wherePart = s.mid(w, end - w);
        chopTrailing(wherePart, QStringLiteral("\r\n"));
        head = w;
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
    if (!groupPart.isEmpty())
        out += QStringLiteral("\r\n") + groupPart;
    if (!orderPart.isEmpty())
        out += QStringLiteral("\r\n") + orderPart;
    return out;
}

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
    const qsizetype o = findClause(sql, QStringLiteral("ORDER BY"));
    QString out = trimBlanks(o >= 0 ? sql.left(o) : sql);
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

QString getParameters(const QString &source, const std::vector<db::Parameter> &parameters)
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
        const QString value = parameterText(*p);
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

QString delimiterForProvider(const QString &provider)
{
    const QString p = provider.toUpper();
    return p.contains(QLatin1String("MYSQL")) || p.contains(QLatin1String("JET")) ? QStringLiteral("`")
                                                                                   : QStringLiteral("\"");
}

} // namespace analysis::querytext
