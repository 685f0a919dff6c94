// The filter the conditions make: the text of an SQL WHERE clause for the connected database,
// or structured conditions for the rows the program filters itself (routines, XML documents).
//
// Nothing typed is ever pasted into the text: numbers are read and written back whole, text is
// quoted with its apostrophes doubled, dates are written as ISO literals, True and False as the
// database spells them, names between delimiters; words, brackets and AND / OR come only from
// the grid's fixed lists. A condition that cannot be written so is refused with a message.
#include "FilterGrid.h"
#include "Trap.h"

#include <hlQueryBuilder/clsQueryCol.h>

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Recordset.h"
#include "db/RecordsetFilter.h"
#include "db/Soundex.h"
#include "db/Types.h"
#include "db/ValueRules.h"
#include "grid/Grid.h"
#include "grid/GridFormat.h"
#include "ui/Prompter.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>

using namespace querybuilder;

namespace {

const QString kChoose = QStringLiteral("<Choose>");
const QString kEqual = QStringLiteral("equal to");
const QString kGreater = QStringLiteral("greater than");
const QString kLess = QStringLiteral("less than");
const QString kContaining = QStringLiteral("Containing");
const QString kBeginning = QStringLiteral("Begining with");
const QString kSounding = QStringLiteral("Sounding like");

// A refusal the user can mend: shown, never reported as a failure of the program.
class Refused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void rejectCondition(const QString &why)
{
    throw Refused(why.toStdString());
}

// The brackets of a cell: "" or one of the list's runs (a blank entry is none).
QString brackets(const QString &cell, const QString &list, int row, const char *which)
{
    if (cell.trimmed().isEmpty())
        return {};
    if (!inList(list, cell))
        rejectCondition(QStringLiteral("Row %1 holds %2 brackets this grid does not offer.").arg(row).arg(QLatin1String(which)));
    return cell;
}

// A number typed with the point or the locale's own decimal mark, in the form the data layer
// reads ("-1234.5"); empty when it is not one.
QString canonicalNumber(const QString &typed)
{
    QString t = typed.trimmed();
    if (!NumberValidator::isNumber(t))
        return {};
    const QString mark = QLocale().decimalPoint();
    if (mark != QLatin1String("."))
        t.replace(mark, QStringLiteral("."));
    return t;
}

// A date, time or timestamp typed in the builder's date format or as ISO text.
QVariant temporalValue(const QString &typed, int type, const QString &dateFormat)
{
    const QString t = typed.trimmed();
    if (type == db::adDBTime) {
        for (const char *f : {"HH:mm:ss", "HH:mm", "HH:mm:ss.zzz"}) {
            const QTime time = QTime::fromString(t, QLatin1String(f));
            if (time.isValid())
                return time;
        }
        return {};
    }
    const QString pattern = grid::format::qtDateFormat(dateFormat);
    // A day or month typed with one digit ("1/1/2019") is the same date.
    static const QRegularExpression twoDigits(QStringLiteral("(?<![dM])(d|M)\\1(?![dM])"));
    const QString lenient = QString(pattern).replace(twoDigits, QStringLiteral("\\1"));
    for (const QString &f : {pattern, QStringLiteral("yyyy-MM-dd"), lenient, QStringLiteral("yyyy-M-d")}) {
        const QDate date = QDate::fromString(t, f);
        if (date.isValid())
            return type == db::adDBDate ? QVariant(date) : QVariant(QDateTime(date, QTime(0, 0)));
    }
    if (type == db::adDBDate)
        return {};
    for (const QString &f : {pattern + QStringLiteral(" HH:mm:ss"), pattern + QStringLiteral(" HH:mm"),
                             lenient + QStringLiteral(" HH:mm:ss"), lenient + QStringLiteral(" HH:mm"),
                             QStringLiteral("yyyy-MM-dd HH:mm:ss"), QStringLiteral("yyyy-MM-ddTHH:mm:ss"),
                             QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"), QStringLiteral("yyyy-MM-dd HH:mm")}) {
        const QDateTime stamp = QDateTime::fromString(t, f);
        if (stamp.isValid())
            return stamp;
    }
    return {};
}

// The field a value's literal is written for: a fraction compared with whole numbers is a
// decimal, which the database compares with them as numbers.
db::FieldInfo literalField(const db::FieldInfo &field, const QVariant &value)
{
    if (db::storageOf(field.Type) != db::Storage::Int64 || !db::isNumericType(field.Type) || value.metaType().id() != QMetaType::QString)
        return field;
    const QByteArray text = value.toString().toLatin1();
    if (!db::isPlainDecimal(std::string_view(text.constData(), std::size_t(text.size())))
        || db::parseInteger(std::string_view(text.constData(), std::size_t(text.size())), db::adBigInt))
        return field;
    db::FieldInfo decimal = field;
    decimal.Type = db::adNumeric;
    return decimal;
}

} // namespace

// One counted condition row, read and checked.
struct QueryBuilder::FilterPiece {
    int row = 0;
    QString open;
    QString close;
    int ordinal = -1;
    bool negated = false;
    QString comparison;
    QString value;          // as typed
    int valueOrdinal = -1;  // the other field, when the value is one
    QString op;             // "AND", "OR" or "" (the last condition's is dropped)
};

bool QueryBuilder::readConditions(std::vector<FilterPiece> &pieces)
{
    const grid::Grid &g = *m_grdFilter;
    const bool shown = bracketsShown();
    for (int r = g.FixedRows(); r < g.Rows(); ++r) {
        // A row without a field says nothing, whatever else it holds.
        if (g.TextMatrix(r, colOrdinal).trimmed().isEmpty())
            continue;
        const int shownRow = r - g.FixedRows() + 1;
        const int ordinal = ordinalOf(r);
        if (ordinal < 0)
            rejectCondition(QStringLiteral("Row %1: \"%2\" is not a field of this query.").arg(shownRow).arg(g.TextMatrix(r, colField)));
        FilterPiece p;
        p.row = shownRow;
        p.ordinal = ordinal;
        if (shown) {
            p.open = brackets(g.TextMatrix(r, colOpen), kOpeningList, shownRow, "opening");
            p.close = brackets(g.TextMatrix(r, colClose), kClosingList, shownRow, "closing");
        }
        const QString is = g.TextMatrix(r, colIs);
        if (!inList(kIsList, is))
            rejectCondition(QStringLiteral("Row %1: choose \"is\" or \"is not\".").arg(shownRow));
        p.negated = is != kIs;
        p.comparison = g.TextMatrix(r, colComparison);
        if (!inList(kComparisonList, p.comparison))
            rejectCondition(QStringLiteral("Row %1: choose a comparison from the list.").arg(shownRow));
        p.op = g.TextMatrix(r, colOperator).trimmed();
        if (!p.op.isEmpty() && !inList(kOperatorList, p.op))
            rejectCondition(QStringLiteral("Row %1: choose AND or OR.").arg(shownRow));
        const QString field = m_rsData->Field(ordinal).Name;
        if (p.comparison != kNull) {
            p.value = g.TextMatrix(r, colValue);
            if (p.value.trimmed().isEmpty() || p.value == kChoose)
                rejectCondition(QStringLiteral("Row %1: enter a value for \"%2\" %3.").arg(shownRow).arg(field, p.comparison));
            const QString isField = g.TextMatrix(r, colIsField);
            if (!isField.trimmed().isEmpty() && !readBoolean(isField))
                rejectCondition(QStringLiteral("Row %1: the value is neither a value nor a field.").arg(shownRow));
            if (readBoolean(isField).value_or(false)) {
                p.valueOrdinal = listedOrdinalByName(p.value);
                if (p.valueOrdinal < 0)
                    rejectCondition(QStringLiteral("Row %1: \"%2\" is not a field of this query.").arg(shownRow).arg(p.value));
            }
        }
        pieces.push_back(p);
    }
    // A last AND / OR joins nothing.
    if (!pieces.empty())
        pieces.back().op.clear();
    int depth = 0;
    int opened = 0;
    int closed = 0;
    for (const FilterPiece &p : pieces) {
        depth += int(p.open.size());
        opened += int(p.open.size());
        depth -= int(p.close.size());
        closed += int(p.close.size());
        if (depth < 0)
            rejectCondition(QStringLiteral("Row %1 closes a bracket that was never opened.").arg(p.row));
    }
    if (depth != 0)
        rejectCondition(QStringLiteral("The brackets do not match: %1 opened and %2 closed.").arg(opened).arg(closed));
    return true;
}

QVariant QueryBuilder::Get_Filter()
{
    if (m_blnUseSP) {
        const std::optional<db::RecordsetFilter> conditions = Get_FilterConditions();
        return conditions ? QVariant(conditions->toString()) : QVariant();
    }
    QVariant result;
    trap("Get_Filter", [&] {
        try {
            std::vector<FilterPiece> pieces;
            readConditions(pieces);
            // The words are the ones the database behind the connection reads, ODBC's included.
            const auto client = m_adoConnection ? m_adoConnection->dialect() : db::Dialect::byDefault();
            const db::Dialect &sql = client->database();
            // An empty delimiter is the connection's own.
            const QString delimiter = !m_strBracket.isEmpty() ? m_strBracket
                                      : m_adoConnection       ? QString(m_adoConnection->DefaultDelimiter())
                                                              : QStringLiteral("\"");
            auto name = [&](int ordinal) { return db::quoteIdentifier(m_rsData->Field(ordinal).Name, delimiter); };
            auto columnText = [&](int ordinal, const FilterPiece &p) {
                const QString text = sql.columnText(name(ordinal), m_rsData->Field(ordinal));
                if (text.isEmpty())
                    rejectCondition(QStringLiteral("Row %1: \"%2\" holds True or False or binary data, which cannot be %3 a text.")
                               .arg(p.row)
                               .arg(m_rsData->Field(ordinal).Name, p.comparison == kSounding ? QStringLiteral("sounding like")
                                                                                             : QStringLiteral("compared with")));
                return text;
            };
            // The code the database gives the rows is the one its own function computes: only a
            // native SQLite connection runs ours. Elsewhere the value is coded by the same function.
            auto soundexCode = [&](const QString &value) -> QString {
                if (client->soundexCode() == db::Dialect::SoundexCode::Ours)
                    return QLatin1Char('\'') + db::soundex(value) + QLatin1Char('\'');
                if (client->soundexCode() == db::Dialect::SoundexCode::InStatement)
                    return sql.soundex(db::quoteText(value));
                try {
                    auto code = m_adoConnection->Execute(QStringLiteral("SELECT soundex(%1)").arg(db::quoteText(value)));
                    return db::quoteText(code->Value(0).toString());
                } catch (const db::DbError &e) {
                    rejectCondition(QStringLiteral("\"Sounding like\" needs a SOUNDEX function, which this database does not "
                                                   "offer:\n%1").arg(e.message()));
                }
            };
            bool soundexChecked = false;
            QString text;
            for (const FilterPiece &p : pieces) {
                const db::FieldInfo &field = m_rsData->Field(p.ordinal);
                const QString F = name(p.ordinal);
                const int valueClass = Get_DataType(field.Type);
                QString c;
                if (p.comparison == kSounding && !soundexChecked) {
                    if (const auto check = sql.soundexCheck()) {
                        auto found = m_adoConnection->Execute(check->query);
                        if (found->Value(0).toInt() != 1)
                            rejectCondition(check->missing);
                    }
                    soundexChecked = true;
                }
                if (p.comparison == kNull) {
                    c = QLatin1Char(' ') + F + QStringLiteral(" IS NULL");
                } else if (p.valueOrdinal >= 0) {
                    // Two fields compared.
                    const QString G = name(p.valueOrdinal);
                    if (p.comparison == kEqual)
                        c = QStringLiteral(" %1 = %2").arg(F, G);
                    else if (p.comparison == kGreater)
                        c = QStringLiteral(" %1 > %2").arg(F, G);
                    else if (p.comparison == kLess)
                        c = QStringLiteral(" %1 < %2").arg(F, G);
                    else if (p.comparison == kContaining)
                        c = columnText(p.ordinal, p) + QStringLiteral(" LIKE ")
                            + sql.concat(sql.concat(QStringLiteral("'%'"), columnText(p.valueOrdinal, p)), QStringLiteral("'%'"));
                    else if (p.comparison == kBeginning) {
                        const QString other = columnText(p.valueOrdinal, p);
                        c = QLatin1Char(' ') + sql.left(columnText(p.ordinal, p), sql.length(other)) + QStringLiteral(" = ") + other;
                    } else
                        c = QLatin1Char(' ') + sql.soundex(columnText(p.ordinal, p)) + QStringLiteral(" = ")
                            + sql.soundex(columnText(p.valueOrdinal, p));
                } else if (p.comparison == kContaining) {
                    c = columnText(p.ordinal, p) + QStringLiteral(" LIKE ") + db::quoteText(QLatin1Char('%') + p.value + QLatin1Char('%'));
                } else if (p.comparison == kBeginning) {
                    const qsizetype n = p.value.toUcs4().size();
                    c = QLatin1Char(' ') + sql.left(columnText(p.ordinal, p), QString::number(n)) + QStringLiteral(" = ")
                        + db::quoteText(p.value);
                } else if (p.comparison == kSounding) {
                    c = QLatin1Char(' ') + sql.soundex(columnText(p.ordinal, p)) + QStringLiteral(" = ") + soundexCode(p.value);
                } else {
                    // equal to, greater than, less than: a literal of the field's own type.
                    QVariant value;
                    if (valueClass == dtNumeric) {
                        const QString number = canonicalNumber(p.value);
                        if (number.isEmpty())
                            rejectCondition(QStringLiteral("Row %1: \"%2\" is not a number.").arg(p.row).arg(p.value));
                        value = number;
                    } else if (valueClass == dtBoolean) {
                        const QString t = p.value.trimmed();
                        const bool on = t.compare(kTrue, Qt::CaseInsensitive) == 0;
                        if (!on && t.compare(kFalse, Qt::CaseInsensitive) != 0)
                            rejectCondition(QStringLiteral("Row %1: choose True or False for \"%2\".").arg(p.row).arg(field.Name));
                        value = on;
                    } else if (db::isDateType(field.Type)) {
                        value = temporalValue(p.value, field.Type, m_strDateFormat);
                        if (!value.isValid())
                            rejectCondition(QStringLiteral("Row %1: \"%2\" is not a date.").arg(p.row).arg(p.value));
                    } else {
                        value = p.value;
                    }
                    QString literal;
                    try {
                        literal = sql.literal(value, literalField(field, value));
                    } catch (const db::DbError &e) {
                        rejectCondition(QStringLiteral("Row %1: %2").arg(p.row).arg(e.message()));
                    }
                    const QString op = p.comparison == kEqual ? QStringLiteral("=") : p.comparison == kGreater ? QStringLiteral(">")
                                                                                                                : QStringLiteral("<");
                    c = QLatin1Char(' ') + sql.comparison(F, field, op, literal);
                }
                if (p.negated)
                    c = QStringLiteral("NOT (") + c + QLatin1Char(')');
                text += p.open + c + p.close + QLatin1Char(' ') + p.op + QLatin1Char(' ');
            }
            result = text.trimmed();
        } catch (const Refused &why) {
            ui::Prompter::msgBox(QString::fromUtf8(why.what()), ui::MsgButtons::OK, ui::MsgIcon::Exclamation,
                                 QStringLiteral("Query Builder"), this);
            result = QVariant();
        }
    });
    return result;
}

namespace {

// The conditions in order with their brackets and joins, read back as a tree.
struct Token {
    enum Kind { Open, Close, Condition, And, Or } kind;
    db::RecordsetFilter::Node node;
};

db::RecordsetFilter::Node sequence(const std::vector<Token> &tokens, std::size_t &i);

db::RecordsetFilter::Node term(const std::vector<Token> &tokens, std::size_t &i)
{
    if (tokens[i].kind == Token::Open) {
        ++i;
        db::RecordsetFilter::Node group = sequence(tokens, i);
        ++i; // its Close: the brackets were checked to match
        return group;
    }
    return tokens[i++].node;
}

db::RecordsetFilter::Node sequence(const std::vector<Token> &tokens, std::size_t &i)
{
    db::RecordsetFilter::Node group;
    group.isGroup = true;
    group.children.push_back(term(tokens, i));
    while (i < tokens.size() && (tokens[i].kind == Token::And || tokens[i].kind == Token::Or)) {
        group.joinedByOr.push_back(tokens[i].kind == Token::Or);
        ++i;
        group.children.push_back(term(tokens, i));
    }
    return group;
}

} // namespace

std::optional<db::RecordsetFilter> QueryBuilder::Get_FilterConditions()
{
    std::optional<db::RecordsetFilter> result;
    trap("Get_Filter", [&] {
        try {
            std::vector<FilterPiece> pieces;
            readConditions(pieces);
            // Values are checked by the rules the database's own text would follow.
            const auto client = m_adoConnection ? m_adoConnection->dialect() : db::Dialect::byDefault();
            std::vector<Token> tokens;
            for (const FilterPiece &p : pieces) {
                const db::FieldInfo &field = m_rsData->Field(p.ordinal);
                for (qsizetype k = 0; k < p.open.size(); ++k)
                    tokens.push_back({Token::Open, {}});
                db::RecordsetFilter::Condition c;
                c.field = field.Name;
                const bool n = p.negated;
                if (p.comparison == kNull) {
                    c.op = n ? QStringLiteral("IS NOT NULL") : QStringLiteral("IS NULL");
                } else if (p.valueOrdinal >= 0) {
                    rejectCondition(QStringLiteral("Row %1: the rows of a stored routine or an XML document are compared with values, "
                                          "not with other fields.").arg(p.row));
                } else {
                    const int valueClass = Get_DataType(field.Type);
                    const bool textual = p.comparison == kContaining || p.comparison == kBeginning || p.comparison == kSounding;
                    if (textual && (valueClass == dtBoolean || db::storageOf(field.Type) == db::Storage::Blob))
                        rejectCondition(QStringLiteral("Row %1: \"%2\" holds True or False or binary data, which cannot be compared with a text.")
                                   .arg(p.row).arg(field.Name));
                    if (p.comparison == kContaining) {
                        c.op = n ? QStringLiteral("NOT LIKE") : QStringLiteral("LIKE");
                        c.value = QLatin1Char('%') + p.value + QLatin1Char('%');
                        c.sqlPattern = true;
                    } else if (p.comparison == kBeginning) {
                        c.op = n ? QStringLiteral("NOT BEGINS WITH") : QStringLiteral("BEGINS WITH");
                        c.value = p.value;
                    } else if (p.comparison == kSounding) {
                        c.op = n ? QStringLiteral("NOT SOUNDS LIKE") : QStringLiteral("SOUNDS LIKE");
                        c.value = db::soundex(p.value);
                    } else {
                        // "is not" keeps SQL's meaning: a Null passes neither way.
                        if (p.comparison == kEqual)
                            c.op = n ? QStringLiteral("<>") : QStringLiteral("=");
                        else if (p.comparison == kGreater)
                            c.op = n ? QStringLiteral("<=") : QStringLiteral(">");
                        else
                            c.op = n ? QStringLiteral(">=") : QStringLiteral("<");
                        if (valueClass == dtNumeric) {
                            c.value = canonicalNumber(p.value);
                            if (c.value.toString().isEmpty())
                                rejectCondition(QStringLiteral("Row %1: \"%2\" is not a number.").arg(p.row).arg(p.value));
                        } else if (valueClass == dtBoolean) {
                            const QString t = p.value.trimmed();
                            const bool on = t.compare(kTrue, Qt::CaseInsensitive) == 0;
                            if (!on && t.compare(kFalse, Qt::CaseInsensitive) != 0)
                                rejectCondition(QStringLiteral("Row %1: choose True or False for \"%2\".").arg(p.row).arg(field.Name));
                            c.value = on;
                        } else if (db::isDateType(field.Type)) {
                            c.value = temporalValue(p.value, field.Type, m_strDateFormat);
                            if (!c.value.isValid())
                                rejectCondition(QStringLiteral("Row %1: \"%2\" is not a date.").arg(p.row).arg(p.value));
                        } else {
                            c.value = p.value;
                        }
                        try {
                            client->database().literal(c.value, literalField(field, c.value));
                        } catch (const db::DbError &e) {
                            rejectCondition(QStringLiteral("Row %1: %2").arg(p.row).arg(e.message()));
                        }
                    }
                }
                Token condition{Token::Condition, {}};
                condition.node.condition = c;
                tokens.push_back(condition);
                for (qsizetype k = 0; k < p.close.size(); ++k)
                    tokens.push_back({Token::Close, {}});
                if (!p.op.isEmpty())
                    tokens.push_back({p.op == QLatin1String("OR") ? Token::Or : Token::And, {}});
            }
            db::RecordsetFilter::Node root;
            root.isGroup = true;
            std::size_t i = 0;
            if (!tokens.empty())
                root = sequence(tokens, i);
            result = db::RecordsetFilter(root);
        } catch (const Refused &why) {
            ui::Prompter::msgBox(QString::fromUtf8(why.what()), ui::MsgButtons::OK, ui::MsgIcon::Exclamation,
                                 QStringLiteral("Query Builder"), this);
        }
    });
    return result;
}
