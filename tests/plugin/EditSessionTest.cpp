// The plug-in's edit session driven in-process through a recording host: the calls it makes and
// their order, Done writing the photo over the editable file in its own format, Cancel leaving it
// byte for byte, failures that keep the file and the session, a second session, the start-up's
// preferences, window placement, restored fisheye controls, the unwrap of a copy of the file and
// Done after an unwrap.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <sys/stat.h>

#include "Mutator.h"
#include "ShellTestSupport.h"
#include "TestImages.h"
#include "common/MutationRun.h"
#include "common/PropertyListMutator.h"
#include "appkit/Application.h"
#include "appkit/Canvas.h"
#include "appkit/Matrix.h"
#include "appkit/PopUpButton.h"
#include "appkit/Screen.h"
#include "appkit/TableView.h"
#include "appkit/TextField.h"
#include "coreimage/CIContext.h"
#include "coreimage/CIFilter.h"
#include "engine/QVDisplayView.h"
#include "foundation/Bundle.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "foundation/PropertyList.h"
#include "foundation/RunLoop.h"
#include "foundation/UserDefaults.h"
#include "host/RecordingEditManager.h"
#include "imageio/ImageProperties.h"
#include "imageio/ImageSource.h"
#include "imageio/ImageTypes.h"
#include "plugin/PlugInEditWindow.h"
#include "plugin/PlugInImageUnits.h"
#include "plugin/PlugInNib.h"
#include "plugin/QVEditPlugIn.h"
#include "shell/controller/CorrectionControls.h"
#include "shell/controller/PreferenceKeys.h"

using namespace shelltest;
using qv::host::RecordingEditManager;

