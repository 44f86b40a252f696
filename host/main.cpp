#include <unistd.h>

#include <iostream>

#include "Commands.hpp"
#include "HostContext.hpp"

int main(int argc, char** argv) {
	rackhost::HostContext context;
	std::vector<std::string> args(argv + 1, argv + argc);
	return rackhost::runCommand(args, std::cout, std::cerr, isatty(STDERR_FILENO));
}
