#pragma once

#include "db/DbError.h"
#include "db/Field.h"
#include "db/RowStore.h"

#include <gtest/gtest.h>

#include <QString>

#include <functional>
#include <ostream>
#include <vector>

// Failure messages show a QString as its text (GoogleTest finds this by argument-dependent lookup).
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace dbtest {

// A field description as a recordset reports it, for building row stores by hand.
inline db::FieldInfo field(const QString &name, int type, int precision = 0, int scale = 0)
{
    db::FieldInfo f;
    f.Name = name;
    f.Type = type;
    f.Precision = precision;
    f.NumericScale = scale;
    return f;
}

// The column of that name (a test failure and column 0 when there is none).
inline int col(const db::RowStore &s, const char *name)
{
    for (int i = 0; i < s.columnCount(); ++i)
        if (s.fields()[std::size_t(i)].Name == QLatin1String(name))
            return i;
    ADD_FAILURE() << "no column " << name;
    return 0;
}

// The field of that name (a test failure and an empty field when there is none).
inline const db::FieldInfo &field(const std::vector<db::FieldInfo> &fields, const char *name)
{
    for (const db::FieldInfo &f : fields)
        if (f.Name == QLatin1String(name))
            return f;
    static const db::FieldInfo none;
    ADD_FAILURE() << "no column " << name;
    return none;
}
inline const db::FieldInfo &field(const db::RowStore &s, const char *name)
{
    return field(s.fields(), name);
}

// The error f throws; a test failure (and an empty error) when it throws none.
inline db::DbError errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const db::DbError &e) {
        return e;
    }
    ADD_FAILURE() << "no DbError was thrown";
    return db::DbError(QString());
}

} // namespace dbtest
