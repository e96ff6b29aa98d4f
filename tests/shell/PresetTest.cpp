// Presets: the scrambled coefficients, the dictionary of fourteen reals, and the load and save
// commands through real files, with every control restored bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "ShellTestSupport.h"
#include "common/BinaryPropertyList.h"
#include "common/FileSizeLimit.h"
#include "common/TempDir.h"
#include "foundation/Files.h"
#include "foundation/PreferencesFile.h"
#include "foundation/PropertyList.h"
#include "foundation/RunLoop.h"
#include "foundation/UserDefaults.h"
#include "shell/files/PresetFormat.h"

using namespace shelltest;
using namespace shell::preset;

namespace {

bool isNaNPattern(std::uint32_t bits) { return (bits & 0x7F800000u) == 0x7F800000u && (bits & 0x007FFFFFu) != 0; }
bool isInfinityPattern(std::uint32_t bits) { return (bits & 0x7FFFFFFFu) == 0x7F800000u; }
bool isSubnormalPattern(std::uint32_t bits) { return (bits & 0x7F800000u) == 0 && (bits & 0x007FFFFFu) != 0; }

// One single-precision step of the scrambled value, in coefficient units.
double oneStep(double coefficient) {
    const float scaled = float((coefficient + kScrambleOffset) * kScrambleFactor);
    return double(std::nextafter(scaled, std::numeric_limits<float>::infinity()) - scaled) / kScrambleFactor;
}

// A float coefficient whose stored pattern falls in the class, found by walking from a seed.
float coefficientStoredAs(bool (*inClass)(std::uint32_t), std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> range(-0.5f, 0.5f);
    for (;;) {
        const float v = range(random);
        if (inClass(bitsOfFloat(scrambleCoefficient(v)))) return v;
    }
}

TEST(PresetScrambling, BytesAreReversedOnThePatternAsANumber) {
    EXPECT_EQ(reverseBytes(0x11223344u), 0x44332211u);
    EXPECT_EQ(reverseBytes(0xFF000080u), 0x800000FFu);
    EXPECT_EQ(bitsOfFloat(swapfloat(floatOfBits(0x3F800000u))), 0x0000803Fu);
    EXPECT_EQ(bitsOfFloat(shell::preset::swapfloat(floatOfBits(0x0000807Fu))), 0x7F800000u) << "a tiny number swaps to infinity";
    const std::uint64_t argument = 0xAABBCCDD11223344ull;
    double d;
    std::memcpy(&d, &argument, sizeof d);
    const double swapped = shell::preset::swapDouble(d);
    std::uint64_t bits;
    std::memcpy(&bits, &swapped, sizeof bits);
    EXPECT_EQ(bits, 0x4433221144332211ull) << "both halves hold the reversed low half";
}

TEST(PresetScrambling, ZeroAndTheOffsetMapOntoEachOther) {
    EXPECT_EQ(bitsOfFloat(scrambleCoefficient(0)), reverseBytes(bitsOfFloat(float(0.5182463 * 6.19047385))));
    EXPECT_EQ(unscrambleCoefficient(0.0f), -0.5182463);
    const auto missing = presetSettingsFrom(qv::Value(qv::Dictionary()));
    ASSERT_TRUE(missing);
    for (double coefficient : missing->coefficients) EXPECT_EQ(coefficient, double(float(-0.5182463)));
    EXPECT_EQ(missing->scale, 0.0f) << "a dictionary without entries keeps the file's zeros";
}

TEST(PresetScrambling, CoefficientsComeBackWithinOneStepAndOddPatternsAreCommon) {
    std::mt19937 random(18);
    std::uniform_real_distribution<double> range(-0.3, 0.3);
    int nans = 0, subnormals = 0;
    constexpr int kCount = 200000;
    for (int i = 0; i < kCount; ++i) {
        const double v = range(random);
        const float stored = scrambleCoefficient(v);
        const std::uint32_t bits = bitsOfFloat(stored);
        nans += isNaNPattern(bits) || isInfinityPattern(bits);
        subnormals += isSubnormalPattern(bits);
        ASSERT_LE(std::fabs(unscrambleCoefficient(stored) - v), oneStep(v)) << v;
    }
    // About 0.4 per cent of each: enough that a preset meets one now and then.
    EXPECT_GT(nans, kCount / 1000);
    EXPECT_GT(subnormals, kCount / 1000);
}

TEST(PresetFile, HoldsExactlyTheFourteenKeysAllSinglePrecisionReals) {
    PresetSettings settings;
    settings.coefficients = {0.01, -0.02, 0.005, 1.005};
    settings.scale = 110;
    settings.fieldOfView = 63.5f;
    const qv::Value preset = presetDictionary(settings);
    ASSERT_TRUE(preset.isDictionary());
    std::vector<std::string> keys;
    for (const auto& [key, value] : *preset.dictionary()) {
        keys.push_back(key);
        ASSERT_TRUE(value.real()) << key;
        EXPECT_TRUE(value.real()->singleBits) << key;
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"AspectValue", "CABlue", "CARed", "FOV", "Pitch", "Roll", "ScaleValue",
                                              "VigAmount", "VigMidpoint", "Yaw", "aValue", "bValue", "cValue",
                                              "dValue"}));
    const auto xml = qv::formatPropertyList(preset);
    ASSERT_TRUE(xml);
    std::size_t reals = 0;
    for (std::size_t at = xml->find("<real>"); at != std::string::npos; at = xml->find("<real>", at + 1)) ++reals;
    EXPECT_EQ(reals, 14u);
}

