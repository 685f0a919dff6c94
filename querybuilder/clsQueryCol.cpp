#include <hlQueryBuilder/clsQueryCol.h>

clsQueryCol::clsQueryCol(QObject *parent)
    : QObject(parent)
{
}

clsQueryCol::~clsQueryCol() = default;

void clsQueryCol::setLookUp(const QString &list)
{
    m_strLookUp = list;
    m_values = list.startsWith(QLatin1Char('|')) ? list.mid(1).split(QLatin1Char('|')) : QStringList();
}

void clsQueryCol::setLookUpValues(const QStringList &values)
{
    m_values = values;
    m_strLookUp = values.isEmpty() ? QString() : QLatin1Char('|') + values.join(QLatin1Char('|'));
}
