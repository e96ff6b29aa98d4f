// Converting lens calibration data (the XML catalogue) into a resource lens database: what is read,
// how models, multipliers, groups and names map, and what is left out and counted.
#include <gtest/gtest.h>

#include <cmath>

#include "LensTestSupport.h"
#include "common/TempDir.h"
#include "lens/CoefficientLookup.h"
#include "lens/LensDataImport.h"

using namespace lensdata;

namespace {

// Two interchangeable-lens systems (a full-frame mount, an APS-C body on the same mount, a 4:3 mount
// that takes the first by adapter) and a compact with its fixed lens.
const char* const kCatalogue = R"(<lensdatabase version="1">
    <mount><name>Alpha</name></mount>
    <mount><name>Quad</name><compat>Alpha</compat></mount>
    <camera>
        <maker>ALPHA CORP.</maker><maker lang="en">Alpha</maker>
        <model>Alpha One</model><model lang="en">One</model>
        <mount>Alpha</mount><cropfactor>1</cropfactor>
    </camera>
    <camera>
        <maker>ALPHA CORP.</maker><maker lang="en">Alpha</maker>
        <model>Alpha Two</model>
        <mount>Alpha</mount><cropfactor>1</cropfactor>
    </camera>
    <camera>
        <maker>ALPHA CORP.</maker><model>alpha two</model><variant>16:9</variant>
        <mount>Alpha</mount><cropfactor>1.2</cropfactor>
    </camera>
    <camera>
        <maker>ALPHA CORP.</maker><model>Alpha Small</model>
        <mount>Alpha</mount><cropfactor>1.5</cropfactor>
    </camera>
    <camera>
        <maker>Quad</maker><model>Quad Q1</model><mount>Quad</mount><cropfactor>2</cropfactor>
    </camera>
    <camera>
        <maker>Pocket</maker><model>Pocket P5</model><mount>pocketP5</mount><cropfactor>5.6</cropfactor>
    </camera>
    <camera><maker>Nowhere</maker><model>No Crop</model><mount>Alpha</mount></camera>
    <lens>
        <maker>Alpha</maker><model>Alpha 24-70mm f/2.8</model><mount>Alpha</mount>
        <cropfactor>1</cropfactor>
        <calibration>
            <distortion model="ptlens" focal="70" a="0.001" b="-0.002" c="0.003"/>
            <distortion model="ptlens" focal="24" a="0.01" b="-0.03" c="0.02"/>
            <distortion model="poly3" focal="35" k1="-0.012"/>
            <distortion model="ptlens" focal="35" a="0.5" b="0.5" c="0.5"/>
            <distortion model="acm" focal="50" k1="0.1"/>
        </calibration>
    </lens>
    <lens>
        <maker>Alpha</maker><model>Alpha 24-70mm f/2.8</model><mount>Alpha</mount>
        <cropfactor>1.5</cropfactor>
        <calibration><distortion model="ptlens" focal="24" a="0.04" b="-0.05" c="0.06"/></calibration>
    </lens>
    <lens>
        <maker>Alpha</maker><model>Alpha Small 16-50mm</model><mount>Alpha</mount>
        <cropfactor>1.5</cropfactor>
        <aperture min="3.5" max="22"/>
        <calibration><distortion model="poly3" focal="16" k1="-0.05"/></calibration>
    </lens>
    <lens>
        <maker>Quad</maker><model>Quad 12-40mmF2.8 PRO</model><mount>Quad</mount>
        <cropfactor>2</cropfactor><aspect-ratio>4:3</aspect-ratio>
        <calibration><distortion model="ptlens" focal="12" a="0.02" b="-0.04" c="0"/></calibration>
    </lens>
    <lens>
        <maker>Pocket</maker><model>Pocket P5 (Standard)</model><mount>pocketP5</mount>
        <cropfactor>5.6</cropfactor><aspect-ratio>4:3</aspect-ratio>
        <focal min="6.1" max="30.5"/>
        <calibration>
            <distortion model="poly5" focal="6.1" k1="-0.030571633" k2="0.004658548"/>
            <distortion model="poly5" focal="30.5" k1="-0.0003" k2="-0.0003"/>
        </calibration>
    </lens>
    <lens>
        <maker>Alpha</maker><model>Alpha Fisheye 8mm</model><mount>Alpha</mount><cropfactor>1</cropfactor>
        <type>equisolid</type>
        <calibration><distortion model="ptlens" focal="8" a="0.01" b="0" c="0"/></calibration>
    </lens>
    <lens>
        <maker>Beta</maker><model>Beta 50mm f/1.4</model><mount>Beta</mount><cropfactor>1</cropfactor>
        <calibration><distortion model="ptlens" focal="50" a="0.01" b="0" c="0"/></calibration>
    </lens>
    <lens>
        <maker>Alpha</maker><model>Alpha 100mm</model><mount>Alpha</mount><cropfactor>1</cropfactor>
        <calibration><distortion model="none" focal="100"/></calibration>
    </lens>
</lensdatabase>
)";