TEST(PresetFile, ValuesThatAreNotFiniteNumbersRefuseTheWholeFile) {
    EXPECT_FALSE(presetSettingsFrom(qv::Value()));
    EXPECT_FALSE(presetSettingsFrom(qv::Value(qv::Array{1.0f, 2.0f})));
    EXPECT_FALSE(presetSettingsFrom(qv::Value("aValue")));
    PresetSettings settings;
    settings.scale = 100;
    qv::Value preset = presetDictionary(settings);
    preset["ScaleValue"] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(presetSettingsFrom(preset));
    preset["ScaleValue"] = qv::Value(std::numeric_limits<double>::infinity());
    EXPECT_FALSE(presetSettingsFrom(preset));
    preset["ScaleValue"] = 120.0f;
    // A stored coefficient whose byte reversal is a NaN decodes to nothing usable.
    preset["cValue"] = floatOfBits(reverseBytes(0x7FC00000u));
    EXPECT_FALSE(presetSettingsFrom(preset));
    // An entry of another kind reads as missing; the rest still loads.
    preset["cValue"] = "text";
    const auto read = presetSettingsFrom(preset);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->scale, 120.0f);
    EXPECT_EQ(read->coefficients[2], double(float(-kScrambleOffset)));
}

TEST(PresetFile, StoredInfinityNaNAndSubnormalPatternsDecodeAfterAFileRoundTrip) {
    // Patterns as a stored coefficient may hold them; each is the scrambled form of some value.
    const std::uint32_t patterns[] = {0x7F800000u, 0xFF800000u, 0x7FC0A13Fu, 0xFFBB7F3Eu, 0x00000001u, 0x0040A13Fu};
    qv::Value preset = presetDictionary(PresetSettings());
    qvtest::TempDir dir;
    for (std::uint32_t pattern : patterns) {
        preset["aValue"] = floatOfBits(pattern);
        ASSERT_TRUE(qv::writePropertyList(preset, dir.file("odd.dtl2")));
        const qv::Value back = qv::readPropertyList(dir.file("odd.dtl2"));
        EXPECT_EQ(bitsOfFloat(back.get("aValue").floatOr(0)), pattern) << std::hex << pattern;
        const auto settings = presetSettingsFrom(back);
        const double expected = double(float(unscrambleCoefficient(floatOfBits(pattern))));
        if (std::isfinite(expected)) {
            ASSERT_TRUE(settings) << std::hex << pattern;
            EXPECT_EQ(settings->coefficients[0], expected) << std::hex << pattern;
        }
    }
}

// ---- The commands ----

