#include "ExportJob.h"

#include "db/Types.h"
#include "grid/GridFormat.h"

#include <chrono>
#include <exception>
#include <future>

namespace hlexport {

QString formatCount(std::size_t n, bool zeroEmpty)
{
    if (n == 0 && zeroEmpty)
        return {};
    // Grouped with commas, whatever the desktop's language.
    return grid::format::groupedCount(qint64(n), QLocale(QLocale::English));
}

bool runAside(Progress &progress, const std::function<void()> &work, bool stoppable)
{
    std::future<void> done = std::async(std::launch::async, work);
    bool stopped = false;
    while (done.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
        if (stoppable)
            stopped = progress.turn() || stopped;
        else
            progress.idle();
    }
    done.get();
    return stopped;
}

bool isRefusedType(int adoType)
{
    return adoType == db::adBinary || adoType == db::adVarBinary || adoType == db::adLongVarBinary;
}

namespace {

// The length of the valid UTF-8 sequence that starts at p[i] (a byte of 0x80 or more), or 0.
std::size_t sequenceAt(const unsigned char *p, std::size_t n, std::size_t i)
{
    const unsigned char c = p[i];
    std::size_t len = 0;
    char32_t cp = 0, min = 0;
    if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; min = 0x80; }
    else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; min = 0x800; }
    else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; min = 0x10000; }
    if (len == 0 || i + len > n)
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const unsigned char cb = p[i + k];
        if ((cb & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (cb & 0x3F);
    }
    return cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF) ? len : 0;
}

} // namespace

bool isUtf8(std::string_view text)
{
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        const std::size_t len = sequenceAt(p, text.size(), i);
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

void makeUtf8(std::string &text)
{
    if (isUtf8(text))
        return;
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const std::size_t n = text.size();
    std::string out;
    out.reserve(n + 8);
    for (std::size_t i = 0; i < n;) {
        const std::size_t len = p[i] < 0x80 ? 1 : sequenceAt(p, n, i);
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        out.append(text, i, len);
        i += len;
    }
    text.swap(out);
}

QString currentError()
{
    return app::currentErrorText(QStringLiteral("Unknown error"));
}

bool currentErrorIsStop()
{
    try {
        throw;
    } catch (const ExportStopped &) {
        return true;
    } catch (...) {
        return app::currentErrorIsCancel();
    }
}

} // namespace hlexport
