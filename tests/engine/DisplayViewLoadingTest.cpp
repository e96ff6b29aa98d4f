// Loading a photo into the view: its properties and colour space, the upright picture, the
// proxy, and a failed load that changes nothing.
#include <gtest/gtest.h>

#include "DisplayViewFixtures.h"
#include "EngineImages.h"
#include "common/TempDir.h"
#include "foundation/Files.h"
#include "imageio/ImageDestination.h"

using enginetest::Rendered;
using qv::ci::Image;
using viewtest::ViewSetup;

namespace {

// The colour of a stored pixel (column x, file row y) of the orientation pictures: every pixel
// different.
viewtest::Rgb storedColour(int x, int y) {
    return {std::uint8_t(10 + 5 * x), std::uint8_t(10 + 9 * y), 77};
}

std::array<float, 3> rgb(const viewtest::Rgb& c) {
    return {c[0] / 255.f, c[1] / 255.f, c[2] / 255.f};
}

void expectColour(const Rendered& r, int x, int yUp, const viewtest::Rgb& expected) {
    const auto want = rgb(expected);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(r.channel(x, yUp, k), want[k], 0.5 / 255) << x << "," << yUp << " channel " << k;
}

}  // namespace

TEST(DisplayViewLoading, ThePhotoComesWithItsPropertiesColourSpaceAndProxy) {
    qvtest::TempDir dir;
    ViewSetup s;
    const qv::Bitmap picture = viewtest::makePicture(300, 200, storedColour);
    std::unique_ptr<qv::io::ImageDestination> out = qv::io::ImageDestination::createWithPath(dir.path() + "/photo.tif", "public.tiff");
    ASSERT_TRUE(out);
    out->addImage(picture, qv::Dictionary{{"{TIFF}", qv::Dictionary{{"Make", "Zeta"}, {"Model", "Q1"}}}},
                  qv::io::ColorSpace::sRGB());
    ASSERT_TRUE(out->finalize());

    ASSERT_TRUE(s.view->setCIImageFromFile(dir.path() + "/photo.tif"));
    QVDisplayView& v = *s.view;
    EXPECT_EQ(v.ciImage().extent(), qv::Rect(0, 0, 300, 200));
    EXPECT_EQ(v.imageMetadata().at("{TIFF}").get("Make").stringOr(""), "Zeta");
    EXPECT_EQ(v.imageMetadata().at("PixelWidth").integerOr(0), 300);
    ASSERT_TRUE(v.colorSpace().has_value());
    EXPECT_EQ(v.colorSpace()->iccProfile(), qv::io::ColorSpace::sRGB().iccProfile());
    EXPECT_EQ(v.inputImageDepth(), 8);
    // The controller learns the photo's size for its angle of view.
    EXPECT_EQ(s.controller.p.lastFOVWidth, 300);
    EXPECT_EQ(s.controller.p.lastFOVHeight, 200);

    // A small photo's proxy is enlarged to fit 900 x 900; the chain starts from it.
    EXPECT_EQ(v.m_pFixdSizeImage.extent(), qv::Rect(0, 0, 900, 600));
    EXPECT_EQ(v.m_pCorrectedImage, v.m_pFixdSizeImage);
    EXPECT_EQ(v.m_pPerspectiveImage, v.m_pFixdSizeImage);
    EXPECT_TRUE(v.m_bPreviewFlag);
    EXPECT_FALSE(v.m_bApplyFlag);
    EXPECT_FALSE(v.m_bCorrectFlag);
    EXPECT_FALSE(v.m_bMagnifierFlag);
    // The photo itself is shown, fitted to the 600 x 400 view; its rectangle is recorded.
    EXPECT_EQ(v.imageToDraw().extent(), qv::Rect(0, 0, 600, 400));
    EXPECT_EQ(v.drawingRect(), qv::Rect(0, 0, 600, 400));
    EXPECT_EQ(v.fixedSizeRect(), v.drawingRect());
    // The pixels arrive as stored: the top-left stored pixel is at the top left.
    expectColour(Rendered(v.ciImage(), qv::Rect(0, 0, 300, 200)), 0, 199, storedColour(0, 0));
}

