#pragma once

#include <tabulon/DbExport.h>

#include <QString>
#include <QStringView>

namespace db {

// The SoundEx code of a word: its first letter and length - 1 digits (length clamped to 4..10).
// Only the letters A to Z count (after upper-casing); any other character separates like a vowel,
// and so do H and W, which is also how PostgreSQL's fuzzystrmatch codes ASCII words. A word
// without letters gives "0".
//
// The same function is registered as SOUNDEX on every SQLite connection, so that a filter computed
// by the program and one run by the database agree.
DB_EXPORT QString soundex(QStringView word, int length = 4);

// The length soundex() uses for a requested one.
constexpr int soundexLength(int requested)
{
    return requested > 10 ? 10 : requested < 4 ? 4 : requested;
}

} // namespace db
