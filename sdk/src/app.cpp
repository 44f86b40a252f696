#include <cassert>
#include <cmath>

#include "app/LightWidget.hpp"
#include "app/ModuleWidget.hpp"
#include "app/ParamWidget.hpp"
#include "app/PortWidget.hpp"
#include "app/SvgPanel.hpp"
#include "math.hpp"
#include "plugin/Model.hpp"

namespace rack {
namespace app {

engine::ParamQuantity* ParamWidget::getParamQuantity() {
	if (!module)
		return nullptr;
	if (paramId < 0 || paramId >= (int)module->paramQuantities.size())
		return nullptr;
	return module->paramQuantities[paramId];
}

void Knob::initParamQuantity() {
	ParamWidget::initParamQuantity();
	engine::ParamQuantity* pq = getParamQuantity();
	if (pq && snap)
		pq->snapEnabled = true;
}

// Position of the parameter within its range, 0 to 1 (0.5 without a module).
static float normalizedValue(ParamWidget* w) {
	engine::ParamQuantity* pq = w->getParamQuantity();
	if (!pq)
		return 0.5f;
	float range = pq->getMaxValue() - pq->getMinValue();
	if (!(range > 0.f))
		return 0.f;
	float v = (pq->getValue() - pq->getMinValue()) / range;
	return std::isfinite(v) ? math::clamp(v) : 0.f;
}

void Knob::draw(const DrawArgs& args) {
	float r = box.size.x / 2;
	nvgBeginPath(args.vg);
	nvgCircle(args.vg, r, r, r);
	nvgFillColor(args.vg, nvgRGB(0x22, 0x22, 0x22));
	nvgFill(args.vg);
	nvgStrokeColor(args.vg, nvgRGB(0x55, 0x55, 0x55));
	nvgStrokeWidth(args.vg, 1.f);
	nvgStroke(args.vg);
	float angle = minAngle + normalizedValue(this) * (maxAngle - minAngle);
	nvgBeginPath(args.vg);
	nvgMoveTo(args.vg, r, r);
	nvgLineTo(args.vg, r + 0.8f * r * std::sin(angle), r - 0.8f * r * std::cos(angle));
	nvgStrokeColor(args.vg, nvgRGB(0xff, 0xff, 0xff));
	nvgStrokeWidth(args.vg, 2.f);
	nvgStroke(args.vg);
}

void Switch::initParamQuantity() {
	ParamWidget::initParamQuantity();
	engine::ParamQuantity* pq = getParamQuantity();
	if (pq) {
		pq->snapEnabled = true;
		if (momentary) {
			pq->resetEnabled = false;
			pq->randomizeEnabled = false;
		}
	}
}

void Switch::draw(const DrawArgs& args) {
	if (box.size.x <= 0 || box.size.y <= 0)
		return;
	bool on = normalizedValue(this) > 0.5f;
	if (momentary) {
		float r = box.size.x / 2;
		nvgBeginPath(args.vg);
		nvgCircle(args.vg, r, box.size.y / 2, r);
		nvgFillColor(args.vg, on ? nvgRGB(0xdd, 0xdd, 0xdd) : nvgRGB(0xaa, 0xaa, 0xaa));
		nvgFill(args.vg);
		nvgStrokeColor(args.vg, nvgRGB(0x33, 0x33, 0x33));
		nvgStrokeWidth(args.vg, 1.f);
		nvgStroke(args.vg);
		return;
	}
	nvgBeginPath(args.vg);
	nvgRect(args.vg, 0, 0, box.size.x, box.size.y);
	nvgFillColor(args.vg, nvgRGB(0x30, 0x30, 0x30));
	nvgFill(args.vg);
	float h = box.size.y / 2;
	nvgBeginPath(args.vg);
	nvgRect(args.vg, 2, on ? 2 : h, box.size.x - 4, h - 2);
	nvgFillColor(args.vg, nvgRGB(0xe0, 0xe0, 0xe0));
	nvgFill(args.vg);
}

engine::Port* PortWidget::getPort() {
	if (!module || portId < 0)
		return nullptr;
	if (type == engine::Port::INPUT)
		return portId < (int)module->inputs.size() ? &module->inputs[portId] : nullptr;
	return portId < (int)module->outputs.size() ? &module->outputs[portId] : nullptr;
}

engine::PortInfo* PortWidget::getPortInfo() {
	if (!module || portId < 0)
		return nullptr;
	std::vector<engine::PortInfo*>& infos = type == engine::Port::INPUT ? module->inputInfos : module->outputInfos;
	return portId < (int)infos.size() ? infos[portId] : nullptr;
}

void PortWidget::draw(const DrawArgs& args) {
	float r = box.size.x / 2;
	nvgBeginPath(args.vg);
	nvgCircle(args.vg, r, r, r);
	nvgFillColor(args.vg, nvgRGB(0xc8, 0xc8, 0xc8));
	nvgFill(args.vg);
	nvgBeginPath(args.vg);
	nvgCircle(args.vg, r, r, r * 0.45f);
	nvgFillColor(args.vg, nvgRGB(0x10, 0x10, 0x10));
	nvgFill(args.vg);
}

void LightWidget::draw(const DrawArgs& args) {
	float r = box.size.x / 2;
	nvgBeginPath(args.vg);
	nvgCircle(args.vg, r, r, r);
	nvgFillColor(args.vg, bgColor);
	nvgFill(args.vg);
	if (color.a > 0.f) {
		nvgFillColor(args.vg, color);
		nvgFill(args.vg);
	}
	if (borderColor.a > 0.f) {
		nvgStrokeWidth(args.vg, 0.5f);
		nvgStrokeColor(args.vg, borderColor);
		nvgStroke(args.vg);
	}
}

void MultiLightWidget::setBrightnesses(const std::vector<float>& brightnesses) {
	color = nvgRGBAf(0, 0, 0, 0);
	for (size_t i = 0; i < baseColors.size() && i < brightnesses.size(); i++) {
		NVGcolor c = baseColors[i];
		float b = brightnesses[i];
		// Additive mix, alpha from the brightest component.
		color.r = math::clamp(color.r + c.r * b);
		color.g = math::clamp(color.g + c.g * b);
		color.b = math::clamp(color.b + c.b * b);
		color.a = std::fmax(color.a, c.a * b);
	}
}

engine::Light* ModuleLightWidget::getLight(int colorId) {
	if (!module || firstLightId < 0)
		return nullptr;
	int id = firstLightId + colorId;
	if (id >= (int)module->lights.size())
		return nullptr;
	return &module->lights[id];
}

void ModuleLightWidget::step() {
	// Without a module (the host's module browser) every light is shown lit.
	std::vector<float> brightnesses(baseColors.size(), module ? 0.f : 1.f);
	for (size_t i = 0; module && i < baseColors.size(); i++) {
		engine::Light* light = getLight(i);
		float b = light ? light->getBrightness() : 0.f;
		brightnesses[i] = std::isfinite(b) ? math::clamp(b) : 0.f;
	}
	setBrightnesses(brightnesses);
	MultiLightWidget::step();
}

SvgPanel::SvgPanel() {
	box.size = math::Vec();
	sw = new widget::SvgWidget;
	addChild(sw);
}

void SvgPanel::setBackground(std::shared_ptr<window::Svg> svg) {
	this->svg = svg;
	sw->setSvg(svg);
	box.size = sw->box.size.div(RACK_GRID_SIZE).round().mult(RACK_GRID_SIZE);
}

void SvgScrew::draw(const DrawArgs& args) {
	float r = box.size.x / 2;
	nvgBeginPath(args.vg);
	nvgCircle(args.vg, r, r, r * 0.8f);
	nvgFillColor(args.vg, nvgRGB(0xb0, 0xb0, 0xb0));
	nvgFill(args.vg);
	nvgBeginPath(args.vg);
	nvgMoveTo(args.vg, r * 0.4f, r);
	nvgLineTo(args.vg, r * 1.6f, r);
	nvgStrokeColor(args.vg, nvgRGB(0x50, 0x50, 0x50));
	nvgStrokeWidth(args.vg, 1.5f);
	nvgStroke(args.vg);
}

ModuleWidget::ModuleWidget() {
	box.size = math::Vec(0, RACK_GRID_HEIGHT);
}

ModuleWidget::~ModuleWidget() {
	clearChildren();
	panel = nullptr;
	setModule(nullptr);
}

void ModuleWidget::setModel(plugin::Model* model) {
	assert(!this->model);
	this->model = model;
}

void ModuleWidget::setModule(engine::Module* module) {
	if (this->module)
		delete this->module;
	this->module = module;
}

widget::Widget* ModuleWidget::getPanel() {
	return panel;
}

void ModuleWidget::setPanel(widget::Widget* newPanel) {
	if (panel) {
		removeChild(panel);
		delete panel;
		panel = nullptr;
	}
	if (newPanel) {
		addChildBottom(newPanel);
		panel = newPanel;
		box.size.x = std::round(newPanel->box.size.x / RACK_GRID_WIDTH) * RACK_GRID_WIDTH;
	}
}

void ModuleWidget::setPanel(std::shared_ptr<window::Svg> svg) {
	SvgPanel* svgPanel = new SvgPanel;
	svgPanel->setBackground(svg);
	setPanel(svgPanel);
}

void ModuleWidget::addParam(ParamWidget* param) {
	addChild(param);
}
void ModuleWidget::addInput(PortWidget* input) {
	assert(input->type == engine::Port::INPUT);
	addChild(input);
}
void ModuleWidget::addOutput(PortWidget* output) {
	assert(output->type == engine::Port::OUTPUT);
	addChild(output);
}

template <class T, typename F> static T* findChild(widget::Widget* w, F f) {
	for (widget::Widget* child : w->children) {
		T* c = dynamic_cast<T*>(child);
		if (c && f(c))
			return c;
	}
	return nullptr;
}

ParamWidget* ModuleWidget::getParam(int paramId) {
	return findChild<ParamWidget>(this, [&](ParamWidget* p) { return p->paramId == paramId; });
}
PortWidget* ModuleWidget::getInput(int portId) {
	return findChild<PortWidget>(this,
	                             [&](PortWidget* p) { return p->type == engine::Port::INPUT && p->portId == portId; });
}
PortWidget* ModuleWidget::getOutput(int portId) {
	return findChild<PortWidget>(this,
	                             [&](PortWidget* p) { return p->type == engine::Port::OUTPUT && p->portId == portId; });
}

template <class T> static std::vector<T*> childrenOfType(widget::Widget* w) {
	std::vector<T*> out;
	for (widget::Widget* child : w->children) {
		T* c = dynamic_cast<T*>(child);
		if (c)
			out.push_back(c);
	}
	return out;
}

std::vector<ParamWidget*> ModuleWidget::getParams() {
	return childrenOfType<ParamWidget>(this);
}
std::vector<PortWidget*> ModuleWidget::getPorts() {
	return childrenOfType<PortWidget>(this);
}
std::vector<PortWidget*> ModuleWidget::getInputs() {
	std::vector<PortWidget*> out;
	for (PortWidget* p : getPorts())
		if (p->type == engine::Port::INPUT)
			out.push_back(p);
	return out;
}
std::vector<PortWidget*> ModuleWidget::getOutputs() {
	std::vector<PortWidget*> out;
	for (PortWidget* p : getPorts())
		if (p->type == engine::Port::OUTPUT)
			out.push_back(p);
	return out;
}

void ModuleWidget::draw(const DrawArgs& args) {
	Widget::draw(args);
}

} // namespace app
} // namespace rack
