#pragma once
#include <memory>
#include <string>

#include <rack.hpp>

namespace testing_support {

// A model of the built plug-in, which is loaded once per test program the
// way the host loads it: by the headless host's loader, or, where the suites
// run on the official host library, by that library's own plug-in record.
rack::plugin::Model* model(const std::string& slug);

// A new module of the model, as its own class (null if it is not one).
template <class T> std::unique_ptr<T> create(const std::string& slug) {
	rack::engine::Module* module = model(slug)->createModule();
	T* typed = dynamic_cast<T*>(module);
	if (!typed)
		delete module;
	return std::unique_ptr<T>(typed);
}

} // namespace testing_support
