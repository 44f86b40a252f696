# Build with the official Rack 2 SDK: make RACK_DIR=<path to Rack-SDK> dist
RACK_DIR ?= ../..

FLAGS +=
CFLAGS +=
CXXFLAGS +=
LDFLAGS +=

SOURCES += $(wildcard src/*.cpp)

DISTRIBUTABLES += res
DISTRIBUTABLES += presets
# The players' example patches (the headless host's own, in examples/rackhost, stay out).
DISTRIBUTABLES += $(wildcard examples/*.vcv)
DISTRIBUTABLES += $(wildcard LICENSE*)

include $(RACK_DIR)/plugin.mk
