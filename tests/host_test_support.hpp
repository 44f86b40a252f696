// Shared by the headless host's tests: temporary folders, an independent WAV
// reader and the plug-in set.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <jansson.h>

#include "PluginFixture.hpp"
#include "PluginLoader.hpp"
#include "PluginSet.hpp"
#include "TempFolder.hpp"

namespace testing_support {
// The built plug-in as the headless host's loader holds it.
rackhost::LoadedPlugin& plugin();
} // namespace testing_support

namespace hosttest {

namespace fs = std::filesystem;

struct TempDir {
	fs::path dir;
	TempDir() {
		dir = testing_support::newTempFolder("rackhost-test");
	}
	~TempDir() {
		fs::remove_all(dir);
	}
	std::string path(const std::string& name) const {
		return (dir / name).string();
	}
};

inline std::string readFile(const std::string& path) {
	std::ifstream f(path, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const std::string& text) {
	std::ofstream(path, std::ios::binary) << text;
}

// A WAV file as a reader sees it, walking the chunks.
struct Wav {
	std::string error;
	uint32_t riffSize = 0;
	size_t fileSize = 0;
	uint16_t formatTag = 0, channels = 0, blockAlign = 0, bits = 0;
	uint32_t sampleRate = 0, byteRate = 0;
	uint32_t dataBytes = 0;
	bool hasFact = false;
	uint32_t factFrames = 0;
	// Interleaved samples; float as stored, PCM as the raw signed integer.
	std::vector<float> floats;
	std::vector<int32_t> ints;

	size_t frames() const {
		return channels ? (formatTag == 3 ? floats.size() : ints.size()) / channels : 0;
	}
};

inline uint32_t le32(const unsigned char* p) {
	return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline uint16_t le16(const unsigned char* p) {
	return p[0] | (p[1] << 8);
}

inline Wav readWav(const std::string& path) {
	Wav w;
	std::string bytes = readFile(path);
	const unsigned char* b = (const unsigned char*)bytes.data();
	w.fileSize = bytes.size();
	if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
		w.error = "not a RIFF/WAVE file";
		return w;
	}
	w.riffSize = le32(b + 4);
	size_t pos = 12;
	while (pos + 8 <= bytes.size()) {
		std::string id = bytes.substr(pos, 4);
		uint32_t size = le32(b + pos + 4);
		const unsigned char* body = b + pos + 8;
		if (pos + 8 + size > bytes.size()) {
			w.error = "chunk " + id + " runs past the end";
			return w;
		}
		if (id == "fmt ") {
			w.formatTag = le16(body);
			w.channels = le16(body + 2);
			w.sampleRate = le32(body + 4);
			w.byteRate = le32(body + 8);
			w.blockAlign = le16(body + 12);
			w.bits = le16(body + 14);
		} else if (id == "fact") {
			w.hasFact = true;
			w.factFrames = le32(body);
		} else if (id == "data") {
			w.dataBytes = size;
			if (w.formatTag == 3 && w.bits == 32) {
				for (uint32_t i = 0; i + 4 <= size; i += 4) {
					float f;
					std::memcpy(&f, body + i, 4);
					w.floats.push_back(f);
				}
			} else if (w.formatTag == 1 && w.bits == 24) {
				for (uint32_t i = 0; i + 3 <= size; i += 3) {
					int32_t v = body[i] | (body[i + 1] << 8) | (body[i + 2] << 16);
					if (v & 0x800000)
						v -= 0x1000000;
					w.ints.push_back(v);
				}
			} else {
				w.error = "unexpected sample format";
			}
		}
		pos += 8 + size + (size & 1);
	}
	return w;
}

// Core plus the built plug-in, shared by a test program.
inline rackhost::PluginSet& plugins() {
	static rackhost::PluginSet* set = [] {
		rackhost::PluginSet* s = new rackhost::PluginSet;
		s->addBorrowed(testing_support::plugin().get());
		return s;
	}();
	return *set;
}

// A file of the source tree.
inline std::string sourcePath(const std::string& relative) {
	return (fs::path(CHORDWRIGHT_SOURCE_DIR) / relative).string();
}

// The plug-in's version, as its manifest gives it.
inline std::string pluginVersion() {
	json_t* manifest = json_load_file(sourcePath("plugin.json").c_str(), 0, nullptr);
	const char* version = json_string_value(json_object_get(manifest, "version"));
	const std::string v = version ? version : "";
	json_decref(manifest);
	return v;
}

#ifndef _WIN32
// Runs a shell command; its exit status, and what it wrote in `output`.
inline int runCommand(const std::string& command, std::string& output) {
	FILE* p = popen((command + " 2>&1").c_str(), "r");
	if (!p)
		return -1;
	char buffer[4096];
	size_t n;
	while ((n = fread(buffer, 1, sizeof(buffer), p)) > 0)
		output.append(buffer, n);
	return pclose(p);
}
#endif

} // namespace hosttest
