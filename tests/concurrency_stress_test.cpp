// Both modules with their panels, driven the way the host drives them: the
// engine thread runs process at audio rate while buttons and inputs toggle,
// the interface thread steps and draws the panel as fast as it can, and a
// third thread saves and loads the module's data with the engine paused.
// Run under ThreadSanitizer in CI; here it also checks what the panel shows.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "Motifex.hpp"
#include "PluginFixture.hpp"
#include "Quadrelle.hpp"
#include "nanovg_backend.hpp"

namespace {

using SteadyClock = std::chrono::steady_clock;

double stressSeconds() {
	const char* env = std::getenv("CHORDWRIGHT_STRESS_SECONDS");
	return env ? std::atof(env) : 2.0;
}

// The engine's lock, as the host holds it while it processes a block and
// while it saves or loads module data.
struct EngineLock {
	// The host's context, which every host thread sets before it touches
	// a module (parameter quantities go through its engine).
	rack::Context* context = rack::contextGet();
	std::mutex mutex;
	std::atomic<bool> stop{false};
	long samples = 0;
};

template <class F> void engineLoop(EngineLock& engine, F processOneSample) {
	while (!engine.stop.load()) {
		std::lock_guard<std::mutex> lock(engine.mutex);
		for (int i = 0; i < 64; i++) {
			processOneSample(engine.samples);
			engine.samples++;
		}
	}
}

// Saves and loads module data every few milliseconds with the engine paused.
template <class F> std::thread patchIoLoop(EngineLock& engine, long& count, F saveAndLoad) {
	return std::thread([&engine, &count, saveAndLoad] {
		rack::contextSet(engine.context);
		while (!engine.stop.load()) {
			std::this_thread::sleep_for(std::chrono::milliseconds(5));
			std::lock_guard<std::mutex> lock(engine.mutex);
			saveAndLoad();
			count++;
		}
	});
}

// Lets the threads run for the stress time, then stops and joins them.
void runThenJoin(EngineLock& engine, std::thread& audio, std::thread& interface, std::thread& patchIo) {
	auto until = SteadyClock::now() + std::chrono::duration<double>(stressSeconds());
	while (SteadyClock::now() < until)
		std::this_thread::sleep_for(std::chrono::milliseconds(10));
	engine.stop = true;
	audio.join();
	interface.join();
	patchIo.join();
}

// Steps and draws the panel through a recording drawing context.
struct Interface {
	std::vector<nvgstandin::Call> calls;
	NVGcontext* vg = nvgstandin::create(&calls, nullptr);
	long frames = 0;
	~Interface() {
		nvgstandin::destroy(vg);
	}
	void frame(rack::app::ModuleWidget* panel) {
		calls.clear();
		panel->step();
		rack::widget::Widget::DrawArgs args;
		args.vg = vg;
		args.clipBox = rack::math::Rect(rack::math::Vec(), panel->box.size);
		panel->draw(args);
		frames++;
	}
};

std::set<std::string> validLabelTexts(Motifex* m) {
	std::set<std::string> names(m->noteLabels.begin(), m->noteLabels.end());
	names.insert(" ");
	names.insert("D3");
	names.insert(allKeysLabels.begin(), allKeysLabels.end());
	names.insert(m->pitchClassNames.begin(), m->pitchClassNames.end());
	return names;
}

} // namespace

