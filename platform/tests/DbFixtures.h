#pragma once

#include <QString>

#include <memory>

// Fresh databases holding the conformance schema, one per provider, for tests that run the same
// checks against every client.
//
// The conformance schema (each provider writes it in its own dialect):
//   conf_types(id integer primary key, small_v smallint, int_v integer, big_v bigint,
//              bool_v boolean, real_v real, double_v double precision, num_v numeric(10,2),
//              date_v date, time_v time, ts_v timestamp, vc_v varchar(40), text_v text,
//              ch_v char(5), blob_v blob/bytea)
//     row 1: 1, -32768, 2147483647, 9007199254740993, true, 1.5, 3.25, 12345678.91,
//            2024-02-29, 13:45:30, 2024-02-29 13:45:30, 'O''Brien', 'Müller' || E'\n' || 'Ødegaard',
//            'ab', bytes 00 01 FF
//     row 2: 2 and every other column Null
//     row 3: 3, 0, -1, -9007199254740993, false, -0.25, -1e300, -0.05, 1900-01-01, 00:00:00,
//            1999-12-31 23:59:59, '' (empty text, not Null), 'tab	and "quotes"', 'x', empty bytes
//   conf_big(id integer primary key, label varchar(20), amount numeric(12,2)):
//     rows 1..5000, label 'row ' || id, amount id * 1.25
//   "conf Name with blank"("Order Id" integer, "Line ""quoted""" text): 2 rows (1,'a'), (2,'b')
//   view conf_view: SELECT id, label FROM conf_big WHERE id <= 10
namespace dbtest {

class TestDatabase {
public:
    virtual ~TestDatabase();
    // The connection string a db::Connection opens.
    virtual QString connectionString() const = 0;
    virtual QString providerName() const = 0;
    // Runs DDL/DML directly through the provider's own client (not through db::Connection).
    virtual void exec(const QString &sql) = 0;
};

// Each returns nullptr when the provider cannot be reached here (the caller skips, or fails on CI).
std::unique_ptr<TestDatabase> makeSqliteDatabase();
std::unique_ptr<TestDatabase> makePostgresDatabase();
std::unique_ptr<TestDatabase> makeOdbcDatabase();

std::unique_ptr<TestDatabase> makeDatabase(const QString &provider);

// The conformance schema in SQLite's dialect: the native SQLite database and the ODBC one (a SQLite
// file behind the SQLite3 driver) are both made from it.
const char *sqliteConformanceSchema();

// True when unixODBC has a driver of that name (compared without regard to case).
bool odbcDriverRegistered(const char *name);

} // namespace dbtest
