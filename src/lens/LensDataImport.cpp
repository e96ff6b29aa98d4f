#include "lens/LensDataImport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <regex>
#include <set>
#include <utility>

namespace lensdata {
namespace {

constexpr double kStandardAspect = 1.5;
// A lens is offered to a group whose crop factor is at least this share of its calibration's:
// slightly smaller frames (1.53 against 1.55) reach just past the calibrated corner.
constexpr double kSmallestCropShare = 0.9;
// Crop factors this close describe the same frame.
constexpr double kSameFrame = 0.01;

std::string shortest(double value) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, float(value));
    return ec == std::errc() ? std::string(buffer, end) : std::to_string(value);
}

std::string lowered(std::string s) {
    for (char& ch : s) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

double apex(double fNumber) { return fNumber > 0 ? 2 * std::log2(fNumber) : 0; }

bool sameFrame(double a, double b) { return std::fabs(a - b) <= kSameFrame * std::max(a, b); }

struct GroupKey {
    std::string mount;
    double cropFactor;
    bool operator<(const GroupKey& o) const { return std::tie(mount, cropFactor) < std::tie(o.mount, o.cropFactor); }
};

struct Group {
    GroupKey key;
    std::string name;
    double multiplier = 0;
};

// The aspect ratio of a camera frame: the most common one among the lenses of its mount calibrated
// at its crop factor; the standard 3:2 when none was.
double frameAspect(const Catalogue& catalogue, const GroupKey& key) {
    std::map<double, int> votes;
    for (const Lens& lens : catalogue.lenses)
        if (lens.aspectRatio > 0 && sameFrame(lens.cropFactor, key.cropFactor) &&
            std::find(lens.mounts.begin(), lens.mounts.end(), key.mount) != lens.mounts.end())
            ++votes[lens.aspectRatio];
    double aspect = kStandardAspect;
    int best = 0;
    for (const auto& [ratio, count] : votes)
        if (count > best) aspect = ratio, best = count;
    return aspect;
}

// The mounts whose lenses fit a camera of this mount: its own and those it declares compatible.
std::set<std::string> mountsTaken(const Catalogue& catalogue, const std::string& mount) {
    std::set<std::string> taken{mount};
    for (const Mount& m : catalogue.mounts)
        if (m.name == mount) taken.insert(m.compatible.begin(), m.compatible.end());
    return taken;
}

// The lens's calibration lines, ascending by focal length; reasons for the entries left out.
std::vector<DATCalibration> calibrationLines(const Lens& lens, ImportReport& report) {
    std::map<double, DATCalibration> byFocal;
    const double corner = std::sqrt(1 + lens.aspectRatio * lens.aspectRatio);
    for (const Distortion& d : lens.distortions) {
        if (!(d.focal > 0)) {
            ++report.calibrationsSkipped["distortion without a focal length"];
            continue;
        }
        DATCalibration line;
        line.focalLength = float(d.focal);
        if (d.model == "ptlens") {
            line.a = float(d.a), line.b = float(d.b), line.c = float(d.c);
        } else if (d.model == "poly3") {
            line.b = float(d.k1);
        } else if (d.model == "poly5") {
            const auto fit = fitFifthOrder(d.k1, d.k2, corner);
            line.a = float(fit[0]), line.b = float(fit[1]), line.c = float(fit[2]);
        } else {
            ++report.calibrationsSkipped["distortion model \"" + d.model + "\""];
            continue;
        }
        if (!byFocal.emplace(line.focalLength, line).second) {
            ++report.calibrationsSkipped["second distortion at the same focal length"];
            continue;
        }
        ++report.calibrationsByModel[d.model];
    }
    std::vector<DATCalibration> lines;
    for (const auto& entry : byFocal) lines.push_back(entry.second);
    return lines;
}

}  // namespace

double frameMultiplier(double cropFactor, double aspectRatio) {
    return cropFactor * std::sqrt(1 + aspectRatio * aspectRatio) / std::sqrt(1 + kStandardAspect * kStandardAspect);
}

