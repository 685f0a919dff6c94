#pragma once

// Shared by every fuzz target. A target defines LLVMFuzzerTestOneInput and checks properties of
// what it read with FUZZ_CHECK: a broken property aborts, so the fuzzer keeps the input and the
// corpus replay of the normal test run fails on it.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <vector>

#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::fuzz::failed(__FILE__, __LINE__, #condition, (what));                                \
    } while (false)

namespace fuzz {

[[noreturn]] void failed(const char *file, int line, const char *condition, const QString &what);

// A Qt application (offscreen, headless) for targets that need widgets or the GUI library.
void ensureApplication();

// A scratch folder that lives for the whole run, in memory where the system has /dev/shm.
QString scratchFolder();
// Writes bytes to a file of the scratch folder and returns its path.
QString writeScratch(const QString &name, const QByteArray &bytes);
QByteArray readFile(const QString &path);

QByteArray bytes(const uint8_t *data, size_t size);
// The input as UTF-8 text (invalid sequences become replacement characters).
QString utf8(const uint8_t *data, size_t size);
// The input as raw UTF-16 code units: every QString, halves of surrogate pairs included.
QString utf16(const uint8_t *data, size_t size);
// The input split at every byte `separator`; the last part is everything after the last one.
std::vector<QByteArray> split(const uint8_t *data, size_t size, char separator);

} // namespace fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