struct Converted {
    DATDatabase db;
    ImportReport report;
};

Converted convert(const char* xml = kCatalogue) {
    Catalogue catalogue;
    std::string error;
    EXPECT_TRUE(readCatalogueText(xml, catalogue, error)) << error;
    Converted out;
    out.db = convertCatalogue(catalogue, out.report);
    return out;
}

const DATCamera* camera(const DATDatabase& db, const std::string& exifModel) {
    for (const DATCamera& c : db.cameras)
        if (c.exifModel == exifModel) return &c;
    return nullptr;
}

std::vector<const DATLens*> lensRecords(const DATDatabase& db, const std::string& name) {
    std::vector<const DATLens*> found;
    for (const DATLens& l : db.lenses)
        if (l.name == name) found.push_back(&l);
    return found;
}

std::vector<std::string> groupsOf(const DATDatabase& db, const std::string& lens) {
    std::vector<std::string> groups;
    for (const DATLens* l : lensRecords(db, lens)) groups.push_back(l->group);
    return groups;
}

const std::string& groupOf(const DATDatabase& db, const std::string& exifModel) {
    const DATCamera* c = camera(db, exifModel);
    EXPECT_TRUE(c) << exifModel;
    static const std::string none;
    return c ? db.groups[std::size_t(c->group)].name : none;
}

TEST(LensDataCatalogue, RefusesWhatIsNotALensDatabase) {
    Catalogue catalogue;
    std::string error;
    EXPECT_FALSE(readCatalogueText("<lensdatabase><camera>", catalogue, error));
    EXPECT_NE(error.find("XML"), std::string::npos) << error;
    EXPECT_FALSE(readCatalogueText("<html/>", catalogue, error));
    qvtest::TempDir dir;
    EXPECT_FALSE(readCatalogueFolder(dir.path(), catalogue, error)) << "no XML files";
    EXPECT_FALSE(readCatalogueFolder(dir.file("missing"), catalogue, error));
    EXPECT_TRUE(catalogue.cameras.empty());
}

TEST(LensDataCatalogue, ReadsNamesMountsAndCalibrations) {
    Catalogue catalogue;
    std::string error;
    ASSERT_TRUE(readCatalogueText(kCatalogue, catalogue, error)) << error;
    ASSERT_EQ(catalogue.mounts.size(), 2u);
    EXPECT_EQ(catalogue.mounts[1].compatible, std::vector<std::string>{"Alpha"});
    ASSERT_EQ(catalogue.cameras.size(), 7u);
    EXPECT_EQ(catalogue.cameras[0].maker, "ALPHA CORP.");
    EXPECT_EQ(catalogue.cameras[0].makerEnglish, "Alpha");
    EXPECT_EQ(catalogue.cameras[0].modelEnglish, "One");
    EXPECT_EQ(catalogue.cameras[2].variant, "16:9");
    EXPECT_EQ(catalogue.cameras[6].cropFactor, 0);
    const Lens& pocket = catalogue.lenses[4];
    EXPECT_DOUBLE_EQ(pocket.aspectRatio, 4.0 / 3.0);
    EXPECT_DOUBLE_EQ(pocket.minFocal, 6.1);
    EXPECT_DOUBLE_EQ(pocket.maxFocal, 30.5);
    ASSERT_EQ(pocket.distortions.size(), 2u);
    EXPECT_EQ(pocket.distortions[0].model, "poly5");
    EXPECT_DOUBLE_EQ(pocket.distortions[0].k2, 0.004658548);
    EXPECT_EQ(catalogue.lenses[2].minAperture, 3.5);
}

