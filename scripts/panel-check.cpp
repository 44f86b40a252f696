// Checks of the panel graphics against the host's own renderer, for the
// panels part of scripts/test-official.sh. Built there against the official
// kit's nanosvg.h and nanosvgrast.h (the code the host draws panels with),
// cairo for PNG files and jansson for the label boxes.
//
//   panel-check compare PANEL.svg FULL.png     nanosvg's picture of PANEL.svg at
//                                              FULL.png's size against FULL.png
//   panel-check crops SHOT.png LABELS.json UPSCALE OUTDIR
//                                              one upscaled picture per printed name
//   panel-check ocr EXPECTED.txt OCR.txt...    the names read against the names printed;
//                                              a name counts as read when one reading
//                                              (e.g. of crops at two scales) has it
#include <cairo.h>
#include <jansson.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#define NANOSVG_IMPLEMENTATION
#include <nanosvg.h>
#define NANOSVGRAST_IMPLEMENTATION
#include <nanosvgrast.h>

namespace {

const float SVG_DPI = 75.f;

struct Image {
	int w = 0, h = 0;
	std::vector<unsigned char> rgba; // straight alpha
	unsigned char at(int x, int y, int c) const {
		return rgba[4 * ((size_t)y * w + x) + c];
	}
};

Image readPng(const std::string& path) {
	cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
	if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
		fprintf(stderr, "panel-check: cannot read %s\n", path.c_str());
		exit(2);
	}
	cairo_surface_flush(s);
	Image img;
	img.w = cairo_image_surface_get_width(s);
	img.h = cairo_image_surface_get_height(s);
	img.rgba.resize((size_t)img.w * img.h * 4);
	int stride = cairo_image_surface_get_stride(s);
	const unsigned char* data = cairo_image_surface_get_data(s);
	bool alpha = cairo_image_surface_get_format(s) == CAIRO_FORMAT_ARGB32;
	for (int y = 0; y < img.h; y++)
		for (int x = 0; x < img.w; x++) {
			uint32_t p;
			memcpy(&p, data + y * stride + 4 * x, 4);
			int a = alpha ? p >> 24 : 255;
			for (int c = 0; c < 3; c++) {
				int v = (p >> (16 - 8 * c)) & 0xff;
				img.rgba[4 * ((size_t)y * img.w + x) + c] = a ? std::min(255, v * 255 / a) : 0;
			}
			img.rgba[4 * ((size_t)y * img.w + x) + 3] = a;
		}
	cairo_surface_destroy(s);
	return img;
}

// Colour over black, as the pixel is seen on the host's dark rack.
int seen(const Image& img, int x, int y, int c) {
	return img.at(x, y, c) * img.at(x, y, 3) / 255;
}

// A pixel of one picture matches when each channel is within `tolerance` of
// the other picture's pixel, or lies within the range (widened by `tolerance`)
// of the other's 3x3 neighbourhood: anti-aliasing differs only along edges,
// where a renderer's partial coverage mixes the colours on either side.
bool matches(const Image& a, const Image& b, int x, int y, int tolerance) {
	for (int c = 0; c < 3; c++) {
		int v = seen(a, x, y, c);
		if (std::abs(v - seen(b, x, y, c)) <= tolerance)
			continue;
		int lo = 255, hi = 0;
		for (int dy = -1; dy <= 1; dy++)
			for (int dx = -1; dx <= 1; dx++) {
				int nx = x + dx, ny = y + dy;
				if (nx < 0 || ny < 0 || nx >= b.w || ny >= b.h)
					continue;
				int u = seen(b, nx, ny, c);
				lo = std::min(lo, u);
				hi = std::max(hi, u);
			}
		if (v < lo - tolerance || v > hi + tolerance)
			return false;
	}
	return true;
}

