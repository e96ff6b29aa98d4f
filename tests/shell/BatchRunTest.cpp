// Batch runs through the sheet, as a person fills it and starts it: naming, the correction modes,
// replace and destination modes with their refusals, cancel, failures and their alert, the
// progress timer on a virtual clock, sleep and the done alert, and the fisheye path.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

#include "Mutator.h"
#include "ShellTestSupport.h"
#include "TestImages.h"
#include "common/MutationRun.h"
#include "common/PropertyListMutator.h"
#include "common/FileSizeLimit.h"
#include "appkit/Alert.h"
#include "appkit/Pasteboard.h"
#include "foundation/Files.h"
#include "foundation/FolderListing.h"
#include "foundation/Paths.h"
#include "foundation/RunLoop.h"
#include "foundation/SystemSleep.h"
#include "foundation/Threads.h"
#include "foundation/UserDefaults.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageSource.h"
#include "lens/QVPreferences.h"
#include "shell/batch/BatchKeys.h"
#include "shell/controller/PreferenceKeys.h"
#include "shell/files/PresetFormat.h"
#include "foundation/PropertyList.h"
#include "shell/batch/QVBatchController.h"
#include "shell/controller/QVController.h"

using namespace shelltest;
using Report = QVBatchController::FileReport;

namespace {

// A photo of a camera, its pixels a pattern that any correction changes.
void writeCameraPhoto(const std::string& path, const std::string& type, const std::string& make,
                      const std::string& model, int width = 96, int height = 64, int depth = 8, double focal = 18) {
    const qv::PixelFormat format = depth == 16 ? qv::PixelFormat::RGB16 : qv::PixelFormat::RGB8;
    qv::Bitmap bitmap = qv::Bitmap::make(width, height, format);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                const int value = ((x / 8 + y / 8) % 2 ? 200 : 40) + c * 10;
                if (depth == 16) reinterpret_cast<std::uint16_t*>(bitmap.row(y))[3 * x + c] = std::uint16_t(value * 257);
                else bitmap.row(y)[3 * x + c] = std::uint8_t(value);
            }
    qv::Value properties;
    properties["{TIFF}"]["Make"] = make;
    properties["{TIFF}"]["Model"] = model;
    properties["{Exif}"]["FocalLength"] = focal;
    properties["{Exif}"]["MaxApertureValue"] = 3.61;
    auto destination = qv::io::ImageDestination::createWithPath(path, type);
    ASSERT_TRUE(destination);
    destination->addImage(std::move(bitmap), *properties.dictionary());
    ASSERT_TRUE(destination->finalize());
}

void writeCanon(const std::string& path, const std::string& type = "public.jpeg") {
    writeCameraPhoto(path, type, "Canon", "Canon EOS 400D DIGITAL");
}

std::optional<qv::Bitmap> pixelsOf(const std::string& path) {
    auto source = qv::io::ImageSource::createWithPath(path);
    if (!source) return std::nullopt;
    return source->createImage(0);
}

std::vector<std::string> namesIn(const std::string& folder) {
    return qv::files::listFolder(folder).value_or(std::vector<std::string>{});
}

// Holds the worker as a photo starts until the test lets it go.
class Gate {
public:
    void hold(int index) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_reached = index;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_open > index; });
    }
    // Waits (running the main loop) until the worker holds at `index`.
    bool waitFor(int index) {
        return qv::RunLoop::main().runUntil(
            [&] {
                std::lock_guard<std::mutex> lock(m_mutex);
                return m_reached == index;
            },
            30);
    }
    void release(int index) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = index + 1;
        m_changed.notify_all();
    }
    void openAll() { release(1 << 20); }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_reached = -1;
    int m_open = 0;
};

class BatchRunTest : public LaunchedTest {
protected:
    void SetUp() override {
        resetApplication();
        m_bundle = std::make_unique<FixtureBundle>();
        // The metadata tool and the correction kernels, as the build installs them.
        for (const char* file : {"exiftool", "MyRadialDistortion.cikernel", "MyVignetting.cikernel"})
            ASSERT_TRUE(m_bundle->installResource(file));
        responder().queueAlert(declineOwnedLenses());
        m_nib = std::make_unique<QVMainNib>(launch(&m_view));
        qv::RunLoop::main().setClock(m_clock);
        qv::setSystemSleepAllowed(false);
        ASSERT_TRUE(qv::files::createFolder(m_dir.file("in")));
        ASSERT_TRUE(qv::ui::Application::shared().performMenuAction("onBatchProcess:"));
        ASSERT_TRUE(b().mWindow->isVisible());
        b().m_fileReported = [this](const Report& report) { m_reports.push_back(report); };
    }
    void TearDown() override {
        m_gate.openAll();
        qv::waitForDetachedThreads(60);
        qv::RunLoop::main().setClock(nullptr);
        LaunchedTest::TearDown();
    }
    QVBatchController& b() { return *nib().batchController; }
    std::string in(const std::string& name) { return m_dir.file("in/" + name); }
    std::string out(const std::string& name = "") { return m_dir.file("out/" + name); }

