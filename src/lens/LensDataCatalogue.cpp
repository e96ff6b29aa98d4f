#include "lens/LensDataCatalogue.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "foundation/Files.h"

namespace lensdata {
namespace {

// The text of the first child element without a language, and of its English translation.
std::string plainText(const pugi::xml_node& parent, const char* name) {
    for (pugi::xml_node n : parent.children(name))
        if (!n.attribute("lang")) return n.text().get();
    return "";
}

std::string englishText(const pugi::xml_node& parent, const char* name) {
    for (pugi::xml_node n : parent.children(name))
        if (std::string_view(n.attribute("lang").value()) == "en") return n.text().get();
    return "";
}

// A number as the data writes it; 0 when the text is empty or not wholly a number.
double number(std::string_view text) {
    const std::string s(text);
    if (s.empty()) return 0;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    return end && *end == '\0' ? v : 0;
}

// "4:3" or "1.333"; 0 when unreadable or not a ratio of at least 1.
double aspectRatio(std::string_view text) {
    const std::size_t colon = text.find(':');
    double ratio = colon == std::string_view::npos ? number(text) : 0;
    if (colon != std::string_view::npos) {
        const double w = number(text.substr(0, colon)), h = number(text.substr(colon + 1));
        ratio = h > 0 ? w / h : 0;
    }
    if (ratio > 0 && ratio < 1) ratio = 1 / ratio;
    return ratio >= 1 ? ratio : 0;
}

Lens readLens(const pugi::xml_node& node) {
    Lens lens;
    lens.maker = plainText(node, "maker");
    lens.model = plainText(node, "model");
    for (pugi::xml_node m : node.children("mount")) lens.mounts.emplace_back(m.text().get());
    lens.cropFactor = number(node.child("cropfactor").text().get());
    if (pugi::xml_node ratio = node.child("aspect-ratio")) lens.aspectRatio = aspectRatio(ratio.text().get());
    lens.type = node.child("type").text().get();
    if (pugi::xml_node focal = node.child("focal")) {
        const double value = focal.attribute("value").as_double(0);
        lens.minFocal = focal.attribute("min").as_double(value);
        lens.maxFocal = focal.attribute("max").as_double(value ? value : lens.minFocal);
    }
    if (pugi::xml_node aperture = node.child("aperture"))
        lens.minAperture = aperture.attribute("min").as_double(aperture.attribute("value").as_double(0));
    for (pugi::xml_node d : node.child("calibration").children("distortion")) {
        Distortion entry;
        entry.model = d.attribute("model").value();
        entry.focal = d.attribute("focal").as_double(0);
        entry.a = d.attribute("a").as_double(0);
        entry.b = d.attribute("b").as_double(0);
        entry.c = d.attribute("c").as_double(0);
        entry.k1 = d.attribute("k1").as_double(0);
        entry.k2 = d.attribute("k2").as_double(0);
        lens.distortions.push_back(entry);
    }
    return lens;
}

}  // namespace

bool readCatalogueText(std::string_view xml, Catalogue& catalogue, std::string& error) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size());
    if (!parsed) {
        error = std::string("not well-formed XML: ") + parsed.description() + " at byte " +
                std::to_string(parsed.offset);
        return false;
    }
    const pugi::xml_node root = doc.child("lensdatabase");
    if (!root) {
        error = "not a lens database (no lensdatabase element)";
        return false;
    }
    for (pugi::xml_node node : root.children()) {
        const std::string_view kind = node.name();
        if (kind == "mount") {
            Mount mount{node.child("name").text().get(), {}};
            for (pugi::xml_node c : node.children("compat")) mount.compatible.emplace_back(c.text().get());
            catalogue.mounts.push_back(std::move(mount));
        } else if (kind == "camera") {
            Camera camera;
            camera.maker = plainText(node, "maker");
            camera.makerEnglish = englishText(node, "maker");
            camera.model = plainText(node, "model");
            camera.modelEnglish = englishText(node, "model");
            camera.variant = plainText(node, "variant");
            camera.mount = node.child("mount").text().get();
            camera.cropFactor = number(node.child("cropfactor").text().get());
            catalogue.cameras.push_back(std::move(camera));
        } else if (kind == "lens") {
            catalogue.lenses.push_back(readLens(node));
        }
    }
    return true;
}

bool readCatalogueFolder(const std::string& folder, Catalogue& catalogue, std::string& error) {
    std::vector<std::string> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".xml" && it->is_regular_file(ec)) files.push_back(it->path().string());
    if (files.empty()) {
        error = folder + ": no lens data (.xml files) found";
        return false;
    }
    std::sort(files.begin(), files.end());
    for (const std::string& path : files) {
        const auto bytes = qv::files::readWhole(path);
        if (!bytes) {
            error = path + ": cannot be read";
            return false;
        }
        const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
        if (!readCatalogueText(text, catalogue, error)) {
            error = path + ": " + error;
            return false;
        }
    }
    return true;
}

}  // namespace lensdata
