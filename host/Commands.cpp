#include "Commands.hpp"

#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <map>

#include <logger_capture.hpp>
#include <nanovg_backend.hpp>

#include "CoreModules.hpp"
#include "NoteNames.hpp"
#include "Patch.hpp"
#include "PluginSet.hpp"
#include "Progress.hpp"
#include "Render.hpp"
#include "Screenshot.hpp"

namespace rackhost {

namespace {

const char* const USAGE = R"(usage: rackhost COMMAND [options]

Commands:
  render PATCH -o OUT.wav [--seconds S] [--sample-rate R] [--format f32|s24]
                 [--save-patch OUT.json]
      Runs the patch offline (default 10 s at 48000 Hz) and writes what its
      one Rackhost Recorder or Core AudioInterface2 receives: volts / 10, so
      +-10 V is full scale. f32 (the default) keeps levels beyond full
      scale; s24 clips them.
  screenshot (--model SLUG -o OUT.png | --all -o DIR) [--zoom Z] [--seconds T]
                 [--param ID=VALUE]... [--clock-input ID]... [--no-module]
      Runs the module for a moment (default 0.5 s), then draws its panel.
  list
      The models of the plug-in, in order, with their names.
  check
      Creates every module and panel (with and without a module), runs each
      module for one second, destroys everything; reports per model.
  phrase [--model SLUG]
      Creates a phrase generator and prints its first phrase.
  layout --model SLUG
      Prints the panel's size and every control, port and light as JSON:
      kind, id, centre and size in panel pixels (for drawing callouts).

Options for every command:
  --plugin DIR     the plug-in folder (default: the one this build made)
  -v, --verbose    show the modules' debug log
)";

struct UsageError : rack::Exception {
	explicit UsageError(const std::string& message) : rack::Exception(message) {
	}
};

// Options of one command line: positional arguments and --name value pairs.
struct Args {
	std::vector<std::string> positional;
	std::multimap<std::string, std::string> values;
	std::vector<std::string> flags;