    void add(const std::vector<std::string>& paths) { b().addFilesToSoursesArray(paths); }
    void intoFolder(const std::string& folder) {
        ASSERT_TRUE(b().mSaveTypeMatrix->userClickCell(1));
        ASSERT_TRUE(b().mPathTextField->userType(folder));
    }
    void replaceSources() { ASSERT_TRUE(b().mSaveTypeMatrix->userClickCell(0)); }
    void mode(int row) { ASSERT_TRUE(b().mCorrectionRadioMatrix->userClickCell(row)); }
    void outputType(int row) { ASSERT_TRUE(b().mJpegOrTiffButton->userClickCell(row)); }
    void holdEachPhoto() {
        b().m_photoStarting = [this](int index) { m_gate.hold(index); };
    }
    // Presses Start; false when the run did not start.
    bool start() {
        auto* startButton = startButtonOfSheet();
        if (!startButton || !startButton->performClick()) return false;
        return b().isRunning();
    }
    qv::ui::Button* startButtonOfSheet() {
        for (const auto& view : b().mWindow->contentView()->subviews())
            if (auto* button = dynamic_cast<qv::ui::Button*>(view.get()); button && button->title() == "Start") return button;
        return nullptr;
    }
    // Runs the main loop and moves the virtual clock until the run has completed.
    void runToCompletion() {
        for (int i = 0; i < 4000 && b().isRunning(); ++i) {
            qv::RunLoop::main().runUntil([] { return false; }, 0.005);
            m_clock->advance(0.25);
        }
        ASSERT_FALSE(b().isRunning()) << "the run did not complete";
        qv::RunLoop::main().runUntil([] { return false; }, 0.01);
    }
    // One tick of the progress timer: the clock moves by its interval and the loop runs it.
    void tick() {
        m_clock->advance(1.5);
        qv::RunLoop::main().runUntil([] { return false; }, 0.02);
    }
    double bar() { return b().mProgressIndicator->doubleValue(); }
    std::string label() { return b().mFileNameLabel->stringValue(); }
    std::vector<std::string> alertsWithMessage(const std::string& key) {
        std::vector<std::string> titles;
        for (const auto& record : responder().alerts())
            if (record.request.message == qv::localizedString(key)) titles.push_back(record.request.title);
        return titles;
    }
    // Runs an automatic batch of the photos into the output folder; the coefficients in use after
    // it (the last photo's).
    std::vector<double> automaticBatchOf(const std::vector<std::string>& photos) {
        for (int i = 0; i < 100 && b().sources().size() > 0; ++i) {
            b().mSourcesTable->selectRow(0);
            b().onRemoveSource(nullptr);
        }
        add(photos);
        intoFolder(out());
        mode(0);
        EXPECT_TRUE(start());
        runToCompletion();
        return c().correctionValues();
    }
    // The coefficients the window's lens choice puts in use for the photo, opened alone with its
    // lens's focal range as the metadata tool reports it.
    std::vector<double> windowCoefficientsOf(const std::string& photo) {
        const bool batch = m_view.batch;
        m_view.batch = false;
        m_view.metadata = qv::Value(qv::io::ImageSource::createWithPath(photo)->properties());
        c().setMinFocalLengthFromImage(18);
        c().setMaxFocalLengthFromImage(55);
        c().setLensProperties();
        if (!c().selectLensFromPreferences()) c().autoselectionForLens();
        c().setMinFocalLengthFromImage(0);
        c().setMaxFocalLengthFromImage(0);
        m_view.batch = batch;
        return c().correctionValues();
    }
    std::size_t count(Report::Outcome outcome) {
        std::size_t n = 0;
        for (const Report& r : m_reports) n += r.outcome == outcome;
        return n;
    }

    qvtest::TempDir m_dir;
    std::shared_ptr<qv::ManualClock> m_clock = std::make_shared<qv::ManualClock>();
    std::vector<Report> m_reports;
    Gate m_gate;
};

}  // namespace

TEST_F(BatchRunTest, NameAndCounterWithPsdChosenGiveTheThreeNamesOfAMixedRun) {
    writeCanon(in("a.jpg"));
    writeCanon(in("b.tif"), "public.tiff");
    writeCanon(in("c.nef"), "public.tiff");  // a TIFF under a camera-raw name
    add({in("a.jpg"), in("b.tif"), in("c.nef")});
    intoFolder(out());
    ASSERT_TRUE(b().mCombo2->userChooseItem(int(batch::NameToken::Counter2)));
    outputType(2);
    EXPECT_EQ(b().mSampleFileName->stringValue(), "MyFile00.jpg");
    ASSERT_TRUE(start());
    runToCompletion();
    EXPECT_EQ(namesIn(out()), (std::vector<std::string>{"a00.jpeg", "b01.tiff", "c02.psd"}));
    ASSERT_EQ(m_reports.size(), 3u);
    EXPECT_EQ(count(Report::Outcome::Written), 3u);
    auto psd = qv::io::ImageSource::createWithPath(out("c02.psd"));
    ASSERT_TRUE(psd);
    EXPECT_EQ(psd->type(), "com.adobe.photoshop-image");
    EXPECT_EQ(psd->pixelWidth(), 96);
    EXPECT_TRUE(alertsWithMessage("OpenErrorMessage").empty());
    EXPECT_TRUE(b().mWindow->isVisible());  // the batch sheet is back
}

TEST_F(BatchRunTest, AutomaticModeChoosesEachPhotosLensAndCarriesTheMetadata) {
    // The same pixels from two cameras: only the lens chosen for each makes them differ.
    writeCameraPhoto(in("canon.jpg"), "public.jpeg", "Canon", "Canon EOS 400D DIGITAL");
    writeCameraPhoto(in("nikon.jpg"), "public.jpeg", "NIKON CORPORATION", "NIKON D80");
    writeCameraPhoto(in("plain.jpg"), "public.jpeg", "Nobody", "No camera");
    tool({"-q", "-overwrite_original", "-LensInfo=18 55 3.5 5.6", in("canon.jpg")});
    tool({"-q", "-overwrite_original", "-LensInfo=18 70 3.5 4.5", in("nikon.jpg")});
    add({in("canon.jpg"), in("nikon.jpg"), in("plain.jpg")});
    intoFolder(out());
    mode(0);
    ASSERT_TRUE(start());
    runToCompletion();
    ASSERT_EQ(count(Report::Outcome::Written), 3u);
    const auto canon = pixelsOf(out("canon.jpeg")), nikon = pixelsOf(out("nikon.jpeg")), plain = pixelsOf(out("plain.jpeg"));
    const auto original = pixelsOf(in("plain.jpg"));
    ASSERT_TRUE(canon && nikon && plain && original);
    EXPECT_NE(canon->pixels, nikon->pixels);
    EXPECT_NE(canon->pixels, plain->pixels);
    EXPECT_EQ(plain->width, original->width);
    EXPECT_EQ(qv::io::ImageSource::createWithPath(out("nikon.jpeg"))->properties().at("{TIFF}").get("Model").stringOr(""),
              "NIKON D80");
    // The main window's lens display followed the last photo; focal ranges are restored.
    EXPECT_EQ(c().minFocalLengthFromImage(), 0.f);
    // The last photo's lens was not found: the neutral lens, not the Nikon's coefficients.
    EXPECT_EQ(c().correctionValues(), (std::vector<double>{0, 0, 0, 1}));
}

