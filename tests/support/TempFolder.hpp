#pragma once
#include <filesystem>
#include <string>

namespace testing_support {

// A new, empty folder in the system's temporary folder, its name `stem` and a
// random part; made only if no other exists by that name, so that programs
// running side by side never share one. Throws when none can be made.
std::filesystem::path newTempFolder(const std::string& stem);

} // namespace testing_support
