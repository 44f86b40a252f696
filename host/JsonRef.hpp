#pragma once
#include <jansson.h>

namespace rackhost {

// Owns one reference to a JSON value and drops it at the end of the scope.
struct JsonRef {
	json_t* j;
	explicit JsonRef(json_t* j) : j(j) {
	}
	~JsonRef() {
		json_decref(j);
	}
	JsonRef(const JsonRef&) = delete;
	JsonRef& operator=(const JsonRef&) = delete;
};

} // namespace rackhost