TEST(LensDataImport, CalibrationsKeepPtlensMapPoly3AndAscend) {
    const Converted c = convert();
    const auto zoom = lensRecords(c.db, "Alpha 24-70mm f/2.8");
    ASSERT_FALSE(zoom.empty());
    ASSERT_EQ(zoom[0]->lastCalibration - zoom[0]->firstCalibration, 2) << "24, 35 and 70 mm";
    const DATCalibration* line = &c.db.calibrations[std::size_t(zoom[0]->firstCalibration)];
    EXPECT_EQ(line[0].focalLength, 24);
    EXPECT_EQ(line[0].a, 0.01f);
    EXPECT_EQ(line[0].b, -0.03f);
    EXPECT_EQ(line[0].c, 0.02f);
    EXPECT_EQ(line[1].focalLength, 35) << "the first entry at a focal length wins";
    EXPECT_EQ(line[1].a, 0.0f);
    EXPECT_EQ(line[1].b, -0.012f);
    EXPECT_EQ(line[1].c, 0.0f);
    EXPECT_EQ(line[2].focalLength, 70);
    EXPECT_EQ(c.report.calibrationsSkipped.at("distortion model \"acm\""), 1);
    EXPECT_EQ(c.report.calibrationsSkipped.at("distortion model \"none\""), 1);
    EXPECT_EQ(c.report.calibrationsSkipped.at("second distortion at the same focal length"), 1);
    EXPECT_EQ(c.report.calibrationsByModel.at("ptlens"), 4) << "those of lenses left out are not counted";
    EXPECT_EQ(c.report.calibrationsByModel.at("poly3"), 2);
    EXPECT_EQ(c.report.calibrationsByModel.at("poly5"), 2);
}

TEST(LensDataImport, FifthOrderFitFollowsTheDataOverTheWholeFrame) {
    // The worst calibration of the fifth-order kind in the installed data, on a 4:3 frame.
    const double k1 = -0.030571633, k2 = 0.004658548, corner = 5.0 / 3.0;
    const auto [a, b, c] = fitFifthOrder(k1, k2, corner);
    double worst = 0;
    for (int i = 0; i <= 100; ++i) {
        const double r = corner * i / 100;
        const double ours = r * (a * r * r * r + b * r * r + c * r + 1 - a - b - c);
        const double theirs = r * (1 + k1 * r * r + k2 * r * r * r * r) / (1 + k1 + k2);
        worst = std::max(worst, std::fabs(ours - theirs));
    }
    EXPECT_LT(worst, 5e-4) << "mapped radius within 0.05 % of the frame's half height";
    const auto zero = fitFifthOrder(0, 0, corner);
    for (double v : zero) EXPECT_NEAR(v, 0, 1e-12);
}

TEST(LensDataImport, CamerasGroupByMountAndCropWithTheirExifNames) {
    const Converted c = convert();
    EXPECT_EQ(c.report.camerasRead, 7);
    EXPECT_EQ(c.report.camerasConverted, 5);
    EXPECT_EQ(c.report.camerasSkipped.at("same EXIF make and model as an earlier camera"), 1);
    EXPECT_EQ(c.report.camerasSkipped.at("no mount or crop factor"), 1);
    const DATCamera* one = camera(c.db, "Alpha One");
    ASSERT_TRUE(one);
    EXPECT_EQ(one->exifMake, "ALPHA CORP.");
    EXPECT_EQ(one->menuMake, "Alpha");
    EXPECT_EQ(one->menuModel, "One");
    EXPECT_EQ(camera(c.db, "Alpha Two")->menuModel, "Alpha Two") << "no English name: the model itself";
    EXPECT_EQ(groupOf(c.db, "Alpha One"), groupOf(c.db, "Alpha Two"));
    EXPECT_NE(groupOf(c.db, "Alpha One"), groupOf(c.db, "Alpha Small"));
    EXPECT_EQ(c.db.groups.size(), 4u);
    EXPECT_EQ(c.report.groups, 4);
}