TEST_F(BatchRunTest, OneMetadataToolServesTheOpenStepAndTheRunAndIsReplacedWhenItFails) {
    const std::string log = m_dir.file("tool.log");
    writeScriptedLensInfoTool(std::string(std::getenv("QV_RESOURCE_DIR")) + "/exiftool", log);
    // The open step starts the tool (this window's view loads no photo, so it asks nothing).
    writePhoto(m_dir.file("opened.jpg"), 64, 48);
    c().openImage(m_dir.file("opened.jpg"));
    const std::vector<std::string> names = {"a.jpg", "b-exits.jpg", "c-garbage.jpg", "d.jpg", "e.jpg"};
    for (const std::string& name : names) writeCanon(in(name));
    for (const std::string& name : names) add({in(name)});
    intoFolder(out());
    mode(0);
    // As each photo starts, the range the photo before it read (the worker has set it by then).
    std::vector<float> ranges;
    b().m_photoStarting = [&](int index) {
        if (index > 0) ranges.push_back(c().maxFocalLengthFromImage());
    };
    ASSERT_TRUE(start());
    runToCompletion();
    EXPECT_EQ(count(Report::Outcome::Written), names.size());
    EXPECT_EQ(ranges, (std::vector<float>{105, 0, 0, 105}));
    // The tool the open step started answered the run too, until it exited; then one more served
    // the rest of the run, garbage and all.
    EXPECT_EQ(linesOf(log), (std::vector<std::string>{"start", in("a.jpg"), in("b-exits.jpg"), "start",
                                                      in("c-garbage.jpg"), in("d.jpg"), in("e.jpg")}));
}

TEST_F(BatchRunTest, CurrentSettingsCorrectEveryPhotoAlikeAndA16BitTiffStays16Bit) {
    writeCameraPhoto(in("deep.tif"), "public.tiff", "Nobody", "No camera", 96, 64, 16);
    writeCameraPhoto(in("flat.jpg"), "public.jpeg", "Canon", "Canon EOS 400D DIGITAL");
    add({in("deep.tif"), in("flat.jpg")});
    intoFolder(out());
    mode(1);
    c().mainWindow().m_pVigAmountSlider->setDoubleValue(40);
    ASSERT_TRUE(start());
    runToCompletion();
    ASSERT_EQ(count(Report::Outcome::Written), 2u);
    auto deep = qv::io::ImageSource::createWithPath(out("deep.tiff"));
    ASSERT_TRUE(deep);
    EXPECT_EQ(deep->bitsPerComponent(), 16);
    const auto corrected = pixelsOf(out("flat.jpeg")), original = pixelsOf(in("flat.jpg"));
    ASSERT_TRUE(corrected && original);
    EXPECT_NE(corrected->pixels, original->pixels);  // the vignetting step ran
}

TEST_F(BatchRunTest, PresetModeSetsTheWindowsControlsOnceAndCorrectsEveryPhotoWithThem) {
    writeCanon(in("a.jpg"));
    writeCanon(in("b.jpg"));
    shell::preset::PresetSettings settings;
    settings.coefficients = {0.02, -0.05, 0.01, 1.02};
    settings.vigAmount = 30;
    settings.scale = 100;
    settings.aspect = 1;
    ASSERT_TRUE(qv::writePropertyList(shell::preset::presetDictionary(settings), m_dir.file("look.dtl2")));
    qv::ui::Responder& answers = responder();
    answers.queuePanel({true, {m_dir.file("look.dtl2")}});
    mode(2);
    ASSERT_TRUE(b().mBrowsePresetButton->isEnabled());
    ASSERT_TRUE(b().mBrowsePresetButton->performClick());
    add({in("a.jpg"), in("b.jpg")});
    intoFolder(out());
    ASSERT_TRUE(start());
    runToCompletion();
    ASSERT_EQ(count(Report::Outcome::Written), 2u);
    EXPECT_FLOAT_EQ(float(c().correctionParameters().vignetBrightness), 30.f);  // the main window shows the preset
    const std::vector<double> used = c().correctionValues();
    EXPECT_NEAR(used[1], -0.05, 1e-6);
    const auto a = pixelsOf(out("a.jpeg")), b = pixelsOf(out("b.jpeg")), original = pixelsOf(in("a.jpg"));
    ASSERT_TRUE(a && b && original);
    EXPECT_EQ(a->pixels, b->pixels);  // the same photo, the same settings
    EXPECT_NE(a->pixels, original->pixels);
}