TEST(DisplayViewLoading, TheProxyFitsNineHundredPixels) {
    // A 6000 x 4000 photo (here a 600 x 400 picture enlarged ten times, so nothing large is held).
    const Image small = enginetest::drawImage(600, 400, [](int x, int y) {
        return enginetest::Rgba{x / 600.f, y / 400.f, 0.5f, 1};
    });
    const Image photo = small.imageByApplyingTransform(qv::AffineTransform::scale(10, 10));
    ASSERT_EQ(photo.extent(), qv::Rect(0, 0, 6000, 4000));
    const Image proxy = QVDisplayView::scaleToFixedSize(photo);
    EXPECT_EQ(proxy.extent(), qv::Rect(0, 0, 900, 600));
    // The proxy is the photo reduced: its middle shows the photo's middle.
    const Rendered r(proxy, qv::Rect(0, 0, 900, 600));
    EXPECT_NEAR(r.channel(450, 300, 0), 0.5f, 0.01f);
    EXPECT_NEAR(r.channel(450, 300, 1), 0.5f, 0.01f);

    const Image tiny = enginetest::uniformImage(300, 200, {0.2f, 0.4f, 0.6f, 1});
    EXPECT_EQ(QVDisplayView::scaleToFixedSize(tiny).extent(), qv::Rect(0, 0, 900, 600));
    const Image tall = enginetest::uniformImage(100, 450, {0.2f, 0.4f, 0.6f, 1});
    EXPECT_EQ(QVDisplayView::scaleToFixedSize(tall).extent(), qv::Rect(0, 0, 200, 900));
    EXPECT_TRUE(QVDisplayView::scaleToFixedSize(Image()).isNull());
}

TEST(DisplayViewLoading, OrientationSixStandsThePhotoUpright) {
    qvtest::TempDir dir;
    constexpr int W = 40, H = 20;
    const std::string path = viewtest::writePhoto(dir.path() + "/turned.tif", viewtest::makePicture(W, H, storedColour),
                                                  qv::Dictionary{{"Orientation", 6}});
    ASSERT_FALSE(path.empty());
    const Image upright = QVDisplayView::CreateCIImageWithoutOrientation(path);
    // H wide and W high.
    ASSERT_EQ(upright.extent(), qv::Rect(0, 0, H, W));
    const Rendered r(upright, upright.extent());
    // (0, 0) of the stored picture (its bottom-left pixel, file row H - 1) goes to (0, W): the top left.
    expectColour(r, 0, W - 1, storedColour(0, H - 1));
    // (W, H) of the stored picture (its top-right pixel, file row 0) goes to (H, 0): the bottom right.
    expectColour(r, H - 1, 0, storedColour(W - 1, 0));

    ViewSetup s;
    ASSERT_TRUE(s.view->setCIImageFromFile(path));
    EXPECT_EQ(s.view->ciImage().extent(), qv::Rect(0, 0, H, W));
    EXPECT_EQ(s.view->imageMetadata().at("Orientation").integerOr(0), 6) << "the properties keep the stored value";
    EXPECT_EQ(s.controller.p.lastFOVWidth, H);
}

TEST(DisplayViewLoading, NoOrientationOrAnUnknownOneLeavesThePhotoAsStored) {
    qvtest::TempDir dir;
    for (const qv::Dictionary& properties : {qv::Dictionary{}, qv::Dictionary{{"Orientation", 9}}}) {
        const std::string path = viewtest::writePhoto(dir.path() + "/plain.tif", viewtest::makePicture(40, 20, storedColour),
                                                      properties);
        ASSERT_FALSE(path.empty());
        const Image image = QVDisplayView::CreateCIImageWithoutOrientation(path);
        ASSERT_EQ(image.extent(), qv::Rect(0, 0, 40, 20));
        const Rendered r(image, image.extent());
        expectColour(r, 0, 19, storedColour(0, 0));
        expectColour(r, 39, 0, storedColour(39, 19));
    }
    EXPECT_TRUE(QVDisplayView::CreateCIImageWithoutOrientation(dir.path() + "/missing.tif").isNull());
}