TEST(LensDataImport, LensesGoToEveryGroupTheirMountFitsButNotToSmallerFrames) {
    const Converted c = convert();
    const std::string fullFrame = groupOf(c.db, "Alpha One"), small = groupOf(c.db, "Alpha Small"),
                      quad = groupOf(c.db, "Quad Q1"), pocket = groupOf(c.db, "Pocket P5");
    EXPECT_EQ(groupsOf(c.db, "Alpha 24-70mm f/2.8"), (std::vector<std::string>{fullFrame, small, quad}))
        << "its own mount at every crop, and the mount that takes it by adapter";
    EXPECT_EQ(groupsOf(c.db, "Alpha Small 16-50mm"), (std::vector<std::string>{small, quad}))
        << "calibrated at 1.5: not extrapolated to a full frame, fine on a smaller one";
    EXPECT_EQ(groupsOf(c.db, "Quad 12-40mmF2.8 PRO"), (std::vector<std::string>{quad}));
    EXPECT_EQ(groupsOf(c.db, "Pocket P5 (Standard)"), (std::vector<std::string>{pocket}));
    EXPECT_EQ(c.report.lensesRead, 8);
    EXPECT_EQ(c.report.lensesConverted, 5);
    EXPECT_EQ(c.report.lensesSkipped.at("not rectilinear (equisolid)"), 1);
    EXPECT_EQ(c.report.lensesSkipped.at("no camera group takes it"), 1);
    EXPECT_EQ(c.report.lensesSkipped.at("no distortion calibration in a model that converts"), 1);
    EXPECT_EQ(c.report.lensRecords, 7);
    const auto zoom = lensRecords(c.db, "Alpha 24-70mm f/2.8");
    ASSERT_EQ(zoom.size(), 3u) << "one record per group for the two lenses of that name";
    EXPECT_EQ(zoom[0]->multiplier, 1.0f) << "the full frame keeps the full-frame calibration";
    EXPECT_EQ(zoom[1]->multiplier, 1.5f) << "the APS-C group takes the one calibrated on APS-C";
    EXPECT_EQ(zoom[2]->multiplier, 1.5f) << "and so does the smaller 4:3 frame";
    EXPECT_EQ(zoom[1]->firstCalibration, zoom[2]->firstCalibration) << "one calibration block per lens";
    EXPECT_EQ(c.report.lensRecordsSkipped.at("replaced by a namesake calibrated nearer the group's crop factor"), 2);
}

TEST(LensDataImport, FocalRangeAndApertureFromTheDataTheNameOrTheCalibrations) {
    const Converted c = convert();
    const DATLens* zoom = lensRecords(c.db, "Alpha 24-70mm f/2.8").at(0);
    EXPECT_EQ(zoom->minFocalLength, 24);
    EXPECT_EQ(zoom->maxFocalLength, 70);
    EXPECT_FLOAT_EQ(zoom->maxAperture, float(2 * std::log2(2.8)));
    const DATLens* small = lensRecords(c.db, "Alpha Small 16-50mm").at(0);
    EXPECT_EQ(small->maxFocalLength, 50);
    EXPECT_FLOAT_EQ(small->maxAperture, float(2 * std::log2(3.5))) << "the aperture element";
    EXPECT_FLOAT_EQ(lensRecords(c.db, "Quad 12-40mmF2.8 PRO").at(0)->maxAperture, float(2 * std::log2(2.8)));
    const DATLens* pocket = lensRecords(c.db, "Pocket P5 (Standard)").at(0);
    EXPECT_FLOAT_EQ(pocket->minFocalLength, 6.1f);
    EXPECT_FLOAT_EQ(pocket->maxFocalLength, 30.5f);
    EXPECT_EQ(pocket->maxAperture, 0) << "nothing states it";

    const NamedLensFacts facts[] = {factsFromLensName("Sigma 18-35mm f/1.8 DC HSM [A]"),
                                    factsFromLensName("smc PENTAX-DA 50mm F1.8"),
                                    factsFromLensName("Zeiss Planar 1:1.4 50 mm"),
                                    factsFromLensName("Fixed lens (Standard)")};
    EXPECT_EQ(facts[0].minFocal, 18);
    EXPECT_EQ(facts[0].maxFocal, 35);
    EXPECT_EQ(facts[0].minAperture, 1.8);
    EXPECT_EQ(facts[1].minFocal, 50);
    EXPECT_EQ(facts[1].maxFocal, 50);
    EXPECT_EQ(facts[1].minAperture, 1.8);
    EXPECT_EQ(facts[2].minAperture, 1.4);
    EXPECT_EQ(facts[2].minFocal, 50);
    EXPECT_EQ(facts[3].minFocal, 0);
    EXPECT_EQ(facts[3].minAperture, 0);
}

