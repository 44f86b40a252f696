#include "TempFolder.hpp"

#include <cstdio>
#include <random>
#include <stdexcept>

namespace testing_support {

std::filesystem::path newTempFolder(const std::string& stem) {
	static std::mt19937 names{std::random_device{}()};
	const std::filesystem::path base = std::filesystem::temp_directory_path();
	for (int attempt = 0; attempt < 100; attempt++) {
		char part[16];
		std::snprintf(part, sizeof part, "%08x", (unsigned)names());
		const std::filesystem::path dir = base / (stem + "-" + part);
		// create_directory says false when the folder was there already.
		if (std::filesystem::create_directory(dir))
			return dir;
	}
	throw std::runtime_error("cannot make a temporary folder in " + base.string());
}

} // namespace testing_support