class PresetCommandTest : public LaunchedTest {
protected:
    void SetUp() override {
        LaunchedTest::SetUp();
        qv::UserDefaults::standard().set("enableControl", true);
        m_view.calls.clear();
    }
    void savePreset(const std::string& path, bool ok = true) {
        responder().queuePanel({ok, {path}});
        ASSERT_TRUE(qv::ui::Application::shared().performMenuAction("onSavePreset:"));
        settle();
    }
    void loadPreset(const std::string& path, bool ok = true) {
        responder().queuePanel({ok, {path}});
        ASSERT_TRUE(qv::ui::Application::shared().performMenuAction("onLoadPreset:"));
        settle();
    }
    void settle() {
        while (qv::RunLoop::main().runOnce(0)) {
        }
    }
    // Every control a preset sets, as its bit pattern.
    std::vector<std::uint32_t> controlPatterns() {
        std::vector<std::uint32_t> bits;
        for (qv::ui::Control* control : std::initializer_list<qv::ui::Control*>{
                 c().mainWindow().m_pFixRedSlider, c().mainWindow().m_pFixBlueSlider,
                 c().mainWindow().m_pVigAmountSlider, c().mainWindow().m_pVigMidpointSlider,
                 c().mainWindow().m_pHorizontalSlider, c().mainWindow().m_pVerticalSlider,
                 c().mainWindow().m_pRotationSlider, c().mainWindow().mAspectSlider, c().mainWindow().m_pScaleSlider,
                 c().mainWindow().m_pFOVText})
            bits.push_back(bitsOfFloat(control->floatValue()));
        return bits;
    }
    void setOddControls() {
        auto& defaults = qv::UserDefaults::standard();
        defaults.set("redValue", 0.0123456789f);
        defaults.set("blueValue", -std::numeric_limits<float>::denorm_min() * 3);
        defaults.set("vigAmount", 33.3333f);
        defaults.set("vigMidpoint", -12.1f);
        defaults.set("yaw", 7.77777f);
        defaults.set("pitch", -0.1f);
        defaults.set("rotationAngle", 179.9999f);
        defaults.set("aspect", 1.1f);
        defaults.set("scaleValue", 104.7f);
        c().mainWindow().m_pFOVText->setFloatValue(63.123f);
    }
    qvtest::TempDir m_files{"qvpreset"};
};