std::array<double, 3> fitFifthOrder(double k1, double k2, double corner) {
    // Our polynomial keeps r = 1 in place (P(1) = 1); the fifth-order one need not, so it is fitted
    // divided by its value at r = 1: the same picture up to its scale, as the other models give it.
    // Least squares on the mapped radius r * P(r): with P(r) = 1 + a(r^3 - 1) + b(r^2 - 1) + c(r - 1)
    // the residual is linear in a, b, c. Normal equations over evenly spaced samples.
    constexpr int kSamples = 256;
    const double atOne = 1 + k1 + k2;
    double m[3][3] = {}, v[3] = {};
    for (int i = 0; i <= kSamples; ++i) {
        const double r = corner * i / kSamples;
        const double basis[3] = {r * (r * r * r - 1), r * (r * r - 1), r * (r - 1)};
        const double target = r * ((1 + k1 * r * r + k2 * r * r * r * r) / atOne - 1);
        for (int p = 0; p < 3; ++p) {
            v[p] += basis[p] * target;
            for (int q = 0; q < 3; ++q) m[p][q] += basis[p] * basis[q];
        }
    }
    // Gaussian elimination with partial pivoting; the basis is independent, so no pivot is 0.
    int order[3] = {0, 1, 2};
    for (int col = 0; col < 3; ++col) {
        int pivot = col;
        for (int row = col + 1; row < 3; ++row)
            if (std::fabs(m[order[row]][col]) > std::fabs(m[order[pivot]][col])) pivot = row;
        std::swap(order[col], order[pivot]);
        for (int row = col + 1; row < 3; ++row) {
            const double f = m[order[row]][col] / m[order[col]][col];
            for (int k = col; k < 3; ++k) m[order[row]][k] -= f * m[order[col]][k];
            v[order[row]] -= f * v[order[col]];
        }
    }
    std::array<double, 3> x{};
    for (int col = 2; col >= 0; --col) {
        double s = v[order[col]];
        for (int k = col + 1; k < 3; ++k) s -= m[order[col]][k] * x[std::size_t(k)];
        x[std::size_t(col)] = s / m[order[col]][col];
    }
    return x;
}

NamedLensFacts factsFromLensName(const std::string& model) {
    static const std::regex focal(R"((\d+(?:\.\d+)?)(?:\s*-\s*(\d+(?:\.\d+)?))?\s*mm)", std::regex::icase);
    static const std::regex aperture(R"((?:^|[\s(]|mm)(?:f/?|1:)\s*(\d+(?:\.\d+)?))", std::regex::icase);
    NamedLensFacts facts;
    std::smatch match;
    if (std::regex_search(model, match, focal)) {
        facts.minFocal = std::stod(match[1].str());
        facts.maxFocal = match[2].matched ? std::stod(match[2].str()) : facts.minFocal;
    }
    if (std::regex_search(model, match, aperture)) facts.minAperture = std::stod(match[1].str());
    return facts;
}

