// Stand-in for the NanoVG drawing API that the host hands to widgets.
// Only the calls the component widgets and plug-ins use are provided. Every
// call goes to the context's backend (see nanovg_backend.hpp), which records it
// (tests) or paints it (the headless host's screenshots).
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef struct NVGcontext NVGcontext;

struct NVGcolor {
	union {
		float rgba[4];
		struct {
			float r, g, b, a;
		};
	};
};
typedef struct NVGcolor NVGcolor;

enum NVGalign {
	NVG_ALIGN_LEFT = 1 << 0,
	NVG_ALIGN_CENTER = 1 << 1,
	NVG_ALIGN_RIGHT = 1 << 2,
	NVG_ALIGN_TOP = 1 << 3,
	NVG_ALIGN_MIDDLE = 1 << 4,
	NVG_ALIGN_BOTTOM = 1 << 5,
	NVG_ALIGN_BASELINE = 1 << 6,
};

NVGcolor nvgRGB(unsigned char r, unsigned char g, unsigned char b);
NVGcolor nvgRGBf(float r, float g, float b);
NVGcolor nvgRGBA(unsigned char r, unsigned char g, unsigned char b, unsigned char a);
NVGcolor nvgRGBAf(float r, float g, float b, float a);

void nvgSave(NVGcontext* ctx);
void nvgRestore(NVGcontext* ctx);
void nvgTranslate(NVGcontext* ctx, float x, float y);
void nvgScale(NVGcontext* ctx, float x, float y);

void nvgFillColor(NVGcontext* ctx, NVGcolor color);
void nvgStrokeColor(NVGcontext* ctx, NVGcolor color);
void nvgStrokeWidth(NVGcontext* ctx, float size);

void nvgBeginPath(NVGcontext* ctx);
void nvgMoveTo(NVGcontext* ctx, float x, float y);
void nvgLineTo(NVGcontext* ctx, float x, float y);
void nvgClosePath(NVGcontext* ctx);
void nvgRect(NVGcontext* ctx, float x, float y, float w, float h);
void nvgRoundedRect(NVGcontext* ctx, float x, float y, float w, float h, float r);
void nvgCircle(NVGcontext* ctx, float cx, float cy, float r);
void nvgFill(NVGcontext* ctx);
void nvgStroke(NVGcontext* ctx);

void nvgFontSize(NVGcontext* ctx, float size);
void nvgFontFaceId(NVGcontext* ctx, int font);
void nvgTextLetterSpacing(NVGcontext* ctx, float spacing);
void nvgTextAlign(NVGcontext* ctx, int align);
float nvgText(NVGcontext* ctx, float x, float y, const char* string, const char* end);

#ifdef __cplusplus
}
#endif
