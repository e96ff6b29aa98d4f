#include "lens/QVDatabaseLoader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "foundation/PropertyList.h"
#include "foundation/TextEncoding.h"
#include "lens/CameraNames.h"
#include "lens/DatReader.h"
#include "lens/LensKeys.h"
#include "lens/Utf8.h"

// One successful read: the database with its names as text, and the indices the lens queries use
// so that listing a group's lenses does not walk the whole catalogue.
struct QVDatabaseLoader::Content {
    std::shared_ptr<const DATDatabase> db;
    std::map<std::pair<std::string, std::string>, std::int32_t> firstLensNamed;  // (name, group)
    std::unordered_map<std::string, std::vector<std::int32_t>> lensesOfGroup;   // in file order
    // The lenses of every camera's group: groups in the order the cameras first name them, each
    // group's lenses in file order; for each lens the number of its (name, group) pair, and the
    // multiplier of the first lens of that pair (what a namesake is measured against).
    std::vector<std::int32_t> lensesOfEveryCameraGroup;
    std::vector<std::int32_t> namesakeOfLens;
    std::vector<double> referenceOfLens;
    std::size_t namesakeCount = 0;
};

namespace {

// Names are UTF-8. One that is not was written by an older Mac tool: read it as Mac OS Roman, so
// that every record keeps a name and every byte a character.
void convertToText(std::string& name) {
    if (!lensdb::isValidUtf8(name)) name = qv::macRomanToUtf8(name);
}

void convertNamesToText(DATDatabase& db) {
    for (DATGroup& g : db.groups) convertToText(g.name);
    for (DATCamera& c : db.cameras) {
        c.exifModel = lens::cameras::repairedStoredModel(c.exifModel);
        for (std::string* name : {&c.menuMake, &c.menuModel, &c.exifMake, &c.exifModel}) convertToText(*name);
    }
    for (DATLens& l : db.lenses) {
        convertToText(l.group);
        convertToText(l.name);
    }
}

bool validLens(const DATDatabase& db, std::int64_t lens) { return lens >= 0 && std::uint64_t(lens) < db.lenses.size(); }

}  // namespace

QVDatabaseLoader::QVDatabaseLoader() = default;
QVDatabaseLoader::~QVDatabaseLoader() = default;

void QVDatabaseLoader::setController(QVDatabaseLoaderClient* controller) { mQVController = controller; }

double QVDatabaseLoader::focalLengthOfController() const {
    QVDatabaseLoaderClient* controller = mQVController;
    return controller ? controller->focalLength() : 0.0;
}

bool QVDatabaseLoader::showsOnlyMatchingLenses() const {
    QVDatabaseLoaderClient* controller = mQVController;
    return controller && controller->showsOnlyMatchingLenses();
}

std::shared_ptr<const QVDatabaseLoader::Content> QVDatabaseLoader::content() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_content;
}

std::shared_ptr<const DATDatabase> QVDatabaseLoader::database() const {
    auto current = content();
    return current ? current->db : nullptr;
}

bool QVDatabaseLoader::loadPTLensDatabase(const std::string& path) { return dataReadFile(path); }

bool QVDatabaseLoader::dataReadFile(const std::string& path) {
    lensdb::ReadResult result = lensdb::readDatabaseFile(path);
    if (!result.ok()) {
        if (result.status == lensdb::ReadStatus::CannotOpen) {
            std::printf("Unable to open file %s", path.c_str());
            std::fflush(stdout);
        }
        return false;
    }
    convertNamesToText(result.database);
    auto fresh = std::make_shared<Content>();
    fresh->db = std::make_shared<const DATDatabase>(std::move(result.database));
    const std::vector<DATLens>& lenses = fresh->db->lenses;
    std::map<std::pair<std::string, std::string>, std::int32_t> namesakes;
    for (std::size_t j = 0; j < lenses.size(); ++j) {
        const auto key = std::make_pair(lenses[j].name, lenses[j].group);
        const std::int32_t first = fresh->firstLensNamed.emplace(key, std::int32_t(j)).first->second;
        fresh->lensesOfGroup[lenses[j].group].push_back(std::int32_t(j));
        fresh->namesakeOfLens.push_back(namesakes.emplace(key, std::int32_t(namesakes.size())).first->second);
        fresh->referenceOfLens.push_back(lenses[std::size_t(first)].multiplier);
    }
    fresh->namesakeCount = namesakes.size();
    std::unordered_set<std::string> listed;
    for (std::size_t i = 0; i < fresh->db->cameras.size(); ++i) {
        const std::string& group = fresh->db->groupNameOfCamera(i);
        if (!listed.insert(group).second) continue;
        auto members = fresh->lensesOfGroup.find(group);
        if (members == fresh->lensesOfGroup.end()) continue;
        fresh->lensesOfEveryCameraGroup.insert(fresh->lensesOfEveryCameraGroup.end(), members->second.begin(),
                                               members->second.end());
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_content = fresh;
    }
    return true;
}

