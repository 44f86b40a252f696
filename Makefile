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
DISTRIBUTABLES += CHANGELOG.md

include $(RACK_DIR)/plugin.mk

# How the modules sound is fixed down to their floating-point arithmetic; the
# kit's -funsafe-math-optimizations would let the compiler reorder it (a
# voice's phase step, and with it the edges of its waveform, would drift from
# what the tests measure). The package computes as written.
FLAGS += -fno-unsafe-math-optimizations
