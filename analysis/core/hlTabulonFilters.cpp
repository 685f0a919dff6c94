// Result filters from the column menu: one condition per command, joined into the column-menu
// filter that the results pipeline applies, with a history on the "RemoveFilter" drop-down.
#include "core/hlTabulon.h"

#include "core/ControlSupport.h"
#include "core/LibraryState.h"

#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/Types.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"
#include "ui/Prompter.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>

namespace {

// A number as the user may type or the grid may show it, written back in canonical form; empty
// when it is not one.
QString canonicalNumber(const QString &text, int adoType)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)([eE][+-]?\\d+)?$"));
    QString t = text.trimmed();
    if (adoType == db::adBoolean) {
        if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0 || t == QLatin1String("-1"))
            return QStringLiteral("1");
        if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("0");
    }
    if (!number.match(t).hasMatch())
        return {};
    if (t.startsWith(u'+'))
        t.remove(0, 1);
    if (!t.contains(u'.') && !t.contains(u'e', Qt::CaseInsensitive)) {
        bool ok = false;
        const qlonglong n = t.toLongLong(&ok);
        if (ok)
            return QString::number(n);
    }
    if (t.contains(u'e', Qt::CaseInsensitive))
        return QString::number(t.toDouble(), 'g', 17);
    return t;
}

std::optional<QDateTime> dateOf(const QString &text)
{
    const QString t = text.trimmed();
    for (const char *format : {"yyyy-MM-dd", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm:ss", "dd/MM/yyyy",
                               "dd/MM/yyyy HH:mm:ss"}) {
        const QDateTime d = QDateTime::fromString(t, QLatin1String(format));
        if (d.isValid())
            return d;
    }
    return std::nullopt;
}