namespace {

// The owned-lens question as the responder recorded it.
std::optional<qv::ui::AlertRecord> ownedLensQuestion() {
    for (const qv::ui::AlertRecord& record : qv::ui::Application::shared().responder().alerts())
        if (record.request.title == qv::localizedString("Please tell Quorvel which lenses you own.")) return record;
    return std::nullopt;
}

// A 24 x 16 icon of one colour, written as the bundle's "lens" image resource.
void installIcon(const std::string& bundle) {
    qv::ui::Canvas canvas(24, 16);
    canvas.clear(qv::ui::Color::rgb(1, 0.5, 0));
    ASSERT_TRUE(canvas.writePNG(bundle + "/lens.png"));
}

// The image units' bundle folders the plug-in bundle would carry.
void installImageUnits(const std::string& bundle, std::initializer_list<const char*> units) {
    for (const char* unit : units)
        ASSERT_TRUE(qv::files::createFolder(bundle + "/PlugIns/" + unit + "/Contents", true));
}

class EditSessionTest : public testing::Test {
protected:
    void SetUp() override {
        resetApplication();
        m_bundle = std::make_unique<FixtureBundle>();
        for (const char* resource : {"exiftool", "MyRadialDistortion.cikernel", "MyVignetting.cikernel"})
            ASSERT_TRUE(m_bundle->installResource(resource));
        responder().queueAlert(declineOwnedLenses());
        m_editable = m_dir.file("IMG_0001 (editable).jpg");
        writePhoto(m_editable, 600, 400);
        m_host.selectOne("IMG_0001", m_editable);
    }
    void TearDown() override {
        m_plugIn.reset();
        resetApplication();
        m_bundle.reset();
    }
    // Creates the plug-in, asks for its window and starts a session.
    QVEditPlugIn& begin() {
        if (!m_plugIn) m_plugIn = QVEditPlugIn::initWithAPIManager(&m_host);
        EXPECT_TRUE(m_plugIn);
        EXPECT_NE(m_plugIn->editWindow(), nullptr);
        m_plugIn->beginEditSession();
        return *m_plugIn;
    }
    PlugInEditWindow& window() { return *dynamic_cast<PlugInEditWindow*>(m_plugIn->editWindow()); }
    // Sets a control as the host does; a refusal carries its reason.
    ::testing::AssertionResult setControl(const std::string& name, const std::string& value) {
        std::string reason;
        if (window().setControl(name, value, reason)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << reason;
    }

    qvtest::TempDir m_dir;
    std::unique_ptr<FixtureBundle> m_bundle;
    RecordingEditManager m_host;
    std::unique_ptr<QVEditPlugIn> m_plugIn;
    std::string m_editable;
};

TEST_F(EditSessionTest, CreationNeedsAnEditManager) {
    m_host.offersEditManager = false;
    EXPECT_EQ(QVEditPlugIn::initWithAPIManager(&m_host), nullptr);
    EXPECT_EQ(QVEditPlugIn::initWithAPIManager(nullptr), nullptr);
    EXPECT_EQ(m_host.log.calls(), std::vector<std::string>{"apiForProtocol ApertureEditManager"});
}

TEST_F(EditSessionTest, DoneWritesTheCorrectionOverTheEditableFileInItsOwnFormatAndEndsTheSession) {
    const auto before = fileBytes(m_editable);
    QVEditPlugIn& plugIn = begin();
    ASSERT_TRUE(plugIn.controller()->state().m_bImageLoaded);
    ASSERT_TRUE(setControl("rotation", "5"));
    window().clickDone();
    EXPECT_FALSE(plugIn.isSessionOpen());
    EXPECT_NE(fileBytes(m_editable), before);
    const auto source = qv::io::ImageSource::createWithPath(m_editable);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->type(), qv::io::kUTTypeJPEG);
    // The photo's orientation tag turned it; it is written upright.
    EXPECT_LT(source->pixelWidth(), source->pixelHeight());
    EXPECT_EQ(source->orientation(), 1);
    EXPECT_EQ(qv::Value(source->properties()).get(qv::io::kCGImagePropertyTIFFDictionary).get("Model").stringOr(""),
              "Canon EOS 400D DIGITAL");
    EXPECT_EQ(m_host.log.calls(),
              (std::vector<std::string>{"apiForProtocol ApertureEditManager", "selectedVersionIds",
                                        "editableVersionsOfVersions [IMG_0001] stacked",
                                        "pathOfEditableFileForVersion IMG_0001-edit", "apertureWindow",
                                        "selectedVersionIds", "endEditSession"}));
}

TEST_F(EditSessionTest, CancelLeavesTheFileByteForByteAndStoresTheWindowAndSampler) {
    const auto before = fileBytes(m_editable);
    QVEditPlugIn& plugIn = begin();
    ASSERT_TRUE(setControl("scale", "120"));
    // The sampler pop-up is stored by position.
    plugIn.controller()->fisheye().mFESamplertypePopUp->selectItemAtIndex(5);
    window().clickCancel();
    EXPECT_FALSE(plugIn.isSessionOpen());
    EXPECT_EQ(fileBytes(m_editable), before);
    EXPECT_EQ(m_host.log.names().back(), "cancelEditSession");
    const qv::Value preferences = qv::PreferencesFile::read();
    EXPECT_EQ(preferences.get(shell::keys::kSamplerType).doubleOr(-1), 5);
    EXPECT_EQ(preferences.get(shell::keys::kWindowWidth).doubleOr(0), plugIn.window()->frame().width());
}

TEST_F(EditSessionTest, AFileThatCannotBeWrittenIsKeptAndTheSessionStaysOpen) {
    QVEditPlugIn& plugIn = begin();
    ASSERT_TRUE(setControl("rotation", "5"));
    const auto before = fileBytes(m_editable);
    ASSERT_EQ(::chmod(m_editable.c_str(), 0444), 0);
    window().clickDone();
    EXPECT_EQ(fileBytes(m_editable), before);
    EXPECT_TRUE(plugIn.isSessionOpen());
    const auto messages = window().alertMessages();
    EXPECT_NE(std::find(messages.begin(), messages.end(), qv::localizedString("SaveErrorMessage")), messages.end());
    EXPECT_EQ(m_host.log.names().back(), "selectedVersionIds");  // the session was not ended
    // Once writable again, Done succeeds; or the user may cancel.
    ASSERT_EQ(::chmod(m_editable.c_str(), 0644), 0);
    window().clickDone();
    EXPECT_FALSE(plugIn.isSessionOpen());
    EXPECT_NE(fileBytes(m_editable), before);
    EXPECT_EQ(m_host.log.names().back(), "endEditSession");
}

TEST_F(EditSessionTest, NothingToOpenOpensNothingAndDoneSaysSoUnlessNothingWasSelected) {
    const std::vector<std::function<void(RecordingEditManager&)>> setups = {
        [](RecordingEditManager& host) { host.selected.clear(); },
        [](RecordingEditManager& host) { host.editable.clear(); },
        [](RecordingEditManager& host) { host.editable = {{{"other", "x"}}}; },
        [](RecordingEditManager& host) { host.editablePaths.clear(); },
    };
    for (std::size_t i = 0; i < setups.size(); ++i) {
        SCOPED_TRACE(i);
        m_plugIn.reset();
        m_host = RecordingEditManager();
        m_host.selectOne("IMG_0001", m_editable);
        setups[i](m_host);
        const auto before = fileBytes(m_editable);
        QVEditPlugIn& plugIn = begin();
        EXPECT_FALSE(plugIn.controller()->state().m_bImageLoaded);
        EXPECT_TRUE(plugIn.imagePaths().empty() || !plugIn.imagePaths().front());
        const std::size_t alertsBefore = window().alertMessages().size();
        window().clickDone();
        EXPECT_EQ(fileBytes(m_editable), before);
        if (i == 0) {  // no version selected: there was nothing to write
            EXPECT_FALSE(plugIn.isSessionOpen());
            EXPECT_EQ(m_host.log.names().back(), "endEditSession");
            continue;
        }
        // The selected version got no editable file: Done cannot write it, and says so under the
        // version's name; the session stays open for a Cancel.
        EXPECT_TRUE(plugIn.isSessionOpen());
        const auto messages = window().alertMessages();
        ASSERT_EQ(messages.size(), alertsBefore + 1);
        EXPECT_EQ(messages.back(), qv::localizedString("SaveErrorMessage"));
        EXPECT_EQ(responder().alerts().back().request.title, "IMG_0001");
        window().clickCancel();
        EXPECT_FALSE(plugIn.isSessionOpen());
        EXPECT_EQ(m_host.log.names().back(), "cancelEditSession");
    }
}

TEST_F(EditSessionTest, OnlyTheFirstOfSeveralSelectedVersionsIsEdited) {
    m_host.selected = {"IMG_0001", "IMG_0002", "IMG_0003"};
    QVEditPlugIn& plugIn = begin();
    ASSERT_EQ(plugIn.imagePaths().size(), 3u);
    EXPECT_EQ(plugIn.imagePaths()[0], m_editable);
    EXPECT_FALSE(plugIn.imagePaths()[1]);
    EXPECT_FALSE(plugIn.imagePaths()[2]);
    EXPECT_EQ(m_host.log.calls()[2], "editableVersionsOfVersions [IMG_0001] stacked");
}

TEST_F(EditSessionTest, ASecondSessionEditsTheNewSelectionOnly) {
    const std::string second = m_dir.file("IMG_0002 (editable).jpg");
    writePhoto(second, 600, 400);
    QVEditPlugIn& plugIn = begin();
    window().clickCancel();
    const auto first = fileBytes(m_editable);

    m_host.selectOne("IMG_0002", second);
    plugIn.beginEditSession();
    ASSERT_EQ(plugIn.imagePaths().size(), 1u);
    EXPECT_EQ(plugIn.imagePaths()[0], second);
    EXPECT_EQ(plugIn.controller()->originalImagePath(), second);
    const auto before = fileBytes(second);
    ASSERT_TRUE(setControl("rotation", "-4"));
    window().clickDone();
    EXPECT_NE(fileBytes(second), before);
    EXPECT_EQ(fileBytes(m_editable), first);
}

TEST_F(EditSessionTest, FirstSessionCreatesTheSixteenKeyPreferencesAndAsksForOwnedLenses) {
    ASSERT_FALSE(qv::PreferencesFile::exists());
    begin();
    EXPECT_TRUE(wasAsked("Please tell Quorvel which lenses you own."));
    const qv::Value preferences = qv::PreferencesFile::read();
    // The sixteen created keys, the four of the window frame, and the answer to the question; the
    // user defaults (the keys the controls are bound to) share the file.
    const qv::Value created = shell::keys::preferencesFileDefaults(true);
    EXPECT_EQ(created.size(), 16u);
    for (const auto& [key, value] : *created.dictionary()) EXPECT_TRUE(preferences.contains(key)) << key;
    for (const char* key : {shell::keys::kWindowWidth, shell::keys::kWindowHeight, shell::keys::kOriginX,
                            shell::keys::kOriginY})
        EXPECT_TRUE(preferences.contains(key)) << key;
    EXPECT_GE(preferences.size(), 16u + 4u + 1u);
    EXPECT_TRUE(m_plugIn->controller()->state().mPreferenceFileCreated);
}

TEST_F(EditSessionTest, WindowIsPlacedOverTheHostWindowWithStoredSize) {
    const auto placed = QVEditPlugIn::placedFrame({100, 50, 1000, 800}, 600, 400);
    ASSERT_TRUE(placed);
    EXPECT_EQ(*placed, qv::Rect(300, 450, 600, 400));
    EXPECT_FALSE(QVEditPlugIn::placedFrame({100, 50, 1000, 800}, 0, 400));
    EXPECT_FALSE(QVEditPlugIn::placedFrame({100, 50, 1000, 800}, 600, 0));
    // A stored size that is no number, or a place off every known screen, leaves the nib's frame.
    for (const double size : {HUGE_VAL, -HUGE_VAL, std::nan(""), 1e300, -600.0})
        EXPECT_FALSE(QVEditPlugIn::placedFrame({100, 50, 1000, 800}, size, 400)) << size;
    qv::ui::setScreenFramesSource([] { return std::vector<qv::Rect>{{0, 0, 1920, 1080}}; });
    EXPECT_FALSE(QVEditPlugIn::placedFrame({5000, 5000, 1000, 800}, 600, 400));
    EXPECT_TRUE(QVEditPlugIn::placedFrame({100, 50, 1000, 800}, 600, 400));
    qv::ui::setScreenFramesSource({});

    qv::Value stored = shell::keys::preferencesFileDefaults(true);
    stored[shell::keys::kWindowWidth] = 600.0f;
    stored[shell::keys::kWindowHeight] = 400.0f;
    stored[shell::keys::kOriginX] = 5.0f;
    stored[shell::keys::kOriginY] = 5.0f;
    ASSERT_TRUE(qv::PreferencesFile::write(stored));
    QVEditPlugIn& plugIn = begin();
    EXPECT_EQ(plugIn.window()->frame(), qv::Rect(300, 450, 600, 400));
}

TEST_F(EditSessionTest, StoredFisheyeValuesAndSamplerAreRestoredTruncatedAndTheUnwrapUsesTheSampler) {
    qv::Value stored = shell::keys::preferencesFileDefaults(true);
    stored[shell::keys::kFEInputFOV] = 150.75f;
    stored[shell::keys::kFEOutputWidth] = 1999.9f;
    stored[shell::keys::kSamplerType] = 4;
    ASSERT_TRUE(qv::PreferencesFile::write(stored));
    QVEditPlugIn& plugIn = begin();
    QVController& c = *plugIn.controller();
    EXPECT_EQ(c.fisheye().mFEInputFOV->stringValue(), "150");
    EXPECT_EQ(c.fisheye().mFEOutputWidth->stringValue(), "1999");
    EXPECT_EQ(c.fisheye().mFESamplertypePopUp->indexOfSelectedItem(), 4);
    EXPECT_EQ(c.fisheyeSettings().sampler, 4);
    // Stored by position and restored by tag: the two agree for every item.
    for (int i = 0; i < c.fisheye().mFESamplertypePopUp->numberOfItems(); ++i)
        EXPECT_EQ(c.fisheye().mFESamplertypePopUp->tagAtIndex(i), i);
}

TEST_F(EditSessionTest, SixteenBitTiffStaysASixteenBitTiffWithItsMetadata) {
    const std::string tiff = m_dir.file("deep (editable).tif");
    qvtest::writeFile(tiff, qvtest::encodeWithLayer(qv::io::ImageType::TIFF, 300, 200, true, qvtest::sampleMetadata(1)));
    m_host.selectOne("deep", tiff);
    QVEditPlugIn& plugIn = begin();
    ASSERT_TRUE(plugIn.controller()->state().m_bImageLoaded);
    const auto before = fileBytes(tiff);
    ASSERT_TRUE(setControl("rotation", "3"));
    window().clickDone();
    ASSERT_FALSE(plugIn.isSessionOpen());
    EXPECT_NE(fileBytes(tiff), before);
    const auto source = qv::io::ImageSource::createWithPath(tiff);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->type(), qv::io::kUTTypeTIFF);
    EXPECT_EQ(source->bitsPerComponent(), 16);
    EXPECT_EQ(qv::Value(source->properties()).get(qv::io::kCGImagePropertyTIFFDictionary).get("Artist").stringOr(""),
              "Ann Example");
}