TEST_F(BatchRunTest, AnOrientationOutsideOneToEightIsWrittenAsOneAndAValidOneAsItCame) {
    writeCanon(in("bad.tif"), "public.tiff");
    writeCanon(in("turned.tif"), "public.tiff");
    tool({"-q", "-overwrite_original", "-n", "-IFD0:Orientation=1025", in("bad.tif")});
    tool({"-q", "-overwrite_original", "-n", "-IFD0:Orientation=6", in("turned.tif")});
    ASSERT_EQ(tool({"-s3", "-n", "-Orientation", in("bad.tif")}), "1025\n");
    add({in("bad.tif"), in("turned.tif")});
    intoFolder(out());
    mode(1);
    ASSERT_TRUE(start());
    runToCompletion();
    ASSERT_EQ(count(Report::Outcome::Written), 2u);
    // The batch writes the pixels as stored: a valid turn still holds for them.
    for (const auto& [name, orientation] : std::vector<std::pair<std::string, long>>{{"bad.tiff", 1}, {"turned.tiff", 6}}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(tool({"-s3", "-n", "-Orientation", out(name)}), std::to_string(orientation) + "\n");
        auto written = qv::io::ImageSource::createWithPath(out(name));
        ASSERT_TRUE(written);
        EXPECT_EQ(written->orientation(), orientation);
        EXPECT_EQ(qv::Value(written->properties()).get("{TIFF}").get("Orientation").integerOr(0), orientation);
        EXPECT_EQ(written->pixelWidth(), 96);
    }
}

TEST_F(BatchRunTest, TheOutputCarriesTheSourcesColourProfile) {
    qv::Bitmap bitmap = qv::Bitmap::make(64, 48, qv::PixelFormat::RGB8);
    for (std::size_t i = 0; i < bitmap.pixels.size(); ++i) bitmap.pixels[i] = std::uint8_t(i * 7);
    const qv::io::ColorSpace srgb = qv::io::ColorSpace::sRGB();
    ASSERT_TRUE(srgb.hasICCProfile());
    auto destination = qv::io::ImageDestination::createWithPath(in("tagged.tif"), "public.tiff");
    ASSERT_TRUE(destination);
    destination->addImage(std::move(bitmap), qv::Dictionary{}, srgb);
    ASSERT_TRUE(destination->finalize());
    add({in("tagged.tif")});
    intoFolder(out());
    mode(1);
    ASSERT_TRUE(start());
    runToCompletion();
    auto written = qv::io::ImageSource::createWithPath(out("tagged.tiff"));
    ASSERT_TRUE(written);
    EXPECT_EQ(written->embeddedProfile(), srgb.iccProfile());
}

TEST_F(BatchRunTest, DestinationModeRefusesToWriteOverASourceOrAnEarlierOutput) {
    ASSERT_TRUE(qv::files::createFolder(in("one")));
    ASSERT_TRUE(qv::files::createFolder(in("two")));
    writeCanon(in("one/x.jpg"));
    writeCanon(in("two/x.jpg"));
    writeCanon(in("y.jpeg"));
    const auto before = fileBytes(in("y.jpeg"));
    add({in("one/x.jpg"), in("two/x.jpg"), in("y.jpeg")});
    intoFolder(m_dir.file("in"));  // y.jpeg would come out as in/y.jpeg: its own source
    ASSERT_TRUE(start());
    runToCompletion();
    ASSERT_EQ(m_reports.size(), 3u);
    EXPECT_EQ(m_reports[0].outcome, Report::Outcome::Written);
    EXPECT_EQ(m_reports[1].outcome, Report::Outcome::Failed);
    EXPECT_NE(m_reports[1].message.find("already written"), std::string::npos) << m_reports[1].message;
    EXPECT_EQ(m_reports[2].outcome, Report::Outcome::Failed);
    EXPECT_NE(m_reports[2].message.find("overwrite"), std::string::npos) << m_reports[2].message;
    EXPECT_EQ(fileBytes(in("y.jpeg")), before);
    // The alert names the last photo that failed.
    EXPECT_EQ(alertsWithMessage("OpenErrorMessage"), std::vector<std::string>{in("y.jpeg")});
}

TEST_F(BatchRunTest, ReplaceModeRewritesAPhotoInPlaceAndKeepsARawSource) {
    writeCanon(in("x.JPG"));
    writeCanon(in("raw.dng"), "public.tiff");
    const auto jpegBefore = fileBytes(in("x.JPG"));
    const auto rawBefore = fileBytes(in("raw.dng"));
    c().mainWindow().m_pVigAmountSlider->setDoubleValue(40);
    mode(1);
    add({in("x.JPG"), in("raw.dng")});
    replaceSources();
    outputType(1);
    ASSERT_TRUE(start());
    runToCompletion();
    EXPECT_EQ(count(Report::Outcome::Written), 2u);
    EXPECT_NE(fileBytes(in("x.JPG")), jpegBefore);
    EXPECT_EQ(qv::io::ImageSource::createWithPath(in("x.JPG"))->type(), "public.jpeg");
    EXPECT_EQ(fileBytes(in("raw.dng")), rawBefore);
    auto beside = qv::io::ImageSource::createWithPath(in("raw.tiff"));
    ASSERT_TRUE(beside);
    EXPECT_EQ(beside->type(), "public.tiff");
    EXPECT_EQ(namesIn(m_dir.file("in")), (std::vector<std::string>{"raw.dng", "raw.tiff", "x.JPG"}));
}