TEST(DisplayViewLoading, AFailedLoadLeavesThePreviousPhotoShownAndInUse) {
    qvtest::TempDir dir;
    ViewSetup s;
    QVDisplayView& v = *s.view;
    const std::string first = viewtest::writeSamplePhoto(dir.path() + "/first.tif", 300, 200);
    ASSERT_TRUE(v.setCIImageFromFile(first));
    s.controller.p.coefficients = {0.02, -0.01, 0.0, 1};
    v.applyCorrection();
    v.imageMetadata()["Marker"] = "kept";

    // Files that cannot be loaded: missing, not a picture, a picture cut short, a folder.
    const std::string notAPicture = dir.path() + "/notes.tif";
    ASSERT_TRUE(qv::files::writeWhole(notAPicture, std::string_view("not a picture at all")));
    const std::optional<qv::Data> whole = qv::files::readWhole(first);
    ASSERT_TRUE(whole && whole->size() > 400);
    const std::string cut = dir.path() + "/cut.tif";
    ASSERT_TRUE(qv::files::writeWhole(cut, whole->data(), 400));
    const std::string folder = dir.path() + "/folder.tif";
    ASSERT_TRUE(qv::files::createFolder(folder));

    const Image image = v.ciImage(), proxy = v.m_pFixdSizeImage, corrected = v.m_pCorrectedImage,
                shown = v.m_pPerspectiveImage, drawn = v.imageToDraw();
    const qv::Dictionary metadata = v.imageMetadata();
    const qv::Rect drawing = v.drawingRect();
    s.controller.p.lastFOVWidth = -1;
    for (const std::string& bad : {dir.path() + "/missing.tif", notAPicture, cut, folder}) {
        EXPECT_FALSE(v.setCIImageFromFile(bad)) << bad;
        EXPECT_EQ(v.ciImage(), image) << bad;
        EXPECT_EQ(v.m_pFixdSizeImage, proxy) << bad;
        EXPECT_EQ(v.m_pCorrectedImage, corrected) << bad;
        EXPECT_EQ(v.m_pPerspectiveImage, shown) << bad;
        EXPECT_EQ(v.imageToDraw(), drawn) << bad;
        EXPECT_EQ(v.imageMetadata(), metadata) << bad;
        ASSERT_TRUE(v.colorSpace().has_value());
        EXPECT_EQ(v.drawingRect(), drawing) << bad;
        EXPECT_TRUE(v.m_bApplyFlag) << bad;
        EXPECT_TRUE(v.m_bCorrectFlag) << bad;
        EXPECT_EQ(s.controller.p.lastFOVWidth, -1) << "the controller hears of no new photo";
    }
}

TEST(DisplayViewLoading, ThePlugInReadsTheFileIntoMemoryAndTakesNoDrops) {
    qvtest::TempDir dir;
    enginetest::useBundleResources();
    FakeDisplayController controller;
    QVDisplayView view(qv::Rect(0, 0, 600, 400), QVDisplayView::Deliverable::PlugIn);
    view.setController(&controller);
    EXPECT_TRUE(view.registeredDraggedTypes().empty());
    ASSERT_TRUE(view.setCIImageFromFile(viewtest::writeSamplePhoto(dir.path() + "/p.tif", 120, 80)));
    EXPECT_EQ(view.ciImage().extent(), qv::Rect(0, 0, 120, 80));
    EXPECT_FALSE(view.setCIImageFromFile(dir.path() + "/none.tif"));

    QVDisplayView application(qv::Rect(0, 0, 600, 400));
    EXPECT_EQ(application.registeredDraggedTypes(), std::vector<std::string>{"NSFilenamesPboardType"});
}