int compare(const std::string& svgPath, const std::string& fullPng) {
	Image full = readPng(fullPng);
	NSVGimage* svg = nsvgParseFromFile(svgPath.c_str(), "px", SVG_DPI);
	if (!svg || svg->width <= 0) {
		fprintf(stderr, "panel-check: nanosvg cannot read %s\n", svgPath.c_str());
		return 2;
	}
	float scale = full.w / svg->width;
	Image host;
	host.w = full.w;
	host.h = full.h;
	host.rgba.assign((size_t)host.w * host.h * 4, 0);
	NSVGrasterizer* rast = nsvgCreateRasterizer();
	nsvgRasterize(rast, svg, 0, 0, scale, host.rgba.data(), host.w, host.h, host.w * 4);
	nsvgDeleteRasterizer(rast);
	nsvgDelete(svg);

	const int tolerance = 24;
	long bad = 0, any = 0, beyond = 0;
	for (int y = 0; y < host.h; y++)
		for (int x = 0; x < host.w; x++) {
			int diff = 0;
			for (int c = 0; c < 3; c++)
				diff = std::max(diff, std::abs(seen(host, x, y, c) - seen(full, x, y, c)));
			any += diff > 0;
			beyond += diff > tolerance;
			// Either way round: a shape missing from one picture shows in both directions.
			if (!matches(host, full, x, y, tolerance) || !matches(full, host, x, y, tolerance))
				bad++;
		}
	double share = 100.0 * bad / ((double)host.w * host.h);
	printf("%s: %ld of %d x %d pixels differ beyond the anti-aliasing allowance (%.4f %%); %ld differ at all, "
	       "%ld by more than %d levels\n",
	       svgPath.c_str(), bad, host.w, host.h, share, any, beyond, tolerance);
	return share <= 0.1 ? 0 : 1;
}

int crops(const std::string& shotPath, const std::string& labelsPath, double upscale, const std::string& outDir) {
	json_error_t error;
	json_t* root = json_load_file(labelsPath.c_str(), 0, &error);
	if (!root) {
		fprintf(stderr, "panel-check: %s: %s\n", labelsPath.c_str(), error.text);
		return 2;
	}
	cairo_surface_t* shot = cairo_image_surface_create_from_png(shotPath.c_str());
	if (cairo_surface_status(shot) != CAIRO_STATUS_SUCCESS) {
		fprintf(stderr, "panel-check: cannot read %s\n", shotPath.c_str());
		return 2;
	}
	// The host's picture is the panel at a whole zoom: 600 px wide at 1.
	double zoom = std::round(cairo_image_surface_get_width(shot) / (203.2 * SVG_DPI / 25.4));
	double mm = zoom * SVG_DPI / 25.4;
	const double margin = 0.5; // mm
	std::ofstream list(outDir + "/list.txt"), expected(outDir + "/expected.txt");
	json_t* labels = json_object_get(root, "labels");
	int n = 0;
	for (size_t i = 0; i < json_array_size(labels); i++) {
		json_t* label = json_array_get(labels, i);
		std::string text = json_string_value(json_object_get(label, "text"));
		// Single characters (note letters, octave digits) are beyond a line reader.
		if (text.size() < 2)
			continue;
		json_t* box = json_object_get(label, "box");
		double x0 = (json_number_value(json_array_get(box, 0)) - margin) * mm;
		double y0 = (json_number_value(json_array_get(box, 1)) - margin) * mm;
		double x1 = (json_number_value(json_array_get(box, 2)) + margin) * mm;
		double y1 = (json_number_value(json_array_get(box, 3)) + margin) * mm;
		// Light names on dark panels: grey, inverted and upscaled for the OCR.
		int w = (int)std::ceil((x1 - x0) * upscale), h = (int)std::ceil((y1 - y0) * upscale);
		int pad = (int)(6 * upscale);
		cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w + 2 * pad, h + 2 * pad);
		cairo_t* cr = cairo_create(out);
		cairo_set_source_rgb(cr, 0, 0, 0);
		cairo_paint(cr);
		cairo_translate(cr, pad, pad);
		cairo_rectangle(cr, 0, 0, w, h);
		cairo_clip(cr);
		cairo_scale(cr, upscale, upscale);
		cairo_set_source_surface(cr, shot, -x0, -y0);
		cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
		cairo_paint(cr);
		cairo_destroy(cr);
		cairo_surface_flush(out);
		unsigned char* data = cairo_image_surface_get_data(out);
		int stride = cairo_image_surface_get_stride(out);
		auto grey = [&](int x, int y) {
			uint32_t p;
			memcpy(&p, data + y * stride + 4 * x, 4);
			return (int)(0.3 * ((p >> 16) & 0xff) + 0.59 * ((p >> 8) & 0xff) + 0.11 * (p & 0xff));
		};
		// The panel's colour (the commonest grey of the crop) becomes white,
		// the lightest ink black.
		int histogram[256] = {0}, ink = 0;
		for (int y = pad; y < pad + h; y++)
			for (int x = pad; x < pad + w; x++) {
				int g = grey(x, y);
				histogram[g]++;
				ink = std::max(ink, g);
			}
		int ground = 0;
		for (int g = 1; g < 256; g++)
			if (histogram[g] > histogram[ground])
				ground = g;
		for (int y = 0; y < h + 2 * pad; y++)
			for (int x = 0; x < w + 2 * pad; x++) {
				bool inside = x >= pad && y >= pad && x < pad + w && y < pad + h;
				double t = inside && ink > ground ? (grey(x, y) - ground) / (double)(ink - ground) : 0;
				int v = 255 - (int)std::lround(255 * std::min(1.0, std::max(0.0, t)));
				uint32_t p = 0xff000000u | (v << 16) | (v << 8) | v;
				memcpy(data + y * stride + 4 * x, &p, 4);
			}
		cairo_surface_mark_dirty(out);
		char name[64];
		snprintf(name, sizeof name, "/%03d.png", n++);
		cairo_surface_write_to_png(out, (outDir + name).c_str());
		cairo_surface_destroy(out);
		list << outDir << name << "\n";
		expected << text << "\n";
	}
	cairo_surface_destroy(shot);
	json_decref(root);
	printf("%d\n", n);
	return 0;
}

