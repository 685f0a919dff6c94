#include "FuzzSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace fuzz {

void failed(const char *file, int line, const char *condition, const QString &what)
{
    // Control characters (a NUL above all) would cut the report short: shown as escapes.
    QString shown;
    for (const QChar c : what)
        shown += c.unicode() < 0x20 && c != u'\n' ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                 : c.isSurrogate() ? QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'))
                                   : QString(c);
    std::fprintf(stderr, "%s:%d: check failed: %s\n  %s\n", file, line, condition, shown.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "tabulon-fuzz";
    static char *argv[] = {name, nullptr};
    static QApplication *app = new QApplication(argc, argv); // lives for the whole run
    (void)app;
}

QString scratchFolder()
{
    static std::unique_ptr<QTemporaryDir> dir = [] {
        const QString shm = QStringLiteral("/dev/shm");
        auto d = QDir(shm).exists() ? std::make_unique<QTemporaryDir>(shm + QStringLiteral("/tabulon-fuzz-XXXXXX"))
                                    : std::make_unique<QTemporaryDir>();
        if (!d->isValid())
            d = std::make_unique<QTemporaryDir>();
        return d;
    }();
    return dir->path();
}

QString writeScratch(const QString &name, const QByteArray &content)
{
    const QString path = QDir(scratchFolder()).filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size())
        failed(__FILE__, __LINE__, "scratch file written", path);
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

QString utf8(const uint8_t *data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
}

QString utf16(const uint8_t *data, size_t size)
{
    QString text(qsizetype(size / 2), Qt::Uninitialized);
    for (size_t i = 0; i + 1 < size; i += 2)
        text[qsizetype(i / 2)] = QChar(char16_t(data[i] | (data[i + 1] << 8)));
    return text;
}

std::vector<QByteArray> split(const uint8_t *data, size_t size, char separator)
{
    std::vector<QByteArray> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (char(data[i]) == separator)
            parts.emplace_back();
        else
            parts.back().append(char(data[i]));
    }
    return parts;
}

} // namespace fuzz