DATDatabase convertCatalogue(const Catalogue& catalogue, ImportReport& report) {
    DATDatabase db;
    report.camerasRead = int(catalogue.cameras.size());
    report.lensesRead = int(catalogue.lenses.size());

    // Groups and cameras, in the data's order.
    std::vector<Group> groups;
    std::map<GroupKey, std::size_t> groupIndex;
    std::set<std::pair<std::string, std::string>> exifNames;
    for (const Camera& camera : catalogue.cameras) {
        if (camera.maker.empty() || camera.model.empty()) {
            ++report.camerasSkipped["no EXIF make or model"];
            continue;
        }
        if (camera.mount.empty() || !(camera.cropFactor > 0)) {
            ++report.camerasSkipped["no mount or crop factor"];
            continue;
        }
        if (!exifNames.emplace(lowered(camera.maker), lowered(camera.model)).second) {
            // A variant (another aspect ratio, a second name for one body): EXIF cannot tell it apart.
            ++report.camerasSkipped["same EXIF make and model as an earlier camera"];
            continue;
        }
        const GroupKey key{camera.mount, camera.cropFactor};
        auto [it, fresh] = groupIndex.emplace(key, groups.size());
        if (fresh) {
            Group group{key, camera.mount + ", crop " + shortest(camera.cropFactor),
                        frameMultiplier(camera.cropFactor, frameAspect(catalogue, key))};
            groups.push_back(group);
            db.groups.push_back(DATGroup{-1, group.name});
        }
        DATCamera out;
        out.group = std::int32_t(it->second);
        out.menuMake = camera.makerEnglish.empty() ? camera.maker : camera.makerEnglish;
        out.menuModel = camera.modelEnglish.empty() ? camera.model : camera.modelEnglish;
        if (!camera.variant.empty()) out.menuModel += " (" + camera.variant + ")";
        out.exifMake = camera.maker;
        out.exifModel = camera.model;
        out.multiplier = float(groups[it->second].multiplier);
        db.cameras.push_back(std::move(out));
    }
    report.camerasConverted = int(db.cameras.size());
    report.groups = int(groups.size());

    std::vector<std::set<std::string>> taken;
    for (const Group& g : groups) taken.push_back(mountsTaken(catalogue, g.key.mount));

    // (lens name, group name) given so far: the record's index and the crop factor it was calibrated at.
    std::map<std::pair<std::string, std::string>, std::pair<std::size_t, double>> named;
    auto distance = [](double crop, double calibration) { return std::fabs(std::log(crop / calibration)); };
    for (const Lens& lens : catalogue.lenses) {
        if (lens.model.empty()) {
            ++report.lensesSkipped["no model name"];
            continue;
        }
        if (!(lens.cropFactor > 0)) {
            ++report.lensesSkipped["no calibration crop factor"];
            continue;
        }
        if (!(lens.aspectRatio > 0)) {
            ++report.lensesSkipped["unreadable aspect ratio"];
            continue;
        }
        if (!lens.type.empty() && lens.type != "rectilinear") {
            ++report.lensesSkipped["not rectilinear (" + lens.type + ")"];
            continue;
        }
        std::vector<std::size_t> fits;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            const bool mountFits = std::any_of(lens.mounts.begin(), lens.mounts.end(),
                                               [&](const std::string& m) { return taken[g].count(m) > 0; });
            if (mountFits && groups[g].key.cropFactor >= kSmallestCropShare * lens.cropFactor) fits.push_back(g);
        }
        if (fits.empty()) {
            ++report.lensesSkipped["no camera group takes it"];
            continue;
        }

        const std::vector<DATCalibration> lines = calibrationLines(lens, report);
        if (lines.empty()) {
            ++report.lensesSkipped["no distortion calibration in a model that converts"];
            continue;
        }
        const NamedLensFacts facts = factsFromLensName(lens.model);
        double minFocal = lens.minFocal, maxFocal = lens.maxFocal;
        if (!(minFocal > 0)) minFocal = facts.minFocal, maxFocal = facts.maxFocal;
        if (!(minFocal > 0)) minFocal = lines.front().focalLength, maxFocal = lines.back().focalLength;
        const double fNumber = lens.minAperture > 0 ? lens.minAperture : facts.minAperture;

        const auto first = std::int32_t(db.calibrations.size());
        db.calibrations.insert(db.calibrations.end(), lines.begin(), lines.end());
        const auto last = std::int32_t(db.calibrations.size() - 1);
        report.calibrationRecords += int(lines.size());
        ++report.lensesConverted;
        for (std::size_t g : fits) {
            DATLens out;
            out.group = groups[g].name;
            out.name = lens.model;
            out.firstCalibration = first;
            out.lastCalibration = last;
            out.multiplier = float(frameMultiplier(lens.cropFactor, lens.aspectRatio));
            out.maxAperture = float(apex(fNumber));
            out.minFocalLength = float(minFocal);
            out.maxFocalLength = float(maxFocal);
            // One record per name in a group (the lens choice lists no namesakes): of the lenses of
            // one name, the one calibrated at the crop factor nearest the group's.
            const auto [it, fresh] = named.emplace(std::make_pair(lens.model, out.group),
                                                   std::make_pair(db.lenses.size(), lens.cropFactor));
            if (fresh) {
                db.lenses.push_back(std::move(out));
            } else if (const double crop = groups[g].key.cropFactor;
                       distance(crop, lens.cropFactor) < distance(crop, it->second.second)) {
                db.lenses[it->second.first] = std::move(out);
                it->second.second = lens.cropFactor;
                ++report.lensRecordsSkipped["replaced by a namesake calibrated nearer the group's crop factor"];
            } else {
                ++report.lensRecordsSkipped["a namesake calibrated nearer the group's crop factor is in the group"];
            }
        }
    }
    report.lensRecords = int(db.lenses.size());
    return db;
}

std::string formatReport(const ImportReport& r) {
    std::string out;
    auto line = [&](const std::string& text, int n) { out += text + ": " + std::to_string(n) + "\n"; };
    auto reasons = [&](const std::map<std::string, int>& skipped) {
        for (const auto& [reason, n] : skipped) line("    " + reason, n);
    };
    line("cameras read", r.camerasRead);
    line("cameras converted", r.camerasConverted);
    line("cameras skipped", r.camerasRead - r.camerasConverted);
    reasons(r.camerasSkipped);
    line("camera groups", r.groups);
    line("lenses read", r.lensesRead);
    line("lenses converted", r.lensesConverted);
    line("lenses skipped", r.lensesRead - r.lensesConverted);
    reasons(r.lensesSkipped);
    line("lens records (one per lens and group it fits)", r.lensRecords);
    int dropped = 0;
    for (const auto& entry : r.lensRecordsSkipped) dropped += entry.second;
    line("lens records skipped", dropped);
    reasons(r.lensRecordsSkipped);
    line("calibration records", r.calibrationRecords);
    for (const auto& [model, n] : r.calibrationsByModel) line("    from \"" + model + "\"", n);
    int skipped = 0;
    for (const auto& entry : r.calibrationsSkipped) skipped += entry.second;
    line("distortion entries skipped", skipped);
    reasons(r.calibrationsSkipped);
    return out;
}

}  // namespace lensdata