TEST_F(EditSessionTest, DamagedEditableFilesAreWrittenReadableInTheirTypeOrKeptByteForByte) {
    // Mutated editable files of the types Done writes, bounded by a count and a time.
    const std::vector<std::pair<std::string, std::string>> seeds = {
        {"jpeg", "jpg"}, {"tiff8", "tif"}, {"tiff16-lzw", "tif"}, {"png", "png"}, {"png16", "png"}, {"psd8", "psd"}};
    qvtest::Mutator mutator(0x9106u);
    int written = 0, kept = 0;
    qvtest::MutationRun run("damaged editable files", 40);
    while (run.next()) {
        const int i = run.index();
        const auto& [seed, extension] = seeds[std::size_t(i) % seeds.size()];
        SCOPED_TRACE(seed + " mutant " + std::to_string(i));
        const std::string path = m_dir.file("mutant (editable)." + extension);
        const qv::Data before = mutator.mutate(qvtest::makeMutationSeed(seed));
        qvtest::writeFile(path, before);
        const auto readable = qv::io::ImageSource::createWithPath(path);
        const std::string type = readable ? readable->type() : "";
        m_host.selectOne("mutant", path);
        QVEditPlugIn& plugIn = begin();
        if (plugIn.controller()->state().m_bImageLoaded) {
            ASSERT_TRUE(setControl("rotation", "4"));
        }
        window().clickDone();
        if (plugIn.isSessionOpen()) {
            // Done could not write it: said so, the file as it was.
            EXPECT_EQ(window().alertMessages().back(), qv::localizedString("SaveErrorMessage"));
            EXPECT_EQ(fileBytes(path), before);
            window().clickCancel();
            ++kept;
        } else {
            ++written;
            const auto written = qv::io::ImageSource::createWithPath(path);
            ASSERT_TRUE(written) << "Done left a file that cannot be read";
            EXPECT_EQ(written->type(), type);
            EXPECT_TRUE(written->createImage(0));
        }
        EXPECT_FALSE(plugIn.isSessionOpen());
        EXPECT_EQ(qv::files::listFolder(m_dir.path()),
                  (std::vector<std::string>{"IMG_0001 (editable).jpg", "mutant (editable)." + extension}));
        qv::files::removeItem(path);
    }
    // Over the whole run both ends were reached: the damage left some photos readable, and some not.
    if (run.ranAll()) {
        EXPECT_GT(written, 0);
        EXPECT_GT(kept, 0);
    }
}

