#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace sampletest {

struct Closer {
    void operator()(sqlite3 *db) const { sqlite3_close(db); }
};
struct Finalizer {
    void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

// A read-only connection with one-line queries; a failing statement fails the test.
class Db {
public:
    explicit Db(const std::filesystem::path &path)
    {
        sqlite3 *raw = nullptr;
        const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
        m_db.reset(raw);
        EXPECT_EQ(rc, SQLITE_OK) << path;
    }

    sqlite3 *get() const { return m_db.get(); }

    Statement prepare(const std::string &sql, const std::string &bound = {}) const
    {
        sqlite3_stmt *raw = nullptr;
        const int rc = sqlite3_prepare_v2(m_db.get(), sql.c_str(), -1, &raw, nullptr);
        EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << sqlite3_errmsg(m_db.get());
        Statement statement(raw);
        if (statement && !bound.empty())
            sqlite3_bind_text(raw, 1, bound.c_str(), -1, SQLITE_TRANSIENT);
        return statement;
    }

    std::int64_t number(const std::string &sql, const std::string &bound = {}) const
    {
        Statement s = prepare(sql, bound);
        if (!s || sqlite3_step(s.get()) != SQLITE_ROW) {
            ADD_FAILURE() << "no row from " << sql;
            return -1;
        }
        return sqlite3_column_int64(s.get(), 0);
    }

    std::string text(const std::string &sql) const
    {
        Statement s = prepare(sql);
        if (!s || sqlite3_step(s.get()) != SQLITE_ROW)
            return "<no row>";
        const auto *t = sqlite3_column_text(s.get(), 0);
        return t ? reinterpret_cast<const char *>(t) : "<null>";
    }

    // FNV-1a over every value of the query's rows, with its storage class, so 1, 1.0 and '1'
    // differ and a Null differs from an empty text.
    std::uint64_t checksum(const std::string &sql) const
    {
        std::uint64_t hash = 0xCBF29CE484222325ull;
        auto mix = [&](const void *data, std::size_t size) {
            const auto *bytes = static_cast<const unsigned char *>(data);
            for (std::size_t i = 0; i < size; ++i)
                hash = (hash ^ bytes[i]) * 0x100000001B3ull;
        };
        Statement s = prepare(sql);
        while (s && sqlite3_step(s.get()) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(s.get()); ++c) {
                const int type = sqlite3_column_type(s.get(), c);
                mix(&type, sizeof type);
                if (type == SQLITE_INTEGER) {
                    const auto v = sqlite3_column_int64(s.get(), c);
                    mix(&v, sizeof v);
                } else if (type == SQLITE_FLOAT) {
                    const double v = sqlite3_column_double(s.get(), c);
                    mix(&v, sizeof v);
                } else if (type != SQLITE_NULL) {
                    const void *data = sqlite3_column_blob(s.get(), c);
                    mix(data, static_cast<std::size_t>(sqlite3_column_bytes(s.get(), c)));
                }
            }
        }
        return hash;
    }

private:
    std::unique_ptr<sqlite3, Closer> m_db;
};

} // namespace sampletest