TEST_F(BatchRunTest, NoFileButAPhotoReplacingItselfIsEverWrittenOver) {
    // Replace mode: a raw source's output beside it would land on an unrelated file, or on a link
    // to a photo elsewhere; the JPEG replaces itself as asked.
    writeCanon(in("x.jpg"));
    writeCanon(in("shot.dng"), "public.tiff");
    writeCanon(in("linked.dng"), "public.tiff");
    ASSERT_TRUE(qv::files::writeWhole(in("shot.tiff"), std::string_view("the user's own shot.tiff")));
    ASSERT_TRUE(qv::files::createFolder(m_dir.file("elsewhere")));
    writeCanon(m_dir.file("elsewhere/kept.tif"), "public.tiff");
    ASSERT_EQ(::symlink(m_dir.file("elsewhere/kept.tif").c_str(), in("linked.tiff").c_str()), 0);
    ASSERT_EQ(::symlink(m_dir.file("nowhere.tif").c_str(), in("dangling.tiff").c_str()), 0);
    writeCanon(in("dangling.dng"), "public.tiff");
    const auto jpegBefore = fileBytes(in("x.jpg"));
    const auto shotBefore = fileBytes(in("shot.tiff"));
    const auto keptBefore = fileBytes(m_dir.file("elsewhere/kept.tif"));
    const auto namesBefore = namesIn(m_dir.file("in"));
    mode(1);
    c().mainWindow().m_pVigAmountSlider->setDoubleValue(40);
    add({in("x.jpg"), in("shot.dng"), in("linked.dng"), in("dangling.dng")});
    replaceSources();
    outputType(1);
    ASSERT_TRUE(start());
    runToCompletion();
    ASSERT_EQ(m_reports.size(), 4u);
    EXPECT_EQ(m_reports[0].outcome, Report::Outcome::Written);
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(m_reports[i].outcome, Report::Outcome::Failed) << m_reports[i].source;
        EXPECT_NE(m_reports[i].message.find("already at"), std::string::npos) << m_reports[i].message;
    }
    EXPECT_NE(fileBytes(in("x.jpg")), jpegBefore);
    EXPECT_EQ(fileBytes(in("shot.tiff")), shotBefore);
    EXPECT_EQ(fileBytes(m_dir.file("elsewhere/kept.tif")), keptBefore);
    EXPECT_FALSE(qv::files::exists(m_dir.file("nowhere.tif")));
    EXPECT_EQ(namesIn(m_dir.file("in")), namesBefore);  // no temporary file left either
    EXPECT_EQ(namesIn(m_dir.file("elsewhere")), std::vector<std::string>{"kept.tif"});
    EXPECT_EQ(alertsWithMessage("OpenErrorMessage"), std::vector<std::string>{in("dangling.dng")});

    // Destination mode: a file already in the folder under an output's name stays as it was.
    m_reports.clear();
    ASSERT_TRUE(qv::files::createFolder(out()));
    ASSERT_TRUE(qv::files::writeWhole(out("x.jpeg"), std::string_view("an earlier x.jpeg")));
    const auto earlier = fileBytes(out("x.jpeg"));
    intoFolder(out());
    ASSERT_TRUE(start());
    runToCompletion();
    ASSERT_EQ(m_reports.size(), 4u);
    EXPECT_EQ(m_reports[0].outcome, Report::Outcome::Failed);
    EXPECT_EQ(fileBytes(out("x.jpeg")), earlier);
    EXPECT_EQ(namesIn(out()), (std::vector<std::string>{"dangling.tiff", "linked.tiff", "shot.tiff", "x.jpeg"}));
}

TEST_F(BatchRunTest, DamagedPhotosInReplaceModeAreRewrittenReadableOrLeftByteForByte) {
    // Rounds of mutated photos of the kinds a batch takes, bounded by a count and a time.
    const std::vector<std::pair<std::string, std::string>> seeds = {
        {"jpeg", "jpg"}, {"tiff8", "tif"}, {"tiff16-lzw", "tif"}, {"tiff-tiled", "tif"}, {"psd8", "psd"}, {"dng", "dng"}};
    qvtest::Mutator mutator(0xBA7C0001u);
    mode(1);
    replaceSources();
    outputType(1);
    for (qvtest::MutationRun run("damaged photos in replace mode", 6); run.next();) {
        const int round = run.index();
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string folder = in("round" + std::to_string(round));
        ASSERT_TRUE(qv::files::createFolder(folder));
        std::map<std::string, qv::Data> written;
        for (std::size_t k = 0; k < seeds.size(); ++k) {
            const std::string path = folder + "/p" + std::to_string(k) + "." + seeds[k].second;
            written[path] = mutator.mutate(qvtest::makeMutationSeed(seeds[k].first));
            qvtest::writeFile(path, written[path]);
        }
        m_reports.clear();
        while (b().sources().sources.size() > 0) {
            ASSERT_TRUE(b().mSourcesTable->userClickRow(0));
            b().onRemoveSource(nullptr);
        }
        add({folder});
        ASSERT_TRUE(start());
        runToCompletion();
        ASSERT_EQ(m_reports.size(), seeds.size());
        std::set<std::string> expected;
        for (const Report& report : m_reports) {
            expected.insert(qv::paths::lastPathComponent(report.source));
            if (report.outcome == Report::Outcome::Written) {
                expected.insert(qv::paths::lastPathComponent(report.output));
                EXPECT_TRUE(pixelsOf(report.output)) << report.output << " is not readable";
                if (report.output != report.source) {
                    EXPECT_EQ(fileBytes(report.source), written[report.source]);
                }
            } else {
                EXPECT_EQ(fileBytes(report.source), written[report.source]) << report.source << ": " << report.message;
            }
        }
        // Nothing else in the folder: no temporary file, no partial output.
        const auto names = namesIn(folder);
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), expected);
    }
}

TEST_F(BatchRunTest, AReadOnlyDestinationFailsEveryPhotoWritesNothingAndNeitherSleepsNorSaysDone) {
    writeCanon(in("a.jpg"));
    writeCanon(in("b.jpg"));
    ASSERT_TRUE(qv::files::createFolder(out()));
    ASSERT_EQ(::chmod(out().c_str(), 0555), 0);
    add({in("a.jpg"), in("b.jpg")});
    intoFolder(out());
    b().mSleepCheckbox->performClick();
    b().mAlertCheckbox->performClick();
    const std::size_t sleeps = qv::systemSleepRequestCount();
    {
        // Root writes into read-only folders: a file-size cap makes its writes fail all the same.
        std::optional<qvtest::FileSizeLimit> cap;
        if (::geteuid() == 0) cap.emplace(64);
        ASSERT_TRUE(start());
        runToCompletion();
    }
    ::chmod(out().c_str(), 0755);
    EXPECT_EQ(count(Report::Outcome::Failed), 2u);
    EXPECT_TRUE(namesIn(out()).empty());
    EXPECT_EQ(alertsWithMessage("OpenErrorMessage"), std::vector<std::string>{in("b.jpg")});
    EXPECT_TRUE(alertsWithMessage("MessageAfterBatchProcessing").empty());
    EXPECT_EQ(qv::systemSleepRequestCount(), sleeps);
    EXPECT_EQ(label(), batch::keys::kCanceledLabel);
}

