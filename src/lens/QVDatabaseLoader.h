#pragma once
// QVDatabaseLoader: the one way the rest of the system reads lens databases. It reads the resource
// database ("PTLens.dat") whole and answers the questions asked of it: the cameras, the lenses that
// may be offered for a set of camera groups, name look-ups, and the distortion coefficients of a lens
// at the current focal length, rescaled for the current camera's crop multiplier. It also reads a
// user database (a property-list file) into a dictionary for its caller.
//
// Everything a read produces (the per-camera and per-lens lists and the calibration block) is one
// immutable snapshot, swapped in whole when, and only when, a read has succeeded. Queries work on the
// snapshot they started with, so a read on one thread never tears a query on another, and the lens
// indices of a snapshot always refer to that snapshot's own calibration block.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/Value.h"
#include "lens/CoefficientLookup.h"
#include "lens/DatFormat.h"

// What the loader asks of its owner: the focal length in the main window's field (mm) and whether
// the parameters sheet lists only lenses whose calibrated range holds that focal length.
class QVDatabaseLoaderClient {
public:
    virtual ~QVDatabaseLoaderClient() = default;
    virtual double focalLength() const = 0;
    virtual bool showsOnlyMatchingLenses() const = 0;
};

class QVDatabaseLoader {
public:
    QVDatabaseLoader();  // empty lists, matching multiplier 1.0
    QVDatabaseLoader(const QVDatabaseLoader&) = delete;
    QVDatabaseLoader& operator=(const QVDatabaseLoader&) = delete;
    ~QVDatabaseLoader();

    // The owner is kept without ownership. Without one the focal length reads 0 and every lens is
    // offered.
    void setController(QVDatabaseLoaderClient* controller);

    // Reads a resource database; true when the whole file was read. On failure nothing changes.
    bool loadPTLensDatabase(const std::string& path);
    bool dataReadFile(const std::string& path);

    // Reads a user database: its root dictionary, or the null value when the file cannot be read as
    // a property-list dictionary. The result is also kept (databaseDict).
    qv::Value loadDatabase(const std::string& path);
    qv::Value databaseDict() const;

    // One QVCameraRecord per camera, in file order.
    qv::Array camInfoForLoadedDatabase() const;
    // The lens records (QVLensRecord, resource kind) offered for the groups: by the position of the
    // group in the list, then in file order. A group repeating the one just before it is skipped.
    qv::Array lensArrayForCamGroup(const std::vector<std::string>& groups) const;
    // What lensArrayForCamGroup gives for the groups of every camera in camera order, once the later
    // records of a name and group already listed are removed, restricted to the lenses whose focal
    // range lies within `tolerance` of [minimum, maximum]: the lens choice's widened search. Walks
    // an order precomputed at load and builds only the records it returns.
    qv::Array lensesOfEveryCameraGroupInFocalRange(double minimum, double maximum, double tolerance) const;
    bool lensQualifiesMenuWithIndex(std::int64_t lens, const std::string& group, const std::string& name) const;

    // [focal length used, a, b, c] of a lens at the owner's focal length, or nothing.
    std::optional<QVCoefficientResult> correctionValuesForIndex(std::int64_t lens) const;
    // The same for a lens record (resource kind, as lensArrayForCamGroup makes them): nothing when
    // its "FLowerBound", "FUpperBound" or "Multiplier" is missing or its calibration indices do not
    // lie inside the database loaded now.
    std::optional<QVCoefficientResult> correctionValuesForLensDict(const qv::Value& record) const;

    void setMultiplier(double multiplier);  // the current camera's crop multiplier
    double cameraMultiplier() const;

    // Index of the first lens with the name (and group), -1 when none or when an argument is nothing.
    int indexOfLens(const std::optional<std::string>& name) const;
    int indexOfLens(const std::optional<std::string>& name, const std::optional<std::string>& group) const;
    // The group of the first camera whose menu model equals the model.
    std::optional<std::string> camGroupOfModel(const std::string& model) const;
    // The menu model of the first camera whose EXIF model equals the model.
    std::optional<std::string> menuModelForExifModel(const std::string& exifModel) const;
    // Whether one camera has both the group and the menu make (cameraGroup:belongsToCameraMake:).
    bool cameraGroup(const std::string& group, const std::string& menuMake) const;

    // From camera records: the first, then each later one whose "menuMake" no kept record has.
    static qv::Array removeDuplicateCameras(const qv::Array& cameras);
    // The first occurrence of each string, in order.
    static std::vector<std::string> removeDuplicateEntriesFrom(const std::vector<std::string>& strings);

    // The database read last, names as text (the lists of the loader in file order); null before.
    std::shared_ptr<const DATDatabase> database() const;

private:
    struct Content;
    struct Listing;
    std::shared_ptr<const Content> content() const;
    Listing listing(const Content& content) const;
    double focalLengthOfController() const;
    bool showsOnlyMatchingLenses() const;

    mutable std::mutex m_mutex;  // guards m_content and m_pDatabaseDict
    std::shared_ptr<const Content> m_content;
    qv::Value m_pDatabaseDict;
    std::atomic<double> mMatchingMultiplier{1.0};
    std::atomic<QVDatabaseLoaderClient*> mQVController{nullptr};
};