qv::Value QVDatabaseLoader::loadDatabase(const std::string& path) {
    qv::Value root = qv::readPropertyList(path);
    if (!root.isDictionary()) root = qv::Value();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pDatabaseDict = root;
    return root;
}

qv::Value QVDatabaseLoader::databaseDict() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pDatabaseDict;
}

qv::Array QVDatabaseLoader::camInfoForLoadedDatabase() const {
    qv::Array records;
    auto current = content();
    if (!current) return records;
    const DATDatabase& db = *current->db;
    records.reserve(db.cameras.size());
    for (std::size_t i = 0; i < db.cameras.size(); ++i) {
        const DATCamera& c = db.cameras[i];
        qv::Dictionary record;
        record[lens::keys::kMenuMake] = c.menuMake;
        record[lens::keys::kMenuModel] = c.menuModel;
        record[lens::keys::kExifMake] = c.exifMake;
        record[lens::keys::kExifModel] = c.exifModel;
        record[lens::keys::kCamGroup] = db.groupNameOfCamera(i);
        record[lens::keys::kMultiplier] = c.multiplier;
        records.emplace_back(std::move(record));
    }
    return records;
}

namespace {

// The multiplier a lens is measured against when deciding whether to offer it: that of the first
// lens with its name and group, else that of the first camera of the group, else 0.
double referenceMultiplier(const DATDatabase& db,
                           const std::map<std::pair<std::string, std::string>, std::int32_t>& firstLensNamed,
                           const std::string& group, const std::string& name) {
    auto it = firstLensNamed.find({name, group});
    if (it != firstLensNamed.end()) return db.lenses[std::size_t(it->second)].multiplier;
    for (std::size_t i = 0; i < db.cameras.size(); ++i)
        if (db.groupNameOfCamera(i) == group) return db.cameras[i].multiplier;
    return 0.0;
}

// Whether lens j is offered, measured against the reference multiplier r.
bool qualifiesAgainst(const DATDatabase& db, std::int64_t j, double r, bool onlyMatching, double focalLength) {
    if (!validLens(db, j)) return false;
    const DATLens& lens = db.lenses[std::size_t(j)];
    const double m = lens.multiplier;
    if (onlyMatching) {
        if (!lens.hasCalibration() || !std::isfinite(focalLength)) return false;
        const float low = db.calibrations[std::size_t(lens.firstCalibration)].focalLength;
        const float high = db.calibrations[std::size_t(lens.lastCalibration)].focalLength;
        if (low > focalLength || focalLength > high) return false;
    }
    return !(m > r);
}

bool qualifies(const DATDatabase& db, const std::map<std::pair<std::string, std::string>, std::int32_t>& firstLensNamed,
               std::int64_t j, const std::string& group, const std::string& name, bool onlyMatching,
               double focalLength) {
    if (!validLens(db, j)) return false;
    return qualifiesAgainst(db, j, referenceMultiplier(db, firstLensNamed, group, name), onlyMatching, focalLength);
}

std::optional<QVCoefficientResult> lensCoefficients(const DATDatabase& db, std::int64_t j, double focalLength,
                                                    double matchingMultiplier) {
    if (!validLens(db, j)) return std::nullopt;
    const DATLens& lens = db.lenses[std::size_t(j)];
    return lensdb::coefficientsAt(db.calibrations, lens.firstCalibration, lens.lastCalibration, focalLength,
                                  lens.multiplier, matchingMultiplier);
}

qv::Value lensRecord(const DATDatabase& db, std::size_t j, const std::optional<QVCoefficientResult>& values) {
    const DATLens& lens = db.lenses[j];
    qv::Dictionary record;
    record[lens::keys::kLensGroup] = lens.group;
    record[lens::keys::kLensName] = lens.name;
    record[lens::keys::kMultiplier] = lens.multiplier;
    record[lens::keys::kFLowerBound] = int(lens.firstCalibration);
    record[lens::keys::kFUpperBound] = int(lens.lastCalibration);
    // The range as stored: cut to whole millimetres, a compact's 6.1-30.5 mm would never match the
    // 6.1-30.5 mm its photos name.
    record[lens::keys::kMinFocalLength] = double(lens.minFocalLength);
    record[lens::keys::kMaxFocalLength] = double(lens.maxFocalLength);
    record[lens::keys::kMaxAperture] = double(lens.maxAperture);
    const char* const keys[] = {lens::keys::kLensFocalLength, lens::keys::kAValue, lens::keys::kBValue, lens::keys::kCValue};
    for (int n = 0; n < 4; ++n)
        record[keys[n]] = values ? qv::Value((*values)[std::size_t(n)]) : qv::Value(0.0f);
    return record;
}

}  // namespace

