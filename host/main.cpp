#include <unistd.h>

#include <iostream>

#include "Commands.hpp"

int main(int argc, char** argv) {
	std::vector<std::string> args(argv + 1, argv + argc);
	return rackhost::runCommand(args, std::cout, std::cerr, isatty(STDERR_FILENO));
}