TEST_F(BatchRunTest, ASuccessfulRunAsksForSleepAndSaysDone) {
    writeCanon(in("a.jpg"));
    add({in("a.jpg")});
    intoFolder(out());
    b().mSleepCheckbox->performClick();
    b().mAlertCheckbox->performClick();
    const std::size_t sleeps = qv::systemSleepRequestCount();
    ASSERT_TRUE(start());
    runToCompletion();
    EXPECT_EQ(qv::systemSleepRequestCount(), sleeps + 1);
    EXPECT_EQ(alertsWithMessage("MessageAfterBatchProcessing").size(), 1u);
}

TEST_F(BatchRunTest, CancelInTheMiddleLeavesNoPartialFileAndNoDoneAlert) {
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) writeCanon(in(name));
    add({m_dir.file("in")});
    intoFolder(out());
    b().mAlertCheckbox->performClick();
    holdEachPhoto();
    ASSERT_TRUE(start());
    m_gate.release(0);
    ASSERT_TRUE(m_gate.waitFor(1));
    ASSERT_TRUE(b().mProgressSheet->isVisible());
    b().onCancelSheet(nullptr);
    m_gate.openAll();
    runToCompletion();
    EXPECT_EQ(namesIn(out()), std::vector<std::string>{"a.jpeg"});
    EXPECT_EQ(label(), batch::keys::kCanceledLabel);
    EXPECT_TRUE(alertsWithMessage("MessageAfterBatchProcessing").empty());
    EXPECT_TRUE(alertsWithMessage("OpenErrorMessage").empty());
}

TEST_F(BatchRunTest, ACancelPressedAsTheRunStartsIsNotLost) {
    writeCanon(in("a.jpg"));
    add({in("a.jpg")});
    intoFolder(out());
    ASSERT_TRUE(start());
    b().onCancelSheet(nullptr);  // before the main loop has let the worker do anything
    runToCompletion();
    EXPECT_TRUE(namesIn(out()).empty());
    EXPECT_EQ(label(), batch::keys::kCanceledLabel);
}

TEST_F(BatchRunTest, ProgressOfOnePhotoOnTheVirtualClock) {
    writeCanon(in("a.jpg"));
    add({in("a.jpg")});
    intoFolder(out());
    holdEachPhoto();
    ASSERT_TRUE(start());
    ASSERT_TRUE(m_gate.waitFor(0));
    EXPECT_EQ(bar(), 0);
    EXPECT_EQ(label(), " ");
    tick();
    EXPECT_EQ(bar(), 100);
    EXPECT_EQ(label(), "a.jpg");
    m_gate.release(0);
    ASSERT_TRUE(qv::RunLoop::main().runUntil([&] { return m_reports.size() == 1; }, 30));
    qv::waitForDetachedThreads(30);
    tick();
    // Finished: the full bar stays up for a second before the run completes.
    EXPECT_TRUE(b().isRunning());
    EXPECT_TRUE(b().mProgressSheet->isVisible());
    m_clock->advance(0.9);
    qv::RunLoop::main().runUntil([] { return false; }, 0.02);
    EXPECT_TRUE(b().isRunning());
    m_clock->advance(0.2);
    qv::RunLoop::main().runUntil([] { return false; }, 0.02);
    EXPECT_FALSE(b().isRunning());
    EXPECT_FALSE(b().mProgressSheet->isVisible());
}

TEST_F(BatchRunTest, ARunWithoutASheetCompletesAsSoonAsItsWorkerIsDoneAndNotBefore) {
    for (const char* name : {"a.jpg", "b.jpg"}) writeCanon(in(name));
    add({m_dir.file("in")});
    intoFolder(out());
    b().mAlertCheckbox->performClick();
    holdEachPhoto();
    ASSERT_TRUE(start());
    ASSERT_TRUE(m_gate.waitFor(0));
    b().completeFinishedRun();  // the worker is still on the first photo
    EXPECT_TRUE(b().isRunning());
    m_gate.openAll();
    // The clock never moves: no tick and no hold of the full bar are waited for.
    ASSERT_TRUE(qv::RunLoop::main().runUntil([&] { return b().hasWorkerFinished(); }, 60));
    b().completeFinishedRun();
    EXPECT_FALSE(b().isRunning());
    EXPECT_FALSE(b().mProgressSheet->isVisible());
    EXPECT_EQ(bar(), 100);
    EXPECT_EQ(count(Report::Outcome::Written), 2u);
    EXPECT_EQ(alertsWithMessage("MessageAfterBatchProcessing").size(), 1u);
}

TEST_F(BatchRunTest, ProgressOfFourPhotosOnTheVirtualClock) {
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) writeCanon(in(name));
    add({m_dir.file("in")});
    intoFolder(out());
    holdEachPhoto();
    ASSERT_TRUE(start());
    const std::vector<double> expected = {25, 25, 50, 75};
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(m_gate.waitFor(i));
        tick();
        EXPECT_EQ(bar(), expected[std::size_t(i)]) << "photo " << i;
        EXPECT_EQ(label(), std::string(1, char('a' + i)) + ".jpg");
        m_gate.release(i);
    }
    qv::waitForDetachedThreads(30);
    tick();
    EXPECT_EQ(bar(), 100);
    runToCompletion();
    EXPECT_EQ(count(Report::Outcome::Written), 4u);
}

