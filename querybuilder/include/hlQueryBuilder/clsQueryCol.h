#pragma once

#include <hlQueryBuilder/hlQueryBuilderExport.h>

#include <QObject>
#include <QString>
#include <QStringList>

// The look-up list of one field, offered in the Value cell of a condition on that field.
// LookUp is a combo list of the grid:
//   ""            no list: the value is typed
//   "..."         a button that opens the date picker (date and time fields)
//   "True|False"  a fixed list (Boolean fields)
//   "|a|b|..."    the field's values from the database; the leading "|" lets other values be typed
// The values themselves are kept as a list (LookUpValues), so that a value holding "|" stays
// whole; LookUp shows them joined. ColType is stored for the host; the query builder neither
// sets nor reads it.
class HLQUERYBUILDER_EXPORT clsQueryCol : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString LookUp READ LookUp WRITE setLookUp)
    Q_PROPERTY(int ColType READ ColType WRITE setColType)

public:
    Q_INVOKABLE explicit clsQueryCol(QObject *parent = nullptr);
    ~clsQueryCol() override;

    QString LookUp() const { return m_strLookUp; }
    // A list given as text: "|a|b" holds the values a and b.
    void setLookUp(const QString &list);
    // The database values of the list (none for "", "..." and "True|False").
    QStringList LookUpValues() const { return m_values; }
    // Values from the database; none makes the list empty (the value is typed).
    void setLookUpValues(const QStringList &values);
    int ColType() const { return m_lngColType; }
    void setColType(int type) { m_lngColType = type; }

    static QString datePickerList() { return QStringLiteral("..."); }
    static QString booleanList() { return QStringLiteral("True|False"); }

private:
    QString m_strLookUp;
    QStringList m_values;
    int m_lngColType = 0;
};
