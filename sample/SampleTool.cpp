#include "SampleTool.h"

#include "PostgresScript.h"
#include "SqliteWriter.h"

#include <QSaveFile>
#include <QString>

#include <ostream>
#include <system_error>

namespace sample {

namespace {

constexpr const char *usage =
    "usage: tabulon-sample <output-folder> [--no-ini | --ini-only] [--if-missing]\n"
    "       tabulon-sample --postgres-sql <file>\n"
    "Writes the sample database Sample.db and DataSources.ini (data source \"Sample\") into the folder,\n"
    "or a PostgreSQL script holding the same data.\n"
    "  --no-ini        write only Sample.db\n"
    "  --ini-only      write only DataSources.ini\n"
    "  --if-missing    leave a file that already exists untouched\n";

struct Options {
    std::filesystem::path folder;
    std::filesystem::path postgresSql;
    bool database = true;
    bool ini = true;
    bool ifMissing = false;
};

bool parse(const std::vector<std::string> &arguments, Options &options, std::string &error)
{
    bool noIni = false, iniOnly = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &a = arguments[i];
        if (a == "--no-ini") {
            noIni = true;
        } else if (a == "--ini-only") {
            iniOnly = true;
        } else if (a == "--if-missing") {
            options.ifMissing = true;
        } else if (a == "--postgres-sql") {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                error = "--postgres-sql needs a file name";
                return false;
            }
            options.postgresSql = arguments[++i];
        } else if (a.starts_with("-") && a.size() > 1) {
            error = "unknown option " + a;
            return false;
        } else if (!options.folder.empty()) {
            error = "more than one output folder given";
            return false;
        } else if (a.empty()) {
            error = "the output folder is empty";
            return false;
        } else {
            options.folder = a;
        }
    }
    if (noIni && iniOnly) {
        error = "--no-ini and --ini-only exclude each other";
        return false;
    }
    if (options.folder.empty() && options.postgresSql.empty()) {
        error = "no output folder given";
        return false;
    }
    if (options.folder.empty() && (noIni || iniOnly || options.ifMissing)) {
        error = "--no-ini, --ini-only and --if-missing need an output folder";
        return false;
    }
    options.database = !iniOnly;
    options.ini = !noIni;
    return true;
}

bool pathTaken(const std::filesystem::path &path)
{
    std::error_code ec;
    return std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found;
}

} // namespace

bool dataSourcesIni(const std::filesystem::path &database, std::string &text, std::string &error)
{
    std::string path = database.string();
    if (path.find_first_of("\r\n") != std::string::npos) {
        error = "the path " + path + " holds a line break, which no INI line can carry";
        return false;
    }
    // A value that would end the pair early, or lose its edges to trimming, goes in braces.
    if (path.find_first_of(";{}\"'") != std::string::npos || path.front() == ' ' || path.back() == ' ') {
        std::string braced = "{";
        for (char c : path)
            braced += c == '}' ? std::string("}}") : std::string(1, c);
        path = braced + "}";
    }
    text = "[1]\n"
           "Name=Sample\n"
           "ID=1\n"
           "Connection=Provider=SQLite;Data Source=" + path + "\n"
           "Description=Sample trading company database\n"
           "Delimiter=\n";
    return true;
}

bool writeFileAtomically(const std::filesystem::path &path, const std::string &content, std::string &error)
{
    QSaveFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::WriteOnly)) {
        error = "Cannot write " + path.string() + ": " + file.errorString().toStdString();
        return false;
    }
    const auto written = file.write(content.data(), static_cast<qint64>(content.size()));
    if (written != static_cast<qint64>(content.size()) || !file.commit()) {
        error = "Cannot write " + path.string() + ": " + file.errorString().toStdString();
        file.cancelWriting();
        return false;
    }
    return true;
}

int runSampleTool(const std::vector<std::string> &arguments, std::ostream &out, std::ostream &err)
{
    for (const std::string &a : arguments) {
        if (a == "--help" || a == "-h") {
            out << usage;
            return 0;
        }
    }
    Options options;
    std::string error;
    if (!parse(arguments, options, error)) {
        err << "tabulon-sample: " << error << "\n" << usage;
        return 2;
    }

    auto failed = [&](const std::string &message) {
        err << "tabulon-sample: " << message << "\n";
        return 1;
    };

    if (!options.postgresSql.empty()) {
        if (!writeFileAtomically(options.postgresSql, postgresScript(), error))
            return failed(error);
        out << "Wrote " << options.postgresSql.string() << "\n";
    }
    if (options.folder.empty())
        return 0;

    std::error_code ec;
    std::filesystem::create_directories(options.folder, ec);
    if (ec)
        return failed("Cannot create the folder " + options.folder.string() + ": " + ec.message());
    const std::filesystem::path folder = std::filesystem::absolute(options.folder, ec).lexically_normal();
    if (ec)
        return failed("Cannot resolve " + options.folder.string() + ": " + ec.message());
    const std::filesystem::path database = folder / "Sample.db";
    const std::filesystem::path ini = folder / "DataSources.ini";

    if (options.database) {
        if (options.ifMissing && pathTaken(database)) {
            out << "Kept " << database.string() << "\n";
        } else if (!writeSqliteDatabase(database, error)) {
            return failed(error);
        } else {
            out << "Wrote " << database.string() << "\n";
        }
    }
    if (options.ini) {
        std::string text;
        if (options.ifMissing && pathTaken(ini)) {
            out << "Kept " << ini.string() << "\n";
        } else if (!dataSourcesIni(database, text, error) || !writeFileAtomically(ini, text, error)) {
            return failed(error);
        } else {
            out << "Wrote " << ini.string() << "\n";
        }
    }
    return 0;
}

} // namespace sample