TEST(Concurrency, PhraseGeneratorWithPanelSaveAndLoad) {
	rack::plugin::Model* model = testing_support::model("Motifex");
	Motifex* m = dynamic_cast<Motifex*>(model->createModule());
	ASSERT_NE(m, nullptr);
	const std::set<std::string> valid = validLabelTexts(m);
	m->params[Motifex::RUN_PARAM].setValue(1.f);
	m->inputs[Motifex::CLOCK_INPUT].channels = 1;
	m->inputs[Motifex::TUNE_INPUT].channels = 1;
	m->outputs[Motifex::CV_OUTPUT].channels = 1;
	m->outputs[Motifex::GATE_OUTPUT].channels = 1;
	rack::app::ModuleWidget* panel = model->createModuleWidget(m);

	EngineLock engine;
	std::vector<Motifex::TextLabel*> labels(m->stepLabels, m->stepLabels + 32);
	labels.insert(labels.end(), m->chordLabels, m->chordLabels + 4);
	labels.push_back(m->keyLabel);

	std::thread audio([&] {
		rack::contextSet(engine.context);
		rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};
		engineLoop(engine, [&](long n) {
			// A clock at 1.5 kHz, buttons pressed now and then for a while.
			m->inputs[Motifex::CLOCK_INPUT].setVoltage((n / 16) % 2 ? 10.f : 0.f);
			m->inputs[Motifex::TUNE_INPUT].setVoltage(float((n / 1000) % 3) - 1.f);
			long phase = n % 24000;
			m->params[Motifex::REGENERATE_PARAM].setValue(phase < 100 ? 1.f : 0.f);
			m->params[Motifex::KEY_UP_PARAM].setValue(phase >= 4000 && phase < 4100 ? 1.f : 0.f);
			m->params[Motifex::KEY_DOWN_PARAM].setValue(phase >= 8000 && phase < 8100 ? 1.f : 0.f);
			m->params[Motifex::PROGRESSION_CHORD_1_PARAM + (n / 24000) % 4].setValue(
			    phase >= 12000 && phase < 12100 ? 1.f : 0.f);
			m->params[Motifex::RESET_PARAM].setValue(phase >= 16000 && phase < 16010 ? 1.f : 0.f);
			args.frame = n;
			m->process(args);
			ASSERT_TRUE(std::isfinite(m->outputs[Motifex::CV_OUTPUT].getVoltage()));
		});
	});

	Interface ui;
	std::atomic<long> badTexts{0};
	std::thread interface([&] {
		rack::contextSet(engine.context);
		while (!engine.stop.load()) {
			ui.frame(panel);
			for (Motifex::TextLabel* label : labels)
				if (!valid.count(label->getText()))
					badTexts++;
		}
	});

	long saves = 0;
	std::thread patchIo = patchIoLoop(engine, saves, [m] {
		json_t* data = m->dataToJson();
		m->dataFromJson(data);
		json_decref(data);
	});
	runThenJoin(engine, audio, interface, patchIo);

	std::printf("phrase generator: %ld samples, %ld panel frames, %ld save/load pairs\n", engine.samples, ui.frames,
	            saves);
	EXPECT_EQ(badTexts.load(), 0);
	EXPECT_GT(engine.samples, 0);
	EXPECT_GT(ui.frames, 0);
	EXPECT_GT(saves, 0);
	delete panel;
}

TEST(Concurrency, ChordOscillatorWithPanel) {
	rack::plugin::Model* model = testing_support::model("Quadrelle");
	Quadrelle* q = dynamic_cast<Quadrelle*>(model->createModule());
	ASSERT_NE(q, nullptr);
	for (int o = 0; o < Quadrelle::OUTPUTS_LEN; o++)
		q->outputs[o].channels = 1;
	q->inputs[Quadrelle::VOCT_INPUT].channels = 1;
	rack::app::ModuleWidget* panel = model->createModuleWidget(q);

	EngineLock engine;
	std::thread audio([&] {
		rack::contextSet(engine.context);
		rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};
		engineLoop(engine, [&](long n) {
			q->inputs[Quadrelle::VOCT_INPUT].setVoltage(float((n / 5000) % 5) - 2.f);
			args.frame = n;
			q->process(args);
			ASSERT_TRUE(std::isfinite(q->outputs[Quadrelle::MIX_OUTPUT].getVoltage()));
		});
	});

	// The interface moves knobs and presses buttons as a user would, while it
	// draws the panel.
	Interface ui;
	std::thread interface([&] {
		rack::contextSet(engine.context);
		std::mt19937 rng(7);
		std::uniform_int_distribution<int> param(0, Quadrelle::RANGE_PARAM);
		std::uniform_real_distribution<float> unit(0.f, 1.f);
		while (!engine.stop.load()) {
			rack::engine::ParamQuantity* pq = q->paramQuantities[param(rng)];
			pq->setValue(pq->getMinValue() + unit(rng) * (pq->getMaxValue() - pq->getMinValue()));
			ui.frame(panel);
		}
	});

	long saves = 0;
	// The host saves the chord oscillator's parameters only.
	std::thread patchIo = patchIoLoop(engine, saves, [q] {
		std::vector<float> values;
		for (rack::engine::Param& p : q->params)
			values.push_back(p.getValue());
		for (size_t i = 0; i < values.size(); i++)
			q->params[i].setValue(values[i]);
	});
	runThenJoin(engine, audio, interface, patchIo);

	std::printf("chord oscillator: %ld samples, %ld panel frames, %ld saves\n", engine.samples, ui.frames, saves);
	EXPECT_GT(engine.samples, 0);
	EXPECT_GT(ui.frames, 0);
	delete panel;
}
