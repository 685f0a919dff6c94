// The clause scanner and the routine call's parameter markers: clauses are found only where their
// words stand, an ORDER BY written by us is found again and replaced rather than added, and each
// parameter fills exactly one marker.
#include "FuzzSupport.h"

#include "core/QueryText.h"

#include "db/Command.h"
#include "db/Types.h"

using namespace analysis::querytext;

namespace {

bool wordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

// A dollar-quoted string ends right before at ("$$" or "$tag$", opened earlier with the same tag):
// a word may follow it at once.
bool closesDollarQuote(const QString &sql, qsizetype at)
{
    if (at < 2 || sql.at(at - 1) != u'$')
        return false;
    qsizetype open = at - 2;
    while (open >= 0 && sql.at(open) != u'$') {
        if (!sql.at(open).isLetterOrNumber() && sql.at(open) != u'_')
            return false;
        --open;
    }
    return open >= 0 && sql.lastIndexOf(sql.mid(open, at - open), open - 1) >= 0;
}

void checkFound(const QString &sql, const QString &keyword)
{
    const qsizetype at = findClause(sql, keyword);
    if (at < 0)
        return;
    const QString first = keyword.section(u' ', 0, 0);
    FUZZ_CHECK(at < sql.size(), sql);
    FUZZ_CHECK(QStringView(sql).mid(at, first.size()).compare(first, Qt::CaseInsensitive) == 0, keyword + u':' + sql);
    FUZZ_CHECK(at == 0 || !wordChar(sql.at(at - 1)) || closesDollarQuote(sql, at), keyword + u':' + sql);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString sql = fuzz::utf8(data, size);
    for (const char *keyword : {"WHERE", "GROUP BY", "ORDER BY", "HAVING"})
        checkFound(sql, QString::fromLatin1(keyword));

    // Ordering twice by the same columns gives the same text as ordering once.
    const QList<QStringList> sort{{QStringLiteral("Col \"1\""), QStringLiteral("1")}, {QStringLiteral("b"), QStringLiteral("0")}};
    const QString ordered = changeOrderBy(sql, sort, QStringLiteral("\""));
    if (findClause(ordered, QStringLiteral("ORDER BY")) >= 0)
        FUZZ_CHECK(changeOrderBy(ordered, sort, QStringLiteral("\"")) == ordered, sql);
    FUZZ_CHECK(changeOrderBy(sql, {{QStringLiteral("-1")}}, QStringLiteral("\"")) == sql, sql);

    // Splicing a filter leaves the statement's own text before its clauses.
    const QString spliced = getQuery(sql, QStringLiteral("x = 1"), QString());
    FUZZ_CHECK(!spliced.isEmpty(), sql);

    // Null values fill markers with nothing: the text is the call with the first markers (after
    // the return value's place) taken out, one for each parameter.
    std::vector<db::Parameter> parameters(3);
    for (db::Parameter &p : parameters)
        p.Direction = db::adParamInput;
    parameters[1].Direction = db::adParamReturnValue;
    QString expected = sql;
    qsizetype from = std::min<qsizetype>(3, expected.size());
    for (int i = 0; i < 2; ++i) {
        const qsizetype mark = expected.indexOf(u'?', from);
        if (mark < 0)
            break;
        expected.remove(mark, 1);
        from = mark;
    }
    FUZZ_CHECK(getParameters(sql, parameters) == expected, sql);

    // Text values fill them quoted: exactly one marker less for each filled one.
    parameters[0].Value = QStringLiteral("it's ?");
    parameters[2].Value = QStringLiteral("two");
    const QString filled = getParameters(sql, parameters);
    const qsizetype markers = sql.mid(std::min<qsizetype>(3, sql.size())).count(u'?');
    const qsizetype used = std::min<qsizetype>(markers, 2);
    FUZZ_CHECK(filled.count(u'?') == sql.count(u'?') - used + (used >= 1 ? 1 : 0), sql + QLatin1String(" → ") + filled);
    return 0;
}
