#pragma once
#include <rack.hpp>

#include "PluginLoader.hpp"

namespace testing_support {

// The built plug-in, loaded once per test program as the host loads it.
rackhost::LoadedPlugin& plugin();
rack::plugin::Model* model(const std::string& slug);

} // namespace testing_support