	bool flag(const std::string& name) const {
		for (const std::string& f : flags)
			if (f == name)
				return true;
		return false;
	}
	bool has(const std::string& name) const {
		return values.count(name) > 0;
	}
	std::string get(const std::string& name, const std::string& fallback = "") const {
		auto it = values.find(name);
		if (it == values.end())
			return fallback;
		if (values.count(name) > 1)
			throw UsageError(rack::string::f("%s given more than once", name.c_str()));
		return it->second;
	}
	std::vector<std::string> all(const std::string& name) const {
		std::vector<std::string> v;
		auto range = values.equal_range(name);
		for (auto it = range.first; it != range.second; ++it)
			v.push_back(it->second);
		return v;
	}
};

Args parseArgs(const std::vector<std::string>& args, size_t first) {
	static const char* const withValue[] = {"-o",       "--output",      "--seconds", "--sample-rate",
	                                        "--format", "--save-patch",  "--model",   "--zoom",
	                                        "--param",  "--clock-input", "--plugin"};
	static const char* const flags[] = {"--all", "--no-module", "-v", "--verbose"};
	Args a;
	for (size_t i = first; i < args.size(); i++) {
		const std::string& s = args[i];
		bool known = false;
		for (const char* name : withValue) {
			if (s == name) {
				if (i + 1 >= args.size())
					throw UsageError(rack::string::f("%s needs a value", s.c_str()));
				a.values.emplace(s == "--output" ? "-o" : s, args[++i]);
				known = true;
			}
		}
		for (const char* name : flags) {
			if (s == name) {
				a.flags.push_back(s == "--verbose" ? "-v" : s);
				known = true;
			}
		}
		if (known)
			continue;
		if (s.size() > 1 && s[0] == '-')
			throw UsageError(rack::string::f("unknown option %s", s.c_str()));
		a.positional.push_back(s);
	}
	return a;
}

double parseNumber(const std::string& text, const char* what) {
	char* end = nullptr;
	double v = std::strtod(text.c_str(), &end);
	if (text.empty() || *end != '\0' || !std::isfinite(v))
		throw UsageError(rack::string::f("%s must be a number, not \"%s\"", what, text.c_str()));
	return v;
}

int parseInt(const std::string& text, const char* what) {
	double v = parseNumber(text, what);
	if (v != std::floor(v) || std::fabs(v) > 1e9)
		throw UsageError(rack::string::f("%s must be a whole number, not \"%s\"", what, text.c_str()));
	return (int)v;
}

void allow(const Args& a, std::initializer_list<const char*> names, size_t maxPositional) {
	for (const auto& v : a.values) {
		bool ok = v.first == "--plugin";
		for (const char* n : names)
			ok |= v.first == n;
		if (!ok)
			throw UsageError(rack::string::f("option %s does not apply here", v.first.c_str()));
	}
	for (const std::string& f : a.flags) {
		bool ok = f == "-v";
		for (const char* n : names)
			ok |= f == n;
		if (!ok)
			throw UsageError(rack::string::f("option %s does not apply here", f.c_str()));
	}
	if (a.positional.size() > maxPositional)
		throw UsageError(rack::string::f("unexpected argument %s", a.positional[maxPositional].c_str()));
}

// The host's plug-ins (Rackhost, Core) and the plug-in folder.
std::unique_ptr<PluginSet> loadPlugins(const Args& a) {
	std::unique_ptr<PluginSet> plugins(new PluginSet);
	plugins->add(loadPlugin(a.get("--plugin", builtPluginDir())));
	return plugins;
}

// The loaded plug-in's models, in order.
std::vector<rack::plugin::Model*> pluginModels(const PluginSet& plugins) {
	std::vector<rack::plugin::Model*> models;
	for (rack::plugin::Plugin* p : plugins.plugins())
		if (!plugins.isHostPlugin(p))
			for (rack::plugin::Model* m : p->models)
				models.push_back(m);
	return models;
}

rack::plugin::Model* requireModel(const PluginSet& plugins, const std::string& slug) {
	rack::plugin::Model* model = plugins.findModel(slug);
	if (!model)
		throw rack::Exception("The plug-in has no model \"%s\"", slug.c_str());
	return model;
}

int cmdList(const Args& a, std::ostream& out) {
	allow(a, {}, 0);
	auto plugins = loadPlugins(a);
	for (rack::plugin::Plugin* p : plugins->plugins()) {
		if (plugins->isHostPlugin(p))
			continue;
		out << p->slug << " " << p->version << " (" << p->path << ")\n";
		for (rack::plugin::Model* m : p->models)
			out << "  " << std::left << std::setw(12) << m->slug << " " << m->name
			    << (m->description.empty() ? "" : " - " + m->description) << "\n";
	}
	for (rack::plugin::Plugin* host : {plugins->hostModules(), plugins->core()}) {
		out << host->slug << " " << host->version
		    << (host == plugins->core() ? " (stand-in of Rack's Core)\n" : " (host modules)\n");
		for (rack::plugin::Model* m : host->models)
			out << "  " << std::left << std::setw(16) << m->slug << " " << m->name << " - " << m->description << "\n";
	}
	return 0;
}

int cmdRender(const Args& a, std::ostream& out, std::ostream& err, bool errIsTerminal) {
	allow(a, {"-o", "--seconds", "--sample-rate", "--format", "--save-patch"}, 1);
	if (a.positional.empty())
		throw UsageError(rack::string::f("render needs a patch file"));
	if (!a.has("-o"))
		throw UsageError(rack::string::f("render needs -o OUT.wav"));
	RenderOptions options;
	options.wavPath = a.get("-o");
	options.seconds = parseNumber(a.get("--seconds", "10"), "--seconds");
	options.sampleRate = parseInt(a.get("--sample-rate", "48000"), "--sample-rate");
	std::string format = a.get("--format", "f32");
	if (format == "f32")
		options.format = SampleFormat::FLOAT32;
	else if (format == "s24")
		options.format = SampleFormat::PCM24;
	else
		throw UsageError(rack::string::f("--format must be f32 or s24, not \"%s\"", format.c_str()));
	if (options.sampleRate < 1000 || options.sampleRate > 768000)
		throw UsageError(rack::string::f("--sample-rate must be between 1000 and 768000"));

	auto plugins = loadPlugins(a);
	std::unique_ptr<Patch> patch = Patch::fromFile(a.positional[0], *plugins, (float)options.sampleRate);
	for (const std::string& n : patch->notices())
		err << "rackhost: notice: " << n << "\n";
	for (const std::string& w : patch->warnings())
		err << "rackhost: warning: " << w << "\n";

	// Progress only for renders that take a while.
	ProgressPacer pacer;
	options.progress = [&](int64_t done, int64_t total, double wall) {
		if (pacer.due(done, total, wall))
			err << (errIsTerminal ? "\r" : "") << progressLine(done, total, options.sampleRate, wall)
			    << (errIsTerminal ? "" : "\n") << std::flush;
	};
	RenderResult r = render(*patch, options);
	if (pacer.shown && errIsTerminal)
		err << "\n";
	if (a.has("--save-patch"))
		patch->saveFile(a.get("--save-patch"));

	out << summaryLine(r.frames, r.channels, options.sampleRate, format, r.wallSeconds, r.cpuSeconds, options.wavPath)
	    << "\n";
	if (a.has("--save-patch"))
		out << "patch saved to " << a.get("--save-patch") << "\n";
	return 0;
}

int cmdScreenshot(const Args& a, std::ostream& out, std::ostream& err) {
	allow(a, {"-o", "--model", "--all", "--zoom", "--seconds", "--param", "--clock-input", "--no-module"}, 0);
	bool all = a.flag("--all");
	if (all == a.has("--model"))
		throw UsageError(rack::string::f("screenshot needs either --model SLUG or --all"));
	if (!a.has("-o"))
		throw UsageError(rack::string::f("screenshot needs -o %s", all ? "DIR" : "OUT.png"));
	std::string output = a.get("-o");
	float zoom = (float)parseNumber(a.get("--zoom", "2"), "--zoom");
	if (!(zoom > 0) || zoom > 16)
		throw UsageError(rack::string::f("--zoom must be above 0 and at most 16"));
	if (all) {
		std::error_code error;
		std::filesystem::create_directory(output, error);
		if (!std::filesystem::is_directory(output))
			throw rack::Exception("Cannot create folder %s", output.c_str());
	}

	auto plugins = loadPlugins(a);
	std::vector<rack::plugin::Model*> models =
	    all ? pluginModels(*plugins) : std::vector<rack::plugin::Model*>{requireModel(*plugins, a.get("--model"))};
	for (rack::plugin::Model* model : models) {
		PreviewSetup setup = defaultPreviewSetup(model->slug);
		if (a.has("--seconds"))
			setup.seconds = (float)parseNumber(a.get("--seconds"), "--seconds");
		if (!(setup.seconds >= 0) || setup.seconds > 3600)
			throw UsageError(rack::string::f("--seconds must be between 0 and 3600"));
		if (a.has("--param") || a.has("--clock-input")) {
			setup.params.clear();
			setup.clockInputs.clear();
		}
		for (const std::string& p : a.all("--param")) {
			size_t eq = p.find('=');
			if (eq == std::string::npos)
				throw UsageError(rack::string::f("--param takes ID=VALUE, not \"%s\"", p.c_str()));
			setup.params.push_back(
			    {parseInt(p.substr(0, eq), "--param id"), (float)parseNumber(p.substr(eq + 1), "--param value")});
		}
		for (const std::string& c : a.all("--clock-input"))
			setup.clockInputs.push_back(parseInt(c, "--clock-input"));
		setup.withoutModule = a.flag("--no-module");

		std::string path = all ? output + "/" + model->slug + ".png" : output;
		for (const std::string& problem : screenshot(*plugins, model, setup, zoom, path))
			err << "rackhost: warning: " << model->slug << ": " << problem << "\n";
		out << model->slug << " -> " << path << "\n";
	}
	return 0;
}

// Checks one model; returns an empty string when all went well.
std::string checkModel(rack::plugin::Model* model, std::string* summary) {
	try {
		const float sampleRate = 48000.f;
		const int frameLength = 800;
		auto start = std::chrono::steady_clock::now();
		NVGcontext* vg = nvgstandin::create(nullptr, nullptr);
		struct VgGuard {
			NVGcontext* vg;
			~VgGuard() {
				nvgstandin::destroy(vg);
			}
		} vgGuard{vg};
		auto draw = [&](rack::app::ModuleWidget* panel) {
			rack::widget::Widget::DrawArgs args;
			args.vg = vg;
			args.clipBox = rack::math::Rect(rack::math::Vec(0, 0), panel->box.size);
			panel->draw(args);
		};

		std::string info;
		std::vector<std::string> notes;
		{
			Patch patch(sampleRate);
			int64_t id = patch.addModule(model);
			rack::engine::Module* module = patch.module(id);
			rack::app::ModuleWidget* panel = patch.panel(id);
			if (!panel)
				return "the model made no panel";
			info = rack::string::f("%d params, %d inputs, %d outputs, %d lights; panel %g x %g px",
			                       module->getNumParams(), module->getNumInputs(), module->getNumOutputs(),
			                       module->getNumLights(), panel->box.size.x, panel->box.size.y);
			if (!(panel->box.size.x > 0))
				notes.push_back("the panel has no width");
			draw(panel);
			for (int f = 0; f < (int)sampleRate / frameLength; f++) {
				patch.process(frameLength);
				patch.stepPanels();
			}
			for (int o = 0; o < module->getNumOutputs(); o++)
				if (!std::isfinite(module->outputs[o].getVoltage()))
					notes.push_back(rack::string::f("output %d is not finite", o));
			draw(panel);
			// Save and restore the module's data as the host does with a patch.
			json_t* dataJ = patch.moduleData(id);
			if (dataJ) {
				patch.loadModuleData(id, dataJ);
				json_decref(dataJ);
				patch.stepPanels();
				draw(panel);
			}
		} // the panel deletes its module

		rack::app::ModuleWidget* preview = model->createModuleWidget(nullptr);
		if (!preview)
			return "the model made no panel without a module";
		preview->step();
		draw(preview);
		delete preview;

		double ms = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() * 1000;
		*summary = info + "; ran 1 s at 48000 Hz in " + fixedDecimals(ms, 1) + " ms";
		std::string joined;
		for (const std::string& n : notes)
			joined += (joined.empty() ? "" : "; ") + n;
		return joined;
	}
	catch (std::exception& e) {
		return e.what();
	}
}

int cmdCheck(const Args& a, std::ostream& out) {
	allow(a, {}, 0);
	auto plugins = loadPlugins(a);
	std::vector<rack::plugin::Model*> models = pluginModels(*plugins);
	int failures = 0;
	for (rack::plugin::Model* model : models) {
		std::string summary;
		std::string problem = checkModel(model, &summary);
		if (problem.empty()) {
			out << "ok    " << model->slug << ": " << summary << "\n";
		} else {
			out << "FAIL  " << model->slug << ": " << problem << "\n";
			failures++;
		}
	}
	if (models.empty()) {
		out << "FAIL  the plug-in registers no model\n";
		return 1;
	}
	out << (failures ? std::to_string(failures) + " of " + std::to_string(models.size()) + " models failed"
	                 : "all " + std::to_string(models.size()) + " models ok")
	    << "\n";
	return failures ? 1 : 0;
}

int cmdPhrase(const Args& a, std::ostream& out) {
	allow(a, {"--model"}, 0);
	auto plugins = loadPlugins(a);
	rack::plugin::Model* model = requireModel(*plugins, a.get("--model", "Motifex"));
	Patch patch;
	int64_t id = patch.addModule(model);
	json_t* dataJ = patch.moduleData(id);
	std::unique_ptr<json_t, void (*)(json_t*)> data(dataJ, json_decref);
	json_t* notesJ = json_object_get(dataJ, "currentNoteArray");
	if (!json_is_array(notesJ))
		throw rack::Exception("%s saved no phrase (no \"currentNoteArray\" in its data)", model->slug.c_str());

	auto text = [&](const char* key) {
		json_t* s = json_object_get(dataJ, key);
		return std::string(json_is_string(s) ? json_string_value(s) : "?");
	};
	out << "key: " << text("currentKeyMain") << "\n";
	out << "chords: " << text("currentProg1") << " " << text("currentProg2") << " " << text("currentProg3") << " "
	    << text("currentProg4") << "\n";
	out << "steps: " << json_array_size(notesJ) << "\n";
	size_t i;
	json_t* noteJ;
	json_array_foreach(notesJ, i, noteJ) {
		out << std::right << std::setw(3) << i + 1 << "  ";
		if (!json_is_number(noteJ)) {
			out << "?\n";
			continue;
		}
		float v = (float)json_number_value(noteJ);
		std::string name = noteName(v);
		if (name == "__" || name == "rest")
			out << name << "\n";
		else
			out << std::left << std::setw(5) << name << "  " << fixedDecimals(v, 2) << " Hz\n";
	}
	return 0;
}

int cmdLayout(const Args& a, std::ostream& out) {
	allow(a, {"--model"}, 0);
	if (!a.has("--model"))
		throw UsageError(rack::string::f("layout needs --model SLUG"));
	auto plugins = loadPlugins(a);
	rack::plugin::Model* model = requireModel(*plugins, a.get("--model"));
	// The browser's preview: the panel without a module, as the host draws it.
	std::unique_ptr<rack::app::ModuleWidget> panel(model->createModuleWidget(nullptr));
	if (!panel)
		throw rack::Exception("Model %s has no panel", model->slug.c_str());
	json_t* rootJ = json_object();
	json_object_set_new(rootJ, "model", json_string(model->slug.c_str()));
	json_object_set_new(rootJ, "width", json_real(panel->box.size.x));
	json_object_set_new(rootJ, "height", json_real(panel->box.size.y));
	json_t* widgetsJ = json_array();
	json_object_set_new(rootJ, "widgets", widgetsJ);
	for (rack::widget::Widget* child : panel->children) {
		const char* kind = nullptr;
		int id = -1;
		if (auto* param = dynamic_cast<rack::app::ParamWidget*>(child)) {
			kind = "param";
			id = param->paramId;
		} else if (auto* port = dynamic_cast<rack::app::PortWidget*>(child)) {
			kind = port->type == rack::engine::Port::INPUT ? "input" : "output";
			id = port->portId;
		} else if (auto* light = dynamic_cast<rack::app::ModuleLightWidget*>(child)) {
			kind = "light";
			id = light->firstLightId;
		}
		if (!kind)
			continue;
		rack::math::Vec c = child->box.getCenter();
		json_t* w = json_object();
		json_object_set_new(w, "kind", json_string(kind));
		json_object_set_new(w, "id", json_integer(id));
		json_object_set_new(w, "x", json_real(c.x));
		json_object_set_new(w, "y", json_real(c.y));
		json_object_set_new(w, "w", json_real(child->box.size.x));
		json_object_set_new(w, "h", json_real(child->box.size.y));
		json_array_append_new(widgetsJ, w);
	}
	char* text = json_dumps(rootJ, JSON_INDENT(1));
	out << text << "\n";
	free(text);
	json_decref(rootJ);
	return 0;
}

} // namespace

int runCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal) {
	if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
		(args.empty() ? err : out) << USAGE;
		return args.empty() ? 2 : 0;
	}
	const std::string& command = args[0];
	try {
		Args a = parseArgs(args, 1);
		if (a.flag("-v"))
			rack::logger::setVerbose(true);
		if (command == "list")
			return cmdList(a, out);
		if (command == "render")
			return cmdRender(a, out, err, errIsTerminal);
		if (command == "screenshot")
			return cmdScreenshot(a, out, err);
		if (command == "check")
			return cmdCheck(a, out);
		if (command == "phrase")
			return cmdPhrase(a, out);
		if (command == "layout")
			return cmdLayout(a, out);
		throw UsageError(rack::string::f("unknown command %s", command.c_str()));
	}
	catch (UsageError& e) {
		err << "rackhost: " << e.what() << "\n(rackhost help shows the commands and options)\n";
		return 2;
	}
	catch (std::exception& e) {
		err << "rackhost: " << e.what() << "\n";
		return 1;
	}
}

} // namespace rackhost
