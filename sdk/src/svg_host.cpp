// What the host's SVG renderer (nanosvg) makes of a document, as a document a
// full renderer draws the same way. nanosvg reads the file as a flat stream of
// tags: it draws the basic shapes and groups, reads gradients, skips all but
// gradients inside <defs>, and ignores every other element (its attributes
// too) while still drawing the shapes nested in it. It reads a fixed set of
// presentation attributes, from attributes and inline style alike, the later
// one winning; an element's opacity replaces its parent's and applies to each
// shape alone; unknown colours are grey.
#include "svg_host.hpp"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "common.hpp"

namespace rack {
namespace window {

namespace {

const std::set<std::string> SHAPES = {"path", "rect", "circle", "ellipse", "line", "polyline", "polygon"};
const std::set<std::string> GRADIENT = {"linearGradient", "radialGradient", "stop"};
// Elements no renderer draws: dropped without a word.
const std::set<std::string> SILENT = {"title", "desc", "metadata"};

const std::set<std::string> PRESENTATION = {
    "display",
    "fill",
    "fill-opacity",
    "stroke",
    "stroke-width",
    "stroke-dasharray",
    "stroke-dashoffset",
    "stroke-opacity",
    "stroke-linecap",
    "stroke-linejoin",
    "stroke-miterlimit",
    "fill-rule",
    "transform",
    "stop-color",
    "stop-opacity",
    "offset",
    "id",
    "opacity",
};
const std::map<std::string, std::set<std::string>> GEOMETRY = {
    {"svg", {"width", "height", "viewBox", "preserveAspectRatio"}},
    {"g", {}},
    {"defs", {}},
    {"path", {"d"}},
    {"rect", {"x", "y", "width", "height", "rx", "ry"}},
    {"circle", {"cx", "cy", "r"}},
    {"ellipse", {"cx", "cy", "rx", "ry"}},
    {"line", {"x1", "y1", "x2", "y2"}},
    {"polyline", {"points"}},
    {"polygon", {"points"}},
    {"linearGradient", {"x1", "y1", "x2", "y2", "gradientUnits", "gradientTransform", "spreadMethod", "xlink:href"}},
    {"radialGradient",
     {"cx", "cy", "r", "fx", "fy", "gradientUnits", "gradientTransform", "spreadMethod", "xlink:href"}},
    {"stop", {}},
};
// The colour names nanosvg knows without its optional full keyword table.
const std::set<std::string> COLOR_NAMES = {"red",     "green", "blue", "yellow", "cyan",
                                           "magenta", "black", "grey", "gray",   "white"};

std::string trim(const std::string& s) {
	size_t a = s.find_first_not_of(" \t\r\n"), b = s.find_last_not_of(" \t\r\n");
	return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::string qualifiedName(xmlNode* node) {
	std::string name = (const char*)node->name;
	if (node->ns && node->ns->prefix)
		name = std::string((const char*)node->ns->prefix) + ":" + name;
	return name;
}

bool inSvgNamespace(xmlNode* node) {
	return !node->ns || (node->ns->href && std::strcmp((const char*)node->ns->href, "http://www.w3.org/2000/svg") == 0);
}

std::string colour(const std::string& value, bool paint) {
	std::string v = trim(value);
	if (!v.empty() && v[0] == '#')
		return v;
	if (v.compare(0, 4, "rgb(") == 0 || COLOR_NAMES.count(v))
		return v;
	if (paint && (v == "none" || v.compare(0, 4, "url(") == 0))
		return v;
	return "#808080";
}

double opacityValue(const std::string& s) {
	double v = std::atof(s.c_str());
	return v < 0 ? 0 : v > 1 ? 1 : v;
}

// Opacities as nanosvg carries them from parent to child.
struct Inherited {
	double opacity = 1, fillOpacity = 1, strokeOpacity = 1;
};

struct Filter {
	xmlDoc* out;
	std::vector<std::string> dropped;

	void drop(const std::string& name) {
		for (const std::string& d : dropped)
			if (d == name)
				return;
		dropped.push_back(name);
	}

	// The attributes nanosvg reads on `node`, in its order of precedence.
	std::vector<std::pair<std::string, std::string>> attributes(xmlNode* node, const std::string& tag) {
		const std::set<std::string>& geometry = GEOMETRY.at(tag);
		std::vector<std::pair<std::string, std::string>> kept;
		auto set = [&](const std::string& name, const std::string& value) {
			for (auto& a : kept)
				if (a.first == name) {
					a.second = value;
					return;
				}
			kept.push_back({name, value});
		};
		for (xmlAttr* a = node->properties; a; a = a->next) {
			std::string name = (const char*)a->name;
			if (a->ns && a->ns->prefix)
				name = std::string((const char*)a->ns->prefix) + ":" + name;
			xmlChar* raw = xmlNodeListGetString(node->doc, a->children, 1);
			std::string value = raw ? (const char*)raw : "";
			xmlFree(raw);
			if (name == "style") {
				size_t pos = 0;
				while (pos <= value.size()) {
					size_t end = value.find(';', pos);
					std::string decl = value.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
					size_t colon = decl.find(':');
					if (colon != std::string::npos) {
						std::string k = trim(decl.substr(0, colon));
						if (PRESENTATION.count(k))
							set(k, trim(decl.substr(colon + 1)));
					}
					if (end == std::string::npos)
						break;
					pos = end + 1;
				}
			} else if (PRESENTATION.count(name) || geometry.count(name)) {
				set(name, value);
			}
		}
		return kept;
	}

	// Copies what nanosvg draws of `node`'s children under `parent`.
	void children(xmlNode* node, xmlNode* parent, Inherited inherited, bool inDefs) {
		for (xmlNode* c = node->children; c; c = c->next) {
			if (c->type != XML_ELEMENT_NODE)
				continue;
			std::string name = qualifiedName(c);
			bool known = GEOMETRY.count(name) > 0;
			if (inDefs ? !GRADIENT.count(name) : !known || name == "svg") {
				// Ignored, but what is nested in it is read as if it stood here.
				if (!inDefs && !SILENT.count(name) && inSvgNamespace(c))
					drop(name);
				if (inSvgNamespace(c))
					children(c, parent, inherited, inDefs);
				continue;
			}
			element(c, name, parent, inherited, inDefs);
		}
	}

	void element(xmlNode* node, const std::string& tag, xmlNode* parent, Inherited inherited, bool inDefs) {
		xmlNode* copy = xmlNewChild(parent, nullptr, BAD_CAST tag.c_str(), nullptr);
		for (const auto& a : attributes(node, tag)) {
			const std::string& k = a.first;
			std::string v = a.second;
			if (k == "opacity") {
				inherited.opacity = opacityValue(v);
				continue;
			}
			if (k == "fill-opacity") {
				inherited.fillOpacity = opacityValue(v);
				continue;
			}
			if (k == "stroke-opacity") {
				inherited.strokeOpacity = opacityValue(v);
				continue;
			}
			if (k == "fill" || k == "stroke")
				v = colour(v, true);
			else if (k == "stop-color")
				v = colour(v, false);
			xmlNewProp(copy, BAD_CAST k.c_str(), BAD_CAST v.c_str());
		}
		if (SHAPES.count(tag)) {
			// Each shape's own alpha, so that no group is composited as a whole.
			std::string fo = std::to_string(inherited.opacity * inherited.fillOpacity);
			std::string so = std::to_string(inherited.opacity * inherited.strokeOpacity);
			xmlNewProp(copy, BAD_CAST "fill-opacity", BAD_CAST fo.c_str());
			xmlNewProp(copy, BAD_CAST "stroke-opacity", BAD_CAST so.c_str());
		}
		if (!SHAPES.count(tag))
			children(node, copy, inherited, inDefs || tag == "defs");
	}
};

} // namespace

HostDrawnSvg hostDrawnSvg(const std::string& xml) {
	// The library's first use sets up its globals; panels may load on several threads.
	static std::once_flag initialized;
	std::call_once(initialized, xmlInitParser);
	xmlDoc* doc = xmlReadMemory(xml.data(), (int)xml.size(), nullptr, nullptr,
	                            XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
	xmlNode* root = doc ? xmlDocGetRootElement(doc) : nullptr;
	if (!root || qualifiedName(root) != "svg") {
		if (doc)
			xmlFreeDoc(doc);
		throw Exception(root ? "the root element is not <svg>" : "not well-formed XML");
	}
	Filter filter;
	filter.out = xmlNewDoc(BAD_CAST "1.0");
	xmlNode* outRoot = xmlNewNode(nullptr, BAD_CAST "svg");
	xmlDocSetRootElement(filter.out, outRoot);
	xmlNs* svgNs = xmlNewNs(outRoot, BAD_CAST "http://www.w3.org/2000/svg", nullptr);
	xmlNewNs(outRoot, BAD_CAST "http://www.w3.org/1999/xlink", BAD_CAST "xlink");
	xmlSetNs(outRoot, svgNs);
	for (const auto& a : filter.attributes(root, "svg"))
		if (GEOMETRY.at("svg").count(a.first))
			xmlNewProp(outRoot, BAD_CAST a.first.c_str(), BAD_CAST a.second.c_str());
	// The root's presentation attributes apply to everything, as a group's would.
	xmlNode* top = xmlNewChild(outRoot, nullptr, BAD_CAST "g", nullptr);
	Inherited inherited;
	for (const auto& a : filter.attributes(root, "g")) {
		if (a.first == "opacity")
			inherited.opacity = opacityValue(a.second);
		else if (a.first == "fill-opacity")
			inherited.fillOpacity = opacityValue(a.second);
		else if (a.first == "stroke-opacity")
			inherited.strokeOpacity = opacityValue(a.second);
		else
			xmlNewProp(top, BAD_CAST a.first.c_str(),
			           BAD_CAST(a.first == "fill" || a.first == "stroke" ? colour(a.second, true) : a.second).c_str());
	}
	filter.children(root, top, inherited, false);

	xmlChar* text = nullptr;
	int size = 0;
	xmlDocDumpMemory(filter.out, &text, &size);
	HostDrawnSvg result;
	result.document.assign((const char*)text, size);
	result.dropped = filter.dropped;
	xmlFree(text);
	xmlFreeDoc(filter.out);
	xmlFreeDoc(doc);
	return result;
}

} // namespace window
} // namespace rack