QString isoLiteral(const QVariant &v, int adoType)
{
    if (adoType == db::adDBDate || v.typeId() == QMetaType::QDate)
        return db::quoteText(v.toDate().toString(Qt::ISODate));
    if (adoType == db::adDBTime || v.typeId() == QMetaType::QTime)
        return db::quoteText(v.toTime().toString(QStringLiteral("HH:mm:ss")));
    return db::quoteText(v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

} // namespace

bool hlTabulon::Set_Filter(bool blnEqual, QString &strValue)
{
    QString fallback;
    try {
        if (!m_rsResults || m_rsResults->State() != db::adStateOpen)
            throw db::DbError(QStringLiteral("There are no results to filter"));
        fallback = m_rsResults->Filter();
        if (fallback == QLatin1String("0"))
            fallback.clear();

        const int col = grdResults->Col();
        const int row = grdResults->Row();
        const QString header = grdResults->TextMatrix(0, col);
        int field = m_rsResults->FieldIndex(header);
        if (field < 0)
            field = col;
        const int type = m_rsResults->Field(field).Type;

        QString value = strValue;
        value.replace(u'*', u'%');
        const bool like = value.contains(u'%');
        if (like && value.startsWith(u'%') && !value.endsWith(u'%'))
            value += u'%';
        if (type == db::adBoolean && value == QLatin1String("-1"))
            value = QStringLiteral("1");

        bool isNull = false;
        if (!like && value.isEmpty()) {
            if (db::isDateType(type)) {
                isNull = true;
            } else if (row >= 1) {
                m_blnFetching = true;
                isNull = m_rsResults->ensureRow(std::size_t(row - 1)) && m_rsResults->isNull(std::size_t(row - 1), field);
                m_blnFetching = false;
            }
        }

        QString literal;
        if (isNull) {
            literal = QStringLiteral("NULL");
        } else if (like || value.isEmpty()) {
            literal = db::quoteText(value);
        } else if (db::isNumericType(type) || type == db::adBoolean) {
            literal = canonicalNumber(value, type);
            if (literal.isEmpty()) {
                ui::Prompter::msgBox(QStringLiteral("'") + strValue + QStringLiteral("' is not a number."),
                                     ui::MsgButtons::OK, ui::MsgIcon::Exclamation, {}, this);
                return false;
            }
        } else if (db::isDateType(type)) {
            // The grid shows dates in the user's format; the data has the date itself.
            QVariant v;
            if (row >= 1 && m_rsResults->ensureRow(std::size_t(row - 1))
                && m_rsResults->displayText(std::size_t(row - 1), field) == strValue)
                v = m_rsResults->value(std::size_t(row - 1), field);
            if (!v.isValid()) {
                if (const auto d = dateOf(value))
                    v = *d;
            }
            if (!v.isValid()) {
                ui::Prompter::msgBox(QStringLiteral("'") + strValue + QStringLiteral("' is not a date."),
                                     ui::MsgButtons::OK, ui::MsgIcon::Exclamation, {}, this);
                return false;
            }
            literal = isoLiteral(v, type);
        } else {
            literal = db::quoteText(value);
        }

        QString op;
        if (like)
            op = blnEqual ? QStringLiteral(" LIKE ") : QStringLiteral(" NOT LIKE ");
        else if (isNull)
            op = blnEqual ? QStringLiteral(" IS ") : QStringLiteral(" IS NOT ");
        else
            op = blnEqual ? QStringLiteral(" = ") : QStringLiteral(" <> ");

        const QString condition = db::quoteIdentifier(header, m_strDelimiter) + u' ' + op + literal;
        m_strFilter = m_strFilter.isEmpty() || m_blnOpenSQL ? condition : m_strFilter + QStringLiteral(" AND ") + condition;
        strValue = value;

        tlbResults->Buttons(QStringLiteral("sepSort")).setVisible(true);
        ui::ToolBarButton &button = tlbResults->Buttons(QStringLiteral("RemoveFilter"));
        button.setVisible(true);
        button.setStyle(ui::tbrDropdown);
        if (button.ButtonMenus().Count() == 0)
            button.ButtonMenus().Add(m_strFilter);
        else
            button.ButtonMenus().Add(m_strFilter, QString(), 1);
        m_blnFetching = false;
        return true;
    } catch (...) {
        const QString text = analysis::currentErrorText();
        m_blnFetching = false;
        try {
            m_strFilter = fallback;
            if (m_rsResults && m_rsResults->State() == db::adStateOpen)
                m_rsResults->setFilter(fallback);
        } catch (...) {
        }
        return report(QStringLiteral("Set_Filter"), text);
    }
}

bool hlTabulon::Remove_Filter()
{
    bool ok = false;
    bool declined = false;
    try {
        ui::ToolBarButton &button = tlbResults->Buttons(QStringLiteral("RemoveFilter"));
        bool go = true;
        if (button.ButtonMenus().Count() >= 3) {
            go = ui::Prompter::msgBox(QStringLiteral("All Filter history will be lost. Continue?"), ui::MsgButtons::YesNo,
                                      ui::MsgIcon::Question, QStringLiteral("Clear Filter"), this)
                 == ui::MsgResult::Yes;
        }
        declined = !go;
        if (go) {
            if (m_rsResults && m_rsResults->State() == db::adStateOpen)
                m_rsResults->setFilter(QString());
            m_strFilter.clear();
            button.ButtonMenus().Clear();
            Refresh_Results(false, true, false);
            hideColumnMenu();
            ok = true;
        }
    } catch (...) {
        report(QStringLiteral("Remove_Filter"), analysis::currentErrorText());
    }
    if (declined)
        return false;
    tlbResults->Buttons(QStringLiteral("sepSort")).setVisible(false);
    tlbResults->Buttons(QStringLiteral("RemoveFilter")).setVisible(false);
    tlbResults->Buttons(QStringLiteral("sepSort"))
        .setVisible(tlbResults->Buttons(QStringLiteral("UnFreezeCols")).Visible()
                    || tlbResults->Buttons(QStringLiteral("RemoveFilter")).Visible());
    ui::MousePointer::setDefault();
    return ok;
}