TEST_F(BatchRunTest, TheStartChecksRefuseWithTheirAlertsAndStartNothing) {
    intoFolder(out());
    EXPECT_FALSE(b().isRunning());
    add({in("missing-folder/")});
    ASSERT_TRUE(qv::files::createFolder(in("missing-folder")));
    EXPECT_FALSE(start());  // an empty folder: no photo
    EXPECT_EQ(alertsWithMessage("PleaseSelectSource").size(), 1u);

    writeCanon(in("a.jpg"));
    add({in("a.jpg")});
    intoFolder(m_dir.file("no/such/parent"));
    EXPECT_FALSE(start());
    EXPECT_EQ(alertsWithMessage("SelectProperParent").size(), 1u);

    intoFolder(out());
    b().mSampleFileName->setStringValue("noextension");
    EXPECT_FALSE(start());
    EXPECT_EQ(alertsWithMessage("SelectDestination").size(), 1u);

    // A typed part that would lead out of the destination folder, the sample name being fine.
    for (const char* typed : {"../escape", "sub/name", "..", "a..b"}) {
        b().setAllcomboboxeSelections();
        ASSERT_TRUE(b().mCombo2->userType(typed));
        ASSERT_NE(b().mSampleFileName->stringValue().find(".jpg"), std::string::npos);
        EXPECT_FALSE(start()) << typed;
    }
    EXPECT_EQ(alertsWithMessage("SelectDestination").size(), 5u);
    EXPECT_EQ(alertsWithMessage("SelectDestination").back(), qv::localizedString("DestinationNameError"));
    EXPECT_FALSE(qv::files::exists(m_dir.file("escape.jpeg")));

    b().setAllcomboboxeSelections();
    mode(2);  // a preset that was never chosen: the alert says so, under a title of its own
    EXPECT_FALSE(start());
    EXPECT_EQ(alertsWithMessage("PleaseSelectPreset"), std::vector<std::string>{qv::localizedString("NoPresetFile")});
    EXPECT_NE(qv::localizedString("NoPresetFile"), "NoPresetFile") << "a text of its own";
    EXPECT_TRUE(alertsWithMessage("PresetOpenErrorMessage").empty());
    ASSERT_TRUE(qv::files::writeWhole(m_dir.file("bad.dtl2"), std::string_view("not a property list")));
    b().mPresetFile = m_dir.file("bad.dtl2");
    EXPECT_FALSE(start());
    EXPECT_EQ(alertsWithMessage("PresetOpenErrorMessage"), std::vector<std::string>{"bad.dtl2"});
    EXPECT_TRUE(namesIn(out()).empty());
}

TEST_F(BatchRunTest, DroppedFilesJoinTheListAndOnlyFolderRowsTakeTheSubFolderBox) {
    writeCanon(in("a.jpg"));
    ASSERT_TRUE(qv::files::writeWhole(in("notes.txt"), std::string_view("text")));
    auto board = qv::ui::Pasteboard::withName("batch drop");
    board->setFilenames({in("a.jpg"), in("notes.txt"), m_dir.file("in")});
    qv::ui::DraggingInfo drag;
    drag.pasteboard = board;
    qv::ui::TableView& list = *b().mSourcesTable;
    EXPECT_EQ(b().validateDrop(list, drag, 0, qv::ui::DropPosition::Above), qv::ui::kDragOperationCopy);
    ASSERT_TRUE(b().acceptDrop(list, drag, 0, qv::ui::DropPosition::Above));
    ASSERT_EQ(list.numberOfRows(), 2);  // the text file is left out
    EXPECT_TRUE(qv::UserDefaults::standard().boolForKey(batch::keys::kEnableControls));
    const qv::ui::TableColumn* box = list.tableColumnWithIdentifier(batch::keys::kSubFoldersColumn);
    EXPECT_FALSE(list.userClickCheckBox(box, 0));  // a file has no sub-folders
    EXPECT_TRUE(list.userClickCheckBox(box, 1));
    EXPECT_EQ(b().sources().subFolders, (std::vector<bool>{false, true}));
    const qv::ui::TableColumn* names = list.tableColumnWithIdentifier(batch::keys::kSourcesColumn);
    EXPECT_EQ(list.objectValueAt(names, 1).value.stringOr(""), "in");
    ASSERT_TRUE(list.userClickRow(0));
    b().onRemoveSource(nullptr);
    EXPECT_EQ(b().sources().sources, std::vector<std::string>{m_dir.file("in")});
    EXPECT_EQ(b().sources().subFolders, std::vector<bool>{true});
    list.deselectAll();
    b().onRemoveSource(nullptr);  // no row selected: nothing happens
    EXPECT_EQ(list.numberOfRows(), 1);
}

TEST_F(BatchRunTest, AnUnreadableFileIsSkippedWithoutAnAlertAndUsesNoNumber) {
    ASSERT_TRUE(qv::files::writeWhole(in("broken.jpg"), std::string_view("not a photo")));
    ASSERT_TRUE(qv::files::createFolder(in("x.jpg")));  // listed as a photo by its name
    ASSERT_TRUE(qv::files::writeWhole(in("notes.txt"), std::string_view("text")));
    writeCanon(in("z.jpg"));
    add({m_dir.file("in")});
    intoFolder(out());
    ASSERT_TRUE(b().mCombo2->userChooseItem(int(batch::NameToken::Counter1)));
    ASSERT_TRUE(start());
    runToCompletion();
    EXPECT_EQ(count(Report::Outcome::Skipped), 2u);
    EXPECT_EQ(namesIn(out()), std::vector<std::string>{"z0.jpeg"});
    EXPECT_TRUE(alertsWithMessage("OpenErrorMessage").empty());
}

