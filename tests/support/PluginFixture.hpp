#pragma once
#include <memory>
#include <string>

#include <rack.hpp>

#include "PluginLoader.hpp"

namespace testing_support {

// The built plug-in, loaded once per test program as the host loads it.
rackhost::LoadedPlugin& plugin();
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