TEST_F(EditSessionTest, ControlsAreRefusedWhenUnknownOrOutOfRange) {
    begin();
    EXPECT_FALSE(setControl("no-such-control", "1"));
    EXPECT_FALSE(setControl("red", "0.5"));  // the fringe range is -0.02 to 0.02
    EXPECT_TRUE(setControl("red", "0.02"));
    EXPECT_FALSE(setControl("crop", "sideways"));
    EXPECT_FALSE(setControl("scale", "big"));
}

// The window offers the table's controls, and each one the host sets reaches the user default it
// is bound to, its parameter of the chain and its preset setting; a preset loaded moves it back.
// Every slider gets its own value, so two controls wired to one slider, key or field are caught.
TEST_F(EditSessionTest, EachWindowControlReachesItsKeyParameterAndPresetSetting) {
    QVEditPlugIn& plugIn = begin();
    QVController& c = *plugIn.controller();
    std::vector<std::string> offered;
    for (const auto& [name, help] : window().controls()) {
        offered.push_back(name);
        const shell::CorrectionControl* spec = shell::correctionControlNamed(name);
        ASSERT_NE(spec, nullptr) << name;
        EXPECT_EQ(help, spec->help);
    }
    EXPECT_EQ(offered, (std::vector<std::string>{"distortion", "scale", "aspect", "yaw", "pitch", "rotation", "crop",
                                                 "red", "blue", "vignetting-amount", "vignetting-midpoint",
                                                 "sampler"}));

    std::map<std::string, double> moved;
    double fraction = 0.1;
    for (const shell::CorrectionControl& spec : shell::correctionControls()) {
        if (spec.kind != shell::ControlKind::Slider || !spec.inPlugInWindow) continue;
        auto* slider = dynamic_cast<qv::ui::Slider*>(spec.outlet(c));
        ASSERT_NE(slider, nullptr) << spec.name;
        const double value = slider->minValue() + fraction * (slider->maxValue() - slider->minValue());
        fraction += 0.07;
        char text[32];
        std::snprintf(text, sizeof text, "%.9g", value);
        ASSERT_TRUE(setControl(spec.name, text)) << spec.name;
        moved[spec.name] = slider->doubleValue();
    }
    ASSERT_EQ(moved.size(), 9u);
    const CorrectionParameters parameters = c.correctionParameters();
    const std::string presetPath = m_dir.file("moved.dtl2");
    responder().queuePanel({true, {presetPath}});
    c.onSavePreset(nullptr);
    while (qv::RunLoop::main().runOnce(0)) {
    }
    const auto saved = shell::preset::presetSettingsFrom(qv::readPropertyList(presetPath));
    ASSERT_TRUE(saved);
    for (const auto& [name, value] : moved) {
        const shell::CorrectionControl& spec = *shell::correctionControlNamed(name);
        EXPECT_NEAR(qv::UserDefaults::standard().doubleForKey(spec.defaultsKey), value, 1e-4) << name;
        EXPECT_EQ(parameters.*spec.parameter, shell::parameterOf(spec, value)) << name;
        EXPECT_EQ((*saved).*spec.presetSetting, float(value)) << name;
    }
    EXPECT_EQ(parameters.red, 1 + moved["red"]);
    EXPECT_EQ(parameters.rotation, -moved["rotation"]);

    // A preset with each setting its own value puts each back on its slider.
    shell::preset::PresetSettings loaded = *saved;
    float next = 0.001f;
    for (const auto& [name, value] : moved) (loaded.*shell::correctionControlNamed(name)->presetSetting) = float(value) + (next *= 2);
    ASSERT_TRUE(c.resetUIValuesToPreset(shell::preset::presetDictionary(loaded)));
    for (const auto& [name, value] : moved) {
        const shell::CorrectionControl& spec = *shell::correctionControlNamed(name);
        EXPECT_EQ(spec.outlet(c)->floatValue(), loaded.*spec.presetSetting) << name;
    }

    // Each word of a choice selects the cell or item of its tag (the sampler's pop-up takes a choice
    // while the fisheye correction is chosen); the correction type follows the distortion switch.
    ASSERT_TRUE(setControl("rotation", "0"));
    for (const shell::CorrectionControl& spec : shell::correctionControls()) {
        if (spec.kind != shell::ControlKind::Choice || !spec.inPlugInWindow) continue;
        auto* popUp = dynamic_cast<qv::ui::PopUpButton*>(spec.outlet(c));
        if (popUp) {
            ASSERT_TRUE(shell::chooseTagged(c.fisheye().mFECorrectionTypeMatrix, int(CorrectionType::Fisheye)));
        }
        for (const shell::ControlChoice& choice : spec.choices) {
            ASSERT_TRUE(setControl(spec.name, choice.word)) << spec.name << " " << choice.word;
            if (popUp) {
                EXPECT_EQ(popUp->tagAtIndex(popUp->indexOfSelectedItem()), choice.tag) << choice.word;
            } else {
                EXPECT_EQ(dynamic_cast<qv::ui::Matrix*>(spec.outlet(c))->selectedCell()->tag(), choice.tag)
                    << choice.word;
            }
            if (spec.outlet(c) == c.fisheye().mFECorrectionTypeMatrix) {
                EXPECT_EQ(c.correctionParameters().correctionType, CorrectionType(choice.tag)) << choice.word;
            }
        }
    }
}