// The database's crop rescaling with the converted multipliers equals the data's own: radii scale
// by crop x sqrt(1 + aspect^2) of the calibration frame over that of the camera's frame.
TEST(LensDataImport, MultipliersMakeTheCropRescalingTheDatasOwn) {
    const Converted c = convert();
    const double dataRatioFullFrameOnSmall = 1.0 * std::sqrt(1 + 1.5 * 1.5) / (1.5 * std::sqrt(1 + 1.5 * 1.5));
    const double dataRatioFullFrameOnQuad = 1.0 * std::sqrt(1 + 1.5 * 1.5) / (2 * std::sqrt(1 + 16.0 / 9.0));
    const DATLens* zoom = lensRecords(c.db, "Alpha 24-70mm f/2.8").at(0);
    EXPECT_FLOAT_EQ(zoom->multiplier, 1.0f);
    EXPECT_FLOAT_EQ(camera(c.db, "Alpha Small")->multiplier, 1.5f);
    EXPECT_NEAR(zoom->multiplier / camera(c.db, "Alpha Small")->multiplier, dataRatioFullFrameOnSmall, 1e-6);
    EXPECT_NEAR(zoom->multiplier / camera(c.db, "Quad Q1")->multiplier, dataRatioFullFrameOnQuad, 1e-6)
        << "the 4:3 body's frame takes the aspect ratio of the lenses calibrated on it";
    EXPECT_EQ(lensRecords(c.db, "Pocket P5 (Standard)").at(0)->multiplier, camera(c.db, "Pocket P5")->multiplier)
        << "a compact's own lens is not rescaled";

    // And the coefficients at 24 mm on the APS-C body are the 24 mm line rescaled by that ratio.
    const auto values = lensdb::coefficientsAt(c.db.calibrations, zoom->firstCalibration, zoom->lastCalibration, 24,
                                               zoom->multiplier, camera(c.db, "Alpha Small")->multiplier);
    ASSERT_TRUE(values);
    const double s = dataRatioFullFrameOnSmall, a = 0.01f, b = -0.03f, cc = 0.02f;
    const double q = 1 / ((1 - (a + b + cc)) + a * s * s * s + b * s * s + cc * s);
    EXPECT_NEAR((*values)[1], a * q * s * s * s, 1e-7);
    EXPECT_NEAR((*values)[2], b * q * s * s, 1e-7);
    EXPECT_NEAR((*values)[3], cc * q * s, 1e-7);
}

TEST(LensDataImport, ReportCountsEveryRecordAndReason) {
    const Converted c = convert();
    const std::string text = formatReport(c.report);
    for (const char* line : {"cameras read: 7\n", "cameras converted: 5\n", "lenses read: 8\n",
                             "lenses converted: 5\n", "lenses skipped: 3\n", "    not rectilinear (equisolid): 1\n",
                             "distortion entries skipped: 3\n", "    from \"poly5\": 2\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
}

}  // namespace