bool QVDatabaseLoader::lensQualifiesMenuWithIndex(std::int64_t lens, const std::string& group,
                                                  const std::string& name) const {
    auto current = content();
    if (!current) return false;
    const bool onlyMatching = showsOnlyMatchingLenses();
    return qualifies(*current->db, current->firstLensNamed, lens, group, name, onlyMatching,
                     onlyMatching ? focalLengthOfController() : 0.0);
}

// What one listing of lens records reads once: the snapshot, the owner's focal length and option,
// and the matching multiplier of the moment.
struct QVDatabaseLoader::Listing {
    const Content& content;
    double focalLength;
    bool onlyMatching;
    double matching;

    bool offered(std::int32_t j) const {
        return qualifiesAgainst(*content.db, j, content.referenceOfLens[std::size_t(j)], onlyMatching, focalLength);
    }
    qv::Value record(std::int32_t j) const {
        return lensRecord(*content.db, std::size_t(j), lensCoefficients(*content.db, j, focalLength, matching));
    }
};

QVDatabaseLoader::Listing QVDatabaseLoader::listing(const Content& content) const {
    return {content, focalLengthOfController(), showsOnlyMatchingLenses(), mMatchingMultiplier};
}

qv::Array QVDatabaseLoader::lensArrayForCamGroup(const std::vector<std::string>& groups) const {
    qv::Array records;
    auto current = content();
    if (!current) return records;
    const Listing list = listing(*current);
    for (std::size_t i = 0; i < groups.size(); ++i) {
        if (i > 0 && groups[i] == groups[i - 1]) continue;
        auto members = current->lensesOfGroup.find(groups[i]);
        if (members == current->lensesOfGroup.end()) continue;
        for (std::int32_t j : members->second)
            if (list.offered(j)) records.push_back(list.record(j));
    }
    return records;
}

qv::Array QVDatabaseLoader::lensesOfEveryCameraGroupInFocalRange(double minimum, double maximum,
                                                                  double tolerance) const {
    qv::Array records;
    auto current = content();
    if (!current) return records;
    const Listing list = listing(*current);
    auto near = [&](float value, double wanted) { return std::fabs(double(value) - wanted) < tolerance; };
    // A pair listed once keeps out its later namesakes, whether or not its range matched.
    std::vector<bool> listed(current->namesakeCount, false);
    for (std::int32_t j : current->lensesOfEveryCameraGroup) {
        const std::size_t key = std::size_t(current->namesakeOfLens[std::size_t(j)]);
        if (listed[key] || !list.offered(j)) continue;
        listed[key] = true;
        const DATLens& lens = current->db->lenses[std::size_t(j)];
        if (near(lens.minFocalLength, minimum) && near(lens.maxFocalLength, maximum)) records.push_back(list.record(j));
    }
    return records;
}