TEST_F(EditSessionTest, TheWindowOffersNoOpenSaveOrBatchCommands) {
    QVEditPlugIn& plugIn = begin();
    ASSERT_TRUE(plugIn.menu());
    for (const char* action : {"onLoadImage:", "onSave:", "onSaveAs:", "onBatchProcess:"})
        EXPECT_EQ(plugIn.menu()->findItemWithAction(action), nullptr) << action;
    EXPECT_NE(plugIn.menu()->findItemWithAction("onLoadPreset:"), nullptr);
    EXPECT_TRUE(plugIn.controller()->mainWindow().m_pOpenButton->isHidden());
}

TEST_F(EditSessionTest, TypedFisheyeValuesReachThePreferencesFileForTheNextSession) {
    QVEditPlugIn& plugIn = begin();
    QVController& c = *plugIn.controller();
    ASSERT_TRUE(c.state().m_bImageLoaded);
    c.fisheye().mFEInputFOV->setEnabled(true);
    ASSERT_TRUE(c.fisheye().mFEInputFOV->userType("170"));
    EXPECT_EQ(qv::PreferencesFile::read().get(shell::keys::kFEInputFOV).doubleOr(0), 170);
    window().clickCancel();
    c.fisheye().mFEInputFOV->setStringValue("1");
    plugIn.beginEditSession();
    EXPECT_EQ(c.fisheye().mFEInputFOV->stringValue(), "170");
}

TEST_F(EditSessionTest, TheStartUpQuestionsShowTheBundlesLensIcon) {
    installIcon(m_bundle->path());
    begin();
    const auto question = ownedLensQuestion();
    ASSERT_TRUE(question);
    ASSERT_TRUE(question->request.icon);
    const qv::Bitmap& icon = question->request.icon->bitmap();
    EXPECT_EQ(icon.width, 24);
    EXPECT_EQ(icon.height, 16);
    ASSERT_EQ(icon.format, qv::PixelFormat::RGBA8);
    EXPECT_EQ(icon.row(8)[0], 255);
    EXPECT_NEAR(icon.row(8)[1], 128, 1);
    EXPECT_EQ(icon.row(8)[2], 0);
    EXPECT_EQ(icon.row(8)[3], 255);
}

