#pragma once
#include <memory>
#include <vector>

#include "app/LightWidget.hpp"
#include "app/ParamWidget.hpp"
#include "app/PortWidget.hpp"
#include "app/SvgPanel.hpp"
#include "engine/Module.hpp"
#include "widget/Widget.hpp"

namespace rack {

namespace plugin {
struct Model;
}

namespace app {

// A module's panel. It owns its module: the destructor deletes the children,
// then the module.
struct ModuleWidget : widget::OpaqueWidget {
	plugin::Model* model = nullptr;
	engine::Module* module = nullptr;

	ModuleWidget();
	~ModuleWidget() override;

	plugin::Model* getModel() {
		return model;
	}
	void setModel(plugin::Model* model);
	engine::Module* getModule() {
		return module;
	}
	template <class TModule> TModule* getModule() {
		return dynamic_cast<TModule*>(getModule());
	}
	// Takes ownership of `module`, deleting the previous one.
	void setModule(engine::Module* module);

	widget::Widget* getPanel();
	void setPanel(widget::Widget* panel);
	void setPanel(std::shared_ptr<window::Svg> svg);

	void addParam(ParamWidget* param);
	void addInput(PortWidget* input);
	void addOutput(PortWidget* output);
	ParamWidget* getParam(int paramId);
	PortWidget* getInput(int portId);
	PortWidget* getOutput(int portId);
	std::vector<ParamWidget*> getParams();
	std::vector<PortWidget*> getPorts();
	std::vector<PortWidget*> getInputs();
	std::vector<PortWidget*> getOutputs();

	void draw(const DrawArgs& args) override;

  private:
	widget::Widget* panel = nullptr;
};

} // namespace app
} // namespace rack