std::string squeeze(const std::string& s) {
	std::string out;
	for (char c : s)
		if (!isspace((unsigned char)c))
			out += c;
	return out;
}

std::string upper(std::string s) {
	for (char& c : s)
		c = (char)toupper((unsigned char)c);
	return s;
}

// Tesseract writes one page per picture, each ended by a form feed.
std::vector<std::string> pagesOf(const std::string& ocrPath) {
	std::ifstream o(ocrPath);
	std::stringstream all;
	all << o.rdbuf();
	std::vector<std::string> pages;
	std::string page;
	for (char c : all.str()) {
		if (c == '\f') {
			pages.push_back(page);
			page.clear();
		} else
			page += c;
	}
	if (page.find_first_not_of(" \t\r\n") != std::string::npos)
		pages.push_back(page);
	return pages;
}

int ocr(const std::string& expectedPath, const std::vector<std::string>& ocrPaths) {
	std::vector<std::vector<std::string>> readings;
	for (const std::string& path : ocrPaths)
		readings.push_back(pagesOf(path));
	std::ifstream e(expectedPath);
	int total = 0, missed = 0;
	std::string line;
	while (std::getline(e, line)) {
		bool found = false;
		std::string seen;
		for (const auto& pages : readings) {
			std::string read = total < (int)pages.size() ? squeeze(pages[total]) : "";
			// Case aside: a reader tells "LO" from "Lo" by the size of the
			// capitals around it, the OCR of a single word cannot.
			found = found || upper(read) == upper(squeeze(line));
			seen += (seen.empty() ? "\"" : ", \"") + read + "\"";
		}
		total++;
		if (!found) {
			missed++;
			printf("  not read: \"%s\" (read %s)\n", line.c_str(), seen.c_str());
		}
	}
	printf("%d of %d names read back\n", total - missed, total);
	return missed == 0 && total > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
	std::string cmd = argc > 1 ? argv[1] : "";
	if (cmd == "compare" && argc == 4)
		return compare(argv[2], argv[3]);
	if (cmd == "crops" && argc == 6 && std::atof(argv[4]) > 0)
		return crops(argv[2], argv[3], std::atof(argv[4]), argv[5]);
	if (cmd == "ocr" && argc >= 4)
		return ocr(argv[2], std::vector<std::string>(argv + 3, argv + argc));
	fprintf(stderr, "usage: panel-check compare SVG PNG | crops SHOT LABELS UPSCALE OUTDIR | ocr EXPECTED OCR...\n");
	return 2;
}