TEST_F(EditSessionTest, WithoutTheIconOrWithABrokenOneTheQuestionShowsTheWarningIcon) {
    begin();
    ASSERT_TRUE(ownedLensQuestion());
    EXPECT_FALSE(ownedLensQuestion()->request.icon);

    // Not a PNG: the session starts as before, with no icon.
    ASSERT_TRUE(qv::files::writeWhole(m_bundle->path() + "/lens.png", std::string("not a picture")));
    window().clickCancel();
    qv::ui::Application::shared().responder().reset();
    qv::PreferencesFile::update([](qv::Value& root) { root[shell::keys::kDontAskUserToSelectLens] = false; });
    responder().queueAlert(declineOwnedLenses());
    m_plugIn->beginEditSession();
    ASSERT_TRUE(ownedLensQuestion());
    EXPECT_FALSE(ownedLensQuestion()->request.icon);
    EXPECT_TRUE(m_plugIn->controller()->state().m_bImageLoaded);
}

TEST_F(EditSessionTest, OnlyTheImageUnitsTheBundleCarriesAreLoaded) {
    installImageUnits(m_bundle->path(), {"Vignette.plugin", "RadialDistortion.plugin"});
    begin();
    EXPECT_TRUE(qv::ci::Filter::isRegistered("Vignette"));
    EXPECT_TRUE(qv::ci::Filter::isRegistered("RadialDistortion"));
    EXPECT_FALSE(qv::ci::Filter::isRegistered("LensFilter"));  // its bundle is not there
    // A second session finds them registered and loads nothing again.
    EXPECT_TRUE(loadBundledImageUnits(m_bundle->path() + "/PlugIns").empty());
    installImageUnits(m_bundle->path(), {"LensFilter.plugin"});
    EXPECT_EQ(loadBundledImageUnits(m_bundle->path() + "/PlugIns"), std::vector<std::string>{"LensFilter"});
}

TEST_F(EditSessionTest, TheBundlesVignetteAndRadialDistortionFiltersCorrectAsTheChainsOwnDo) {
    installImageUnits(m_bundle->path(), {"Vignette.plugin", "RadialDistortion.plugin"});
    begin();
    qv::Bitmap pixels = qv::Bitmap::make(64, 48, qv::PixelFormat::RGBA8);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            std::uint8_t* p = pixels.row(y) + 4 * x;
            p[0] = std::uint8_t(4 * x), p[1] = std::uint8_t(5 * y), p[2] = 90, p[3] = 255;
        }
    const qv::ci::Image photo = qv::ci::Image::fromBitmap(std::move(pixels));
    struct Pair {
        const char* bundled;
        const char* chains;
        std::vector<std::pair<std::string, qv::ci::FilterValue>> inputs;
    };
    const std::vector<Pair> pairs = {
        {"Vignette", "MyVignetting",
         {{"inputCenter", qv::Vec2{32, 24}}, {"inputBrightness", 0.4}, {"inputVigMidpoint", 0.3}, {"inputDiagonal", 80.0}}},
        {"RadialDistortion", "MyRadialDistortion",
         {{"inputCenter", qv::Vec2{32, 24}}, {"inputParams", qv::Vec4{0.02, -0.05, 0.01, 1.02}},
          {"inputCorrectionRadiusVector", qv::Vec2{24, 0}}}},
    };
    qv::ci::Context context;
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(pair.bundled);
        std::vector<qv::Bitmap> rendered;
        for (const char* name : {pair.bundled, pair.chains}) {
            auto filter = qv::ci::Filter::filterWithName(name);
            ASSERT_TRUE(filter);
            ASSERT_TRUE(filter->setValue("inputImage", photo));
            for (const auto& [key, value] : pair.inputs) ASSERT_TRUE(filter->setValue(key, value));
            const qv::ci::Image output = filter->outputImage();
            ASSERT_FALSE(output.isNull());
            rendered.push_back(context.createBitmap(output, qv::Rect(0, 0, 64, 48), qv::PixelFormat::RGBA8));
            ASSERT_TRUE(rendered.back().isValid());
        }
        EXPECT_EQ(rendered[0].pixels, rendered[1].pixels);
        // And they do correct: the photo is changed.
        EXPECT_NE(rendered[0].pixels, context.createBitmap(photo, qv::Rect(0, 0, 64, 48), qv::PixelFormat::RGBA8).pixels);
    }
}

TEST_F(EditSessionTest, TheWindowIsThePlugInsOwnNib) {
    QVEditPlugIn& plugIn = begin();
    qv::ui::Window& w = *plugIn.window();
    EXPECT_EQ(w.title(), kPlugInNibName);
    // Done and Cancel are the window's own, and end the session.
    const auto& subviews = w.contentView()->subviews();
    auto inWindow = [&](const qv::ui::Button& button) {
        return std::any_of(subviews.begin(), subviews.end(), [&](const auto& view) { return view.get() == &button; });
    };
    EXPECT_TRUE(inWindow(window().doneButton()));
    EXPECT_TRUE(inWindow(window().cancelButton()));
    // The preview takes no drops; the controller is neither the application's delegate nor the
    // owner of its menu; there is no batch sheet.
    const auto preview = std::find_if(subviews.begin(), subviews.end(),
                                      [](const auto& view) { return dynamic_cast<QVDisplayView*>(view.get()); });
    ASSERT_NE(preview, subviews.end());
    EXPECT_TRUE((*preview)->registeredDraggedTypes().empty());
    EXPECT_NE(qv::ui::Application::shared().delegate(), plugIn.controller());
    EXPECT_NE(qv::ui::Application::shared().mainMenu().get(), plugIn.menu());
    window().clickCancel();
    EXPECT_FALSE(plugIn.isSessionOpen());
}

