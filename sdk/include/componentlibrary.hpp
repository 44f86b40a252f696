#pragma once
// Stand-ins for the host's component library: the official names and box
// sizes (those of the host's res/ComponentLibrary graphics, as its renderer
// reads them), drawn with plain shapes instead of the official graphics.
#include "app/LightWidget.hpp"
#include "app/ParamWidget.hpp"
#include "app/PortWidget.hpp"
#include "app/SvgPanel.hpp"
#include "window/Svg.hpp"

namespace rack {
namespace componentlibrary {

static const NVGcolor SCHEME_BLACK_TRANSPARENT = {{{0.f, 0.f, 0.f, 0.f}}};
static const NVGcolor SCHEME_BLACK = {{{0.f, 0.f, 0.f, 1.f}}};
static const NVGcolor SCHEME_WHITE = {{{1.f, 1.f, 1.f, 1.f}}};
static const NVGcolor SCHEME_RED = {{{0xed / 255.f, 0x2c / 255.f, 0x24 / 255.f, 1.f}}};
static const NVGcolor SCHEME_ORANGE = {{{0xf2 / 255.f, 0xb1 / 255.f, 0x20 / 255.f, 1.f}}};
static const NVGcolor SCHEME_YELLOW = {{{0xff / 255.f, 0xd7 / 255.f, 0x14 / 255.f, 1.f}}};
static const NVGcolor SCHEME_GREEN = {{{0x90 / 255.f, 0xc7 / 255.f, 0x3e / 255.f, 1.f}}};
static const NVGcolor SCHEME_BLUE = {{{0x29 / 255.f, 0xb2 / 255.f, 0xef / 255.f, 1.f}}};

template <typename TBase = app::ModuleLightWidget> struct TGrayModuleLightWidget : TBase {
	TGrayModuleLightWidget() {
		this->bgColor = nvgRGBA(0x33, 0x33, 0x33, 0xff);
		this->borderColor = nvgRGBA(0, 0, 0, 53);
	}
};
using GrayModuleLightWidget = TGrayModuleLightWidget<>;

template <typename TBase = GrayModuleLightWidget> struct TRedLight : TBase {
	TRedLight() {
		this->addBaseColor(SCHEME_RED);
	}
};
using RedLight = TRedLight<>;

template <typename TBase = GrayModuleLightWidget> struct TGreenLight : TBase {
	TGreenLight() {
		this->addBaseColor(SCHEME_GREEN);
	}
};
using GreenLight = TGreenLight<>;

template <typename TBase = GrayModuleLightWidget> struct TBlueLight : TBase {
	TBlueLight() {
		this->addBaseColor(SCHEME_BLUE);
	}
};
using BlueLight = TBlueLight<>;

template <typename TBase> struct TSvgLight : TBase {};

template <typename TBase> struct SmallLight : TSvgLight<TBase> {
	SmallLight() {
		this->box.size = mm2px(math::Vec(2, 2));
	}
};

template <typename TBase> struct MediumLight : TSvgLight<TBase> {
	MediumLight() {
		this->box.size = mm2px(math::Vec(3, 3));
	}
};

template <typename TBase> struct LargeLight : TSvgLight<TBase> {
	LargeLight() {
		this->box.size = mm2px(math::Vec(5, 5));
	}
};

struct RoundKnob : app::Knob {};

struct RoundBlackKnob : RoundKnob {
	RoundBlackKnob() {
		box.size = math::Vec(28.34759f, 28.34768f);
	}
};

struct RoundSmallBlackKnob : RoundKnob {
	RoundSmallBlackKnob() {
		box.size = math::Vec(22.67578f, 22.67581f);
	}
};

struct VCVButton : app::Switch {
	VCVButton() {
		momentary = true;
		box.size = math::Vec(17.9996f, 18.f);
	}
};

struct CKSS : app::Switch {
	CKSS() {
		box.size = math::Vec(14.f, 20.64111f);
	}
};

struct PJ301MPort : app::PortWidget {
	PJ301MPort() {
		box.size = math::Vec(23.7f, 23.7f);
	}
};

struct ScrewSilver : app::SvgScrew {
	ScrewSilver() {
		box.size = math::Vec(15.f, 14.9989f);
	}
};

} // namespace componentlibrary
} // namespace rack
