#pragma once

#include <filesystem>
#include <string>

namespace sample {

// Writes the sample database to path. It is built under a temporary name beside the target and
// renamed into place only when complete, so a failure leaves any existing file as it was and no
// half-written one behind. On failure returns false and sets error.
[[nodiscard]] bool writeSqliteDatabase(const std::filesystem::path &path, std::string &error);

} // namespace sample