TEST_F(EditSessionTest, TheCameraOfALensComesFromTheMakeAndModelFields) {
    QVEditPlugIn& plugIn = begin();
    QVController& c = *plugIn.controller();
    ASSERT_TRUE(c.state().m_bImageLoaded);
    const qv::Value canonLens(qv::Dictionary{{"lensGroup", "Canon APS-C"}, {"3.Lens Name", "EF-S 18-55"}});
    // The photo's metadata names a Canon EOS 400D, which the fields show.
    EXPECT_EQ(c.mainWindow().m_pCameraModelText->stringValue(), "Canon EOS 400D DIGITAL");
    EXPECT_EQ(c.camNameForLens(canonLens), "Canon");
    // What the fields say is what counts.
    c.mainWindow().m_pManufacturerText->setStringValue("NIKON CORPORATION");
    c.mainWindow().m_pCameraModelText->setStringValue("NIKON D80");
    EXPECT_EQ(c.camNameForLens(canonLens), "Nikon");
    // "--" matches no camera: the lens's own group decides.
    c.mainWindow().m_pManufacturerText->setStringValue("--");
    c.mainWindow().m_pCameraModelText->setStringValue("--");
    EXPECT_EQ(c.camNameForLens(canonLens), "Canon");
}

TEST_F(EditSessionTest, TheOwnedLensSheetsMakesAreReadAgainBeforeItsSelection) {
    QVEditPlugIn& plugIn = begin();
    QVController& c = *plugIn.controller();
    qv::ui::TableView& makes = *c.lensSelection().mManufacturerList;
    c.state().mLensSelectionInProgress = true;
    const unsigned long reloads = makes.reloadCount();
    c.resetParametersSheetUIForPTLens();
    EXPECT_GT(makes.reloadCount(), reloads);
    EXPECT_EQ(makes.selectedRow(), 0);
    // The model pop-up lists the models of the first make, then "Show All".
    qv::ui::PopUpButton& models = *c.lensSelection().mLensSelectionModelPopUp;
    ASSERT_GE(models.numberOfItems(), 2);
    EXPECT_EQ(models.itemTitleAtIndex(models.numberOfItems() - 1), "Show All");
}

// The button of a window titled so, or null.
qv::ui::Button* buttonTitled(qv::ui::Window& window, const std::string& title) {
    for (const auto& view : window.contentView()->subviews())
        if (auto* button = dynamic_cast<qv::ui::Button*>(view.get()); button && button->title() == title) return button;
    return nullptr;
}

TEST_F(EditSessionTest, ThePreferencesAreASheetOnThePlugInsWindowThatItsButtonsEnd) {
    QVEditPlugIn& plugIn = begin();
    QVController& c = *plugIn.controller();
    qv::ui::Window& sheet = *c.preferences().mPreferencesWindow;
    for (const char* button : {"Cancel", "OKButton"}) {
        SCOPED_TRACE(button);
        c.onPreferences(nullptr);
        EXPECT_EQ(plugIn.window()->attachedSheet(), &sheet);
        EXPECT_TRUE(sheet.isVisible());
        qv::ui::Button* end = buttonTitled(sheet, qv::localizedString(button));
        ASSERT_NE(end, nullptr);
        end->performClick();
        EXPECT_EQ(plugIn.window()->attachedSheet(), nullptr);
        EXPECT_FALSE(sheet.isVisible());
    }
}

TEST_F(EditSessionTest, AcceptingTheOwnedLensQuestionOpensTheSheetOnAllLensesOfTheMake) {
    responder().reset();
    responder().queueAlert({0, {}, qv::localizedString("Please tell Quorvel which lenses you own.")});
    std::optional<std::string> shownModel;
    responder().queueModal([&shownModel](qv::ui::Window& window) {
        for (const auto& view : window.contentView()->subviews())
            if (auto* models = dynamic_cast<qv::ui::PopUpButton*>(view.get())) shownModel = models->titleOfSelectedItem();
        if (qv::ui::Button* cancel = buttonTitled(window, qv::localizedString("Cancel"))) cancel->performClick();
    });
    QVEditPlugIn& plugIn = begin();
    EXPECT_EQ(shownModel, std::optional<std::string>("Show All"));
    EXPECT_FALSE(plugIn.controller()->state().mLensSelectionInProgress);
    EXPECT_TRUE(plugIn.controller()->state().m_bImageLoaded);
}

TEST_F(EditSessionTest, TheOpenStepKeepsTheWorkingPathInThePreferencesFile) {
    QVEditPlugIn& plugIn = begin();
    const std::string working = plugIn.controller()->state().m_pFileToLoad;
    ASSERT_FALSE(working.empty());
    EXPECT_EQ(qv::PreferencesFile::read().get(shell::keys::kImageFilePath).stringOr(""), working);
    EXPECT_EQ(qv::UserDefaults::standard().object(shell::keys::kImageDirectoryPath).stringOr(""),
              qv::paths::deletingLastPathComponent(working));
}

