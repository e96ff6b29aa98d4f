#include "lens/UserLensRecord.h"

#include <cmath>
#include <limits>

namespace lens::userdb {

using namespace lens::keys;

namespace {

bool inList(int position, std::size_t size) { return position >= 0 && std::size_t(position) < size; }

void addModel(qv::Value& entry, const std::string& model) {
    if (model.empty()) return;
    if (!entry.get(kModels).isArray()) entry[kModels] = qv::Value(qv::Array());
    for (const qv::Value& existing : *entry[kModels].array())
        if (existing.stringOr("") == model) return;
    entry[kModels].append(model);
}

}  // namespace

qv::Value newLensParametersDictionary() {
    qv::Value record{qv::Dictionary()};
    record[kLensName] = "untitled";
    record[kLensFocalLength] = 0.0f;
    record[kLensFOV] = 37.2f;
    record[kLensRadialShiftMode] = 0.0f;
    record[kLensType] = 0.0f;
    record[kVignettingAmount] = 0.0f;
    record[kVignettingMidpoint] = 0.0f;
    record[kRedA] = 0.001291f;
    record[kRedB] = -0.008754f;
    record[kRedC] = -0.004474f;
    record[kRedD] = 1.011937f;
    return record;
}

qv::Value storedRecord(const qv::Value& record, const LensFields& fields) {
    qv::Value stored = record.isDictionary() ? record : qv::Value(qv::Dictionary());
    stored[kLensName] = fields.name;
    stored[kLensFocalLength] = fields.focalLength;
    stored[kLensFOV] = fields.fieldOfView;
    stored[kVignettingAmount] = fields.vignettingAmount;
    stored[kVignettingMidpoint] = fields.vignettingMidpoint;
    if (auto code = codeAtPosition(kLensTypes, fields.typePosition)) stored[kLensType] = qv::Value(*code);
    if (auto code = codeAtPosition(kRadialShiftModes, fields.modePosition)) stored[kLensRadialShiftMode] = qv::Value(*code);
    for (std::size_t row = 0; row < fields.red.size(); ++row) stored[kRedValues[row]] = fields.red[row];
    return stored;
}

bool isUsableRedValue(std::size_t row, double value) {
    // Past the largest single-precision number the record would hold infinity.
    if (!std::isfinite(value) || std::fabs(value) > double(std::numeric_limits<float>::max())) return false;
    return row >= std::size(kCoefficients) || std::fabs(value) <= kLargestCoefficient;
}

bool hasUsableCoefficients(const qv::Value& record) {
    for (std::size_t row = 0; row < std::size(kCoefficients); ++row)
        if (!isUsableRedValue(row, double(record.get(kCoefficients[row]).floatOr(0)))) return false;
    return true;
}

void storeManufacturer(qv::Array& manufacturers, const ManufacturerFields& fields) {
    if (inList(fields.manufacturerPosition, manufacturers.size())) {
        qv::Value& entry = manufacturers[std::size_t(fields.manufacturerPosition)];
        if (!entry.isDictionary()) entry = qv::Value(qv::Dictionary());
        entry[kManufacturerName] = fields.manufacturer;
        qv::Array* models = entry[kModels].array();
        if (models && inList(fields.modelPosition, models->size()))
            (*models)[std::size_t(fields.modelPosition)] = fields.model;
        else
            addModel(entry, fields.model);
        return;
    }
    if (fields.manufacturer.empty()) return;
    for (qv::Value& entry : manufacturers)
        if (entry.get(kManufacturerName).stringOr("") == fields.manufacturer) {
            addModel(entry, fields.model);
            return;
        }
    qv::Value entry{qv::Dictionary()};
    entry[kManufacturerName] = fields.manufacturer;
    entry[kModels] = qv::Value(qv::Array());
    addModel(entry, fields.model);
    manufacturers.push_back(std::move(entry));
}

std::vector<std::string> manufacturerNames(const qv::Array& manufacturers) {
    std::vector<std::string> names;
    for (const qv::Value& entry : manufacturers) names.push_back(entry.get(kManufacturerName).stringOr(""));
    return names;
}

std::vector<std::string> modelsOf(const qv::Array& manufacturers, int position) {
    std::vector<std::string> models;
    if (!inList(position, manufacturers.size())) return models;
    if (const qv::Array* list = manufacturers[std::size_t(position)].get(kModels).array())
        for (const qv::Value& model : *list) models.push_back(model.stringOr(""));
    return models;
}

}  // namespace lens::userdb