TEST_F(PresetCommandTest, SavedAndLoadedPresetRestoresEveryControlAndTheCoefficients) {
    ASSERT_TRUE(c().isPTLensSelected());
    // Coefficients whose stored forms are a NaN and a subnormal pattern, and two ordinary ones.
    const float nanCoefficient = coefficientStoredAs(isNaNPattern, 1);
    const float subnormalCoefficient = coefficientStoredAs(isSubnormalPattern, 2);
    const std::array<double, 4> coefficients = {nanCoefficient, subnormalCoefficient, 0.004474, 1.011937};
    c().setPTLensValues(coefficients);
    setOddControls();
    const auto saved = controlPatterns();
    const std::string path = m_files.file("settings.dtl2");
    savePreset(path);
    ASSERT_TRUE(qv::files::exists(path));
    EXPECT_EQ(qv::PreferencesFile::read().get("PresetFilePath").stringOr(""), path);
    const qv::Value written = qv::readPropertyList(path);
    EXPECT_TRUE(isNaNPattern(bitsOfFloat(written.get("aValue").floatOr(0))));
    EXPECT_TRUE(isSubnormalPattern(bitsOfFloat(written.get("bValue").floatOr(0))));

    c().resetValues();
    c().setPTLensValues({0, 0, 0, 1});
    ASSERT_NE(controlPatterns(), saved);
    ASSERT_FALSE(c().mainWindow().m_pWindow->isDocumentEdited());
    loadPreset(path);
    EXPECT_EQ(controlPatterns(), saved);
    const std::vector<double> loaded = c().correctionValues();
    ASSERT_EQ(loaded.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_LE(std::fabs(loaded[i] - coefficients[i]), oneStep(coefficients[i])) << i;
    // The matrix shows the same coefficients, so a user database's source gives them too.
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(c().parametersSheet().m_pPSCorrectionMatrix->cellAtRow(row, 0)->floatValue(),
                  float(loaded[std::size_t(row)]));
    EXPECT_TRUE(c().mainWindow().m_pWindow->isDocumentEdited());
    EXPECT_EQ(m_view.count("applyCorrection"), 1u);
    EXPECT_FALSE(m_view.batch);

    // The same preset in the binary form reads alike.
    ASSERT_TRUE(qvtest::rewriteAsBinary(path));
    c().resetValues();
    c().setPTLensValues({0, 0, 0, 1});
    loadPreset(path);
    EXPECT_EQ(controlPatterns(), saved);
    EXPECT_EQ(c().correctionValues(), loaded);
}

TEST_F(PresetCommandTest, FileThatIsNoPresetChangesNothingAndIsNotRemembered) {
    const std::string good = m_files.file("good.dtl2");
    setOddControls();
    savePreset(good);
    const auto before = controlPatterns();
    const auto coefficients = c().correctionValues();
    const std::string binary = qvtest::binaryPropertyList(qv::readPropertyList(good));
    ASSERT_FALSE(binary.empty());
    for (const std::string& text : {std::string(), std::string("not a property list"),
                                    std::string("<plist><array><real>1</real></array></plist>"),
                                    std::string("<plist><dict><key>ScaleValue</key><real>nan</real></dict></plist>"),
                                    binary.substr(0, binary.size() - 1), binary.substr(0, binary.size() / 2)}) {
        const std::string bad = m_files.file("bad.dtl2");
        ASSERT_TRUE(qv::files::writeWhole(bad, std::string_view(text)));
        const std::size_t alerts = responder().alerts().size();
        loadPreset(bad);
        ASSERT_EQ(responder().alerts().size(), alerts + 1) << text;
        EXPECT_EQ(responder().alerts().back().request.message, qv::localizedString("PresetOpenErrorMessage"));
        EXPECT_EQ(controlPatterns(), before) << text;
        EXPECT_EQ(c().correctionValues(), coefficients) << text;
        EXPECT_EQ(qv::PreferencesFile::read().get("PresetFilePath").stringOr(""), good) << text;
        EXPECT_EQ(m_view.count("applyCorrection"), 0u);
        EXPECT_FALSE(c().mainWindow().m_pWindow->isDocumentEdited());
    }
}

TEST_F(PresetCommandTest, DictionaryWithMissingKeysSetsZerosAndTheNegatedOffset) {
    const std::string path = m_files.file("partial.dtl2");
    qv::Value partial{qv::Dictionary()};
    partial["ScaleValue"] = 120.0f;
    ASSERT_TRUE(qv::writePropertyList(partial, path));
    setOddControls();
    loadPreset(path);
    EXPECT_EQ(c().mainWindow().m_pScaleSlider->floatValue(), 120.0f);
    EXPECT_EQ(c().mainWindow().m_pHorizontalSlider->floatValue(), 0.0f);
    EXPECT_EQ(c().mainWindow().mAspectSlider->floatValue(), c().mainWindow().mAspectSlider->minValue())
        << "0 is below the slider's range";
    for (double coefficient : c().correctionValues()) EXPECT_EQ(coefficient, double(float(-kScrambleOffset)));
    EXPECT_EQ(qv::PreferencesFile::read().get("PresetFilePath").stringOr(""), path);
}

TEST_F(PresetCommandTest, CancelledPanelsChangeNothing) {
    setOddControls();
    const auto before = controlPatterns();
    const std::string path = m_files.file("never.dtl2");
    savePreset(path, false);
    EXPECT_FALSE(qv::files::exists(path));
    const std::string good = m_files.file("good.dtl2");
    ASSERT_TRUE(qv::writePropertyList(presetDictionary(PresetSettings()), good));
    loadPreset(good, false);
    EXPECT_EQ(controlPatterns(), before);
    EXPECT_EQ(qv::PreferencesFile::read().get("PresetFilePath").stringOr(""), "");
    EXPECT_FALSE(c().mainWindow().m_pWindow->isDocumentEdited());
}

TEST_F(PresetCommandTest, FailedWriteIsReportedAndNotRemembered) {
    const std::string path = m_files.file("settings.dtl2");
    ASSERT_TRUE(qv::files::writeWhole(path, std::string_view("kept")));
    {
        qvtest::FileSizeLimit limit(64);  // the preset is far longer: its write fails halfway
        ASSERT_TRUE(limit.active());
        savePreset(path);
    }
    EXPECT_EQ(qv::files::readWhole(path).value_or(qv::Data()), (qv::Data{'k', 'e', 'p', 't'})) << "the old file stays";
    ASSERT_FALSE(responder().alerts().empty());
    EXPECT_EQ(responder().alerts().back().request.message, qv::localizedString("PresetSaveErrorMessage"));
    EXPECT_EQ(qv::PreferencesFile::read().get("PresetFilePath").stringOr(""), "");
}

TEST_F(PresetCommandTest, ThePanelStartsAtTheLastPreset) {
    const std::string path = m_files.file("start.dtl2");
    savePreset(path);
    responder().queuePanel({false, {}});
    c().onLoadPreset(nullptr);
    settle();
    ASSERT_FALSE(responder().panels().empty());
    const auto request = responder().panels().back().request;
    EXPECT_EQ(request.directory, m_files.path());
    EXPECT_EQ(request.allowedTypes, (std::vector<std::string>{"dtl2"}));
}

}  // namespace