TEST_F(EditSessionTest, TheUnwrapReadsACopyOfTheWorkingFileInTheSupportFolderAndShowsTheResult) {
    const auto before = fileBytes(m_editable);
    QVEditPlugIn& plugIn = begin();
    QVController& c = *plugIn.controller();
    ASSERT_TRUE(c.state().m_bImageLoaded);
    const std::string working = c.state().m_pFileToLoad;
    const auto workingBytes = fileBytes(working);
    ASSERT_FALSE(workingBytes.empty());
    ASSERT_TRUE(c.fisheye().mFECorrectionTypeMatrix->userClickCell(1));
    ASSERT_EQ(c.correctionType(), CorrectionType::Fisheye);
    ASSERT_TRUE(c.fisheye().mFEOutputWidth->userType("300"));
    ASSERT_TRUE(c.fisheye().mFEOutputHeight->userType("240"));
    ASSERT_TRUE(c.fisheye().mFEInputFOV->userType("180"));
    ASSERT_TRUE(c.fisheye().mFEOutputFOV->userType("90"));
    const std::string copy = qv::paths::supportFolder() + qv::paths::lastPathComponent(working);
    ASSERT_NE(copy, working);
    ASSERT_FALSE(qv::files::exists(copy));
    for (int request = 0; request < 2; ++request) {  // the second request copies the file again
        c.onApply(nullptr);
        ASSERT_TRUE(qv::RunLoop::main().runUntil([&] { return !c.isUnwrapInProgress(); }, 60));
        EXPECT_EQ(fileBytes(copy), workingBytes) << "the engine read a copy, left for the sweeps";
        EXPECT_EQ(fileBytes(working), workingBytes);
        EXPECT_EQ(fileBytes(m_editable), before) << "the host's file is untouched";
        const auto result = qv::io::ImageSource::createWithPath(qv::paths::supportFolder() + "_QuorvelCI_twrite.JPG");
        ASSERT_TRUE(result);
        EXPECT_EQ(result->pixelWidth(), 300);
        EXPECT_EQ(result->pixelHeight(), 240);
        const qv::Rect shown = c.mainWindow().m_pDisplayView->ciImage().extent();
        EXPECT_EQ(shown.width() * shown.height(), 300 * 240) << "the result is shown, upright by its orientation";
        EXPECT_EQ(c.state().mFEOriginalImagePath, working) << "revert reloads the working file, not the copy";
    }
    EXPECT_TRUE(c.fisheye().mFEDefishButton->isEnabled());
    // The session's end sweeps the copy away.
    window().clickCancel();
    EXPECT_FALSE(qv::files::exists(copy));
}

TEST_F(EditSessionTest, DoneAfterAnUnwrapWritesTheUnwrappedPhotoAsThePreviewShowsIt) {
    QVEditPlugIn& plugIn = begin();
    QVController& c = *plugIn.controller();
    ASSERT_TRUE(c.state().m_bImageLoaded);
    ASSERT_TRUE(c.fisheye().mFECorrectionTypeMatrix->userClickCell(1));
    ASSERT_TRUE(c.fisheye().mFEOutputWidth->userType("300"));
    ASSERT_TRUE(c.fisheye().mFEOutputHeight->userType("240"));
    ASSERT_TRUE(c.fisheye().mFEInputFOV->userType("180"));
    ASSERT_TRUE(c.fisheye().mFEOutputFOV->userType("90"));
    c.onApply(nullptr);
    ASSERT_TRUE(qv::RunLoop::main().runUntil([&] { return !c.isUnwrapInProgress(); }, 60));
    ASSERT_TRUE(c.shownUnwrap());
    window().clickDone();
    EXPECT_FALSE(plugIn.isSessionOpen());
    const auto written = qv::io::ImageSource::createWithPath(m_editable);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->type(), qv::io::kUTTypeJPEG);
    // The photo is unwrapped as stored and then turned upright by its orientation tag.
    EXPECT_EQ(written->pixelWidth(), 240);
    EXPECT_EQ(written->pixelHeight(), 300);
    EXPECT_EQ(written->orientation(), 1);
    EXPECT_EQ(qv::Value(written->properties()).get(qv::io::kCGImagePropertyTIFFDictionary).get("Model").stringOr(""),
              "Canon EOS 400D DIGITAL");
}

TEST_F(EditSessionTest, DoneAfterARevertedUnwrapWritesThePhotoItself) {
    QVEditPlugIn& plugIn = begin();
    QVController& c = *plugIn.controller();
    ASSERT_TRUE(c.fisheye().mFECorrectionTypeMatrix->userClickCell(1));
    ASSERT_TRUE(c.fisheye().mFEOutputWidth->userType("300"));
    ASSERT_TRUE(c.fisheye().mFEOutputHeight->userType("240"));
    c.onApply(nullptr);
    ASSERT_TRUE(qv::RunLoop::main().runUntil([&] { return !c.isUnwrapInProgress(); }, 60));
    c.onRevert(nullptr);
    ASSERT_TRUE(qv::RunLoop::main().runUntil([&] { return !c.shownUnwrap(); }, 60));
    window().clickDone();
    const auto written = qv::io::ImageSource::createWithPath(m_editable);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->pixelWidth(), 400);
    EXPECT_EQ(written->pixelHeight(), 600);
}

}  // namespace