TEST_F(BatchRunTest, FisheyeModeUnwrapsAndAnOutOfRangeAngleFailsCleanly) {
    writeCanon(in("fish.jpg"));
    writeCanon(in("other.png"), "public.png");
    c().fisheye().mFECorrectionTypeMatrix->selectCellWithTag(1);
    c().setCorrectionType(c().fisheye().mFECorrectionTypeMatrix);
    c().fisheye().mFEOutputWidth->setStringValue("80");
    c().fisheye().mFEOutputHeight->setStringValue("40");
    c().fisheye().mFEInputFOV->setStringValue("180");
    c().fisheye().mFEOutputFOV->setStringValue("90");
    mode(1);
    add({in("fish.jpg"), in("other.png")});
    intoFolder(out());
    ASSERT_TRUE(start());
    runToCompletion();
    ASSERT_EQ(m_reports.size(), 2u);
    EXPECT_EQ(m_reports[0].outcome, Report::Outcome::Written) << m_reports[0].message;
    auto unwrapped = qv::io::ImageSource::createWithPath(out("fish.jpeg"));
    ASSERT_TRUE(unwrapped);
    EXPECT_EQ(unwrapped->pixelWidth(), 80);
    EXPECT_EQ(unwrapped->pixelHeight(), 40);
    EXPECT_EQ(unwrapped->properties().at("{TIFF}").get("Make").stringOr(""), "Canon");
    EXPECT_EQ(m_reports[1].outcome, Report::Outcome::Failed);  // the engine reads no PNG
    EXPECT_EQ(namesIn(out()), std::vector<std::string>{"fish.jpeg"});

    m_reports.clear();
    c().fisheye().mFEOutputFOV->setStringValue("180");
    intoFolder(out("again"));
    ASSERT_TRUE(start());
    runToCompletion();
    ASSERT_EQ(m_reports.size(), 2u);
    EXPECT_EQ(m_reports[0].outcome, Report::Outcome::Failed);
    EXPECT_NE(m_reports[0].message.find("Unwrap:"), std::string::npos);
    EXPECT_TRUE(qv::UserDefaults::standard().boolForKey(shell::keys::kEnableControl));
}

// Two photos of the same pixels, taken with the 18-55 zoom at 18 and at 35 mm: each is corrected
// with the zoom's coefficients at its own focal length, exactly as the window corrects it alone;
// and so with an owned lens after a user database's lens was put in use.
TEST_F(BatchRunTest, AutomaticModeCorrectsEachPhotoAtItsOwnFocalLengthAsTheWindowDoes) {
    for (const auto& [name, focal] : {std::pair{"at18.jpg", 18.0}, std::pair{"at35.jpg", 35.0}}) {
        writeCameraPhoto(in(name), "public.jpeg", "Canon", "Canon EOS 400D DIGITAL", 96, 64, 8, focal);
        tool({"-q", "-overwrite_original", "-LensInfo=18 55 3.5 5.6", in(name)});
    }
    const auto at18 = windowCoefficientsOf(in("at18.jpg")), at35 = windowCoefficientsOf(in("at35.jpg"));
    ASSERT_NE(at18, at35) << "the zoom's coefficients change between 18 and 35 mm";
    const double windowFocalLength = c().mainWindow().mFocalLengthField->doubleValue();

    EXPECT_EQ(automaticBatchOf({in("at18.jpg")}), at18);
    EXPECT_EQ(automaticBatchOf({in("at35.jpg")}), at35);
    EXPECT_EQ(automaticBatchOf({in("at35.jpg"), in("at18.jpg")}), at18);
    EXPECT_EQ(c().mainWindow().m_pLensText->stringValue(), "EF-S 18-55");
    const auto first = pixelsOf(out("at18.jpeg")), second = pixelsOf(out("at35.jpeg"));
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->pixels, second->pixels);
    ASSERT_TRUE(b().mWindow->isVisible());
    b().onClose(nullptr);
    EXPECT_EQ(c().mainWindow().mFocalLengthField->doubleValue(), windowFocalLength)
        << "the run leaves the window's own photo's focal length";

    // A user database's second lens in use, then the EF-S 18-55 owned: the owned lens, at each
    // photo's focal length, whatever row of the user database was selected.
    qvtest::TempDir folder("qvdb");
    writeUserDatabase(folder.file("Wide.dtl"), {userLensRecord("Holga", 0.1f, -0.2f, 0.05f, 1.5f),
                                                userLensRecord("Diana", 0.01f, 0.02f, 0.03f, 0.97f)});
    responder().queuePanel({true, {folder.file("Wide.dtl")}});
    c().onBrowseDatabase(nullptr);
    openParametersSheet();
    ASSERT_TRUE(c().parametersSheet().m_pParametersTable->userClickRow(1));
    ASSERT_TRUE(c().parametersSheet().m_pLoadParametersButton->performClick());
    ASSERT_EQ(c().mainWindow().m_pLensText->stringValue(), "Diana");
    const qv::Array canonLenses = c().databaseLoader().lensArrayForCamGroup({"Canon APS-C"});
    ASSERT_EQ(canonLenses.at(0).get("3.Lens Name").stringOr(""), "EF-S 18-55");
    ASSERT_TRUE(QVPreferences::storeRecentLenses({canonLenses.at(0)}));
    ASSERT_TRUE(qv::ui::Application::shared().performMenuAction("onBatchProcess:"));

    EXPECT_EQ(automaticBatchOf({in("at35.jpg")}), at35);
    EXPECT_EQ(c().mainWindow().m_pLensText->stringValue(), "EF-S 18-55");
    EXPECT_EQ(automaticBatchOf({in("at18.jpg")}), at18);
}
