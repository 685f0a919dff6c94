#pragma once

#include <tabulon/hlSourceBrowserExport.h>

#include <QString>

#include <array>

namespace browser {

// One data source as kept in the table. Text fields hold the stored form (apostrophes doubled).
struct DataSourceRow {
    QString ID; // the row's number as text; empty: deleted since the last save
    QString Name;
    QString Description;
    QString Connection;
    QString Delimiter;
};

inline constexpr int kMaxDataSources = 50;

// Rows 1..50; row 0 is never used.
struct HLSOURCEBROWSER_EXPORT DataSourceTable {
    std::array<DataSourceRow, kMaxDataSources + 1> rows;
    int count = 0; // the last row in use
};

HLSOURCEBROWSER_EXPORT DataSourceTable &dataSources();

// Apostrophes doubled, as the data-source file stores them, and back.
HLSOURCEBROWSER_EXPORT QString doubleApostrophes(const QString &text);
HLSOURCEBROWSER_EXPORT QString undoubleApostrophes(const QString &text);
// The connection string of a row as the user typed it.
HLSOURCEBROWSER_EXPORT QString connectionText(const DataSourceRow &row);

// Where "DataSources.ini" lives: beside the executable when one is there and writable, otherwise
// in the user's configuration folder for Tabulon, first copied there from the one beside the
// executable. exeFolder/configFolder empty: the program's and the user's own.
HLSOURCEBROWSER_EXPORT QString locateDataSourceFile(const QString &exeFolder = {},
                                                   const QString &configFolder = {});

// Reads the file at browserSettings().IniFilePath into the table.
HLSOURCEBROWSER_EXPORT bool Get_DataSources();
// Rewrites the file from the table in one atomic write: a failure leaves the old file whole.
HLSOURCEBROWSER_EXPORT bool Save_DataSources();
// Asks for a new data source (edit false) or edits a row.
HLSOURCEBROWSER_EXPORT bool New_DataSource(int row, bool edit);
// Asks, then marks the row deleted until the next save.
HLSOURCEBROWSER_EXPORT bool Delete_DataSource(int row);

// For failure tests: while not empty, every save fails with this text and writes nothing.
HLSOURCEBROWSER_EXPORT void setSaveFailureForTest(const QString &error);

} // namespace browser
