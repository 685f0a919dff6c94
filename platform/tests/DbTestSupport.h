#pragma once

#include "db/DbError.h"
#include "db/Field.h"

#include <gtest/gtest.h>

#include <QString>

#include <functional>
#include <ostream>

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
