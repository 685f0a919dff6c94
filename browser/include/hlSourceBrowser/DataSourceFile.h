#pragma once

#include <tabulon/hlSourceBrowserExport.h>

#include <QString>

#include <array>
#include <utility>
#include <vector>

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

// A section of the file that the table does not hold, kept so that a save writes it back.
struct KeptSection {
    QString name;
    std::vector<std::pair<QString, QString>> values; // key and value, in file order
};

// Rows 1..50; row 0 is never used.
struct HLSOURCEBROWSER_EXPORT DataSourceTable {
    std::array<DataSourceRow, kMaxDataSources + 1> rows;
    int count = 0; // the last row in use
    // Sections the list did not show: those after a missing or nameless section, those beyond
    // the 50th, later ones of a repeated name, and any whose name is not a number (kept, but not
    // data sources).
    std::vector<KeptSection> leftOut;
    // Why the file could not be read whole; while set, no save writes over it.
    QString readError;
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

// Reads the file at browserSettings().IniFilePath into the table. Sections it does not show are
// named in a message and kept for the next save. A file that cannot be read whole is named in a
// message and left as it is; one that other users may read is named once (a save makes it private).
HLSOURCEBROWSER_EXPORT bool Get_DataSources();
// Rewrites the file from the table in one atomic write, readable by its owner only (it holds
// passwords): the table's rows renumbered from 1, then the sections the list did not show. A
// failure leaves the old file whole.
HLSOURCEBROWSER_EXPORT bool Save_DataSources();
// Asks for a new data source (edit false) or edits a row.
HLSOURCEBROWSER_EXPORT bool New_DataSource(int row, bool edit);
// Asks, then marks the row deleted until the next save.
HLSOURCEBROWSER_EXPORT bool Delete_DataSource(int row);

// For failure tests: while not empty, every save fails with this text and writes nothing.
HLSOURCEBROWSER_EXPORT void setSaveFailureForTest(const QString &error);

} // namespace browser