std::optional<QVCoefficientResult> QVDatabaseLoader::correctionValuesForIndex(std::int64_t lens) const {
    auto current = content();
    if (!current) return std::nullopt;
    return lensCoefficients(*current->db, lens, focalLengthOfController(), mMatchingMultiplier);
}

std::optional<QVCoefficientResult> QVDatabaseLoader::correctionValuesForLensDict(const qv::Value& record) const {
    auto current = content();
    if (!current) return std::nullopt;
    // A record kept from another database (or a user database's record) names no calibration
    // records of this one; the indices are checked against this database's block.
    const auto first = record.get(lens::keys::kFLowerBound).asInteger();
    const auto last = record.get(lens::keys::kFUpperBound).asInteger();
    const auto multiplier = record.get(lens::keys::kMultiplier).asDouble();
    if (!first || !last || !multiplier) return std::nullopt;
    return lensdb::coefficientsAt(current->db->calibrations, *first, *last, focalLengthOfController(), *multiplier,
                                  mMatchingMultiplier);
}

void QVDatabaseLoader::setMultiplier(double multiplier) { mMatchingMultiplier = multiplier; }

double QVDatabaseLoader::cameraMultiplier() const { return mMatchingMultiplier; }

int QVDatabaseLoader::indexOfLens(const std::optional<std::string>& name) const {
    auto current = content();
    if (!name || !current) return -1;
    const std::vector<DATLens>& lenses = current->db->lenses;
    for (std::size_t j = 0; j < lenses.size(); ++j)
        if (lenses[j].name == *name) return int(j);
    return -1;
}

int QVDatabaseLoader::indexOfLens(const std::optional<std::string>& name,
                                  const std::optional<std::string>& group) const {
    auto current = content();
    if (!name || !group || !current) return -1;
    auto it = current->firstLensNamed.find({*name, *group});
    return it == current->firstLensNamed.end() ? -1 : it->second;
}

std::optional<std::string> QVDatabaseLoader::camGroupOfModel(const std::string& model) const {
    auto current = content();
    if (!current) return std::nullopt;
    const DATDatabase& db = *current->db;
    for (std::size_t i = 0; i < db.cameras.size(); ++i)
        if (db.cameras[i].menuModel == model) return db.groupNameOfCamera(i);
    return std::nullopt;
}

std::optional<std::string> QVDatabaseLoader::menuModelForExifModel(const std::string& exifModel) const {
    auto current = content();
    if (!current) return std::nullopt;
    for (const DATCamera& c : current->db->cameras)
        if (c.exifModel == exifModel) return c.menuModel;
    return std::nullopt;
}

bool QVDatabaseLoader::cameraGroup(const std::string& group, const std::string& menuMake) const {
    auto current = content();
    if (!current) return false;
    const DATDatabase& db = *current->db;
    for (std::size_t i = 0; i < db.cameras.size(); ++i)
        if (db.cameras[i].menuMake == menuMake && db.groupNameOfCamera(i) == group) return true;
    return false;
}

qv::Array QVDatabaseLoader::removeDuplicateCameras(const qv::Array& cameras) {
    qv::Array kept;
    for (const qv::Value& camera : cameras) {
        const qv::Value& make = camera.get(lens::keys::kMenuMake);
        bool seen = false;
        for (const qv::Value& k : kept) seen = seen || k.get(lens::keys::kMenuMake) == make;
        if (!seen) kept.push_back(camera);
    }
    return kept;
}

std::vector<std::string> QVDatabaseLoader::removeDuplicateEntriesFrom(const std::vector<std::string>& strings) {
    std::vector<std::string> kept;
    for (const std::string& s : strings)
        if (std::find(kept.begin(), kept.end(), s) == kept.end()) kept.push_back(s);
    return kept;
}
