// Thousands of damaged presets and user lens databases, through the commands that read them: the
// program never crashes (the sanitizer builds watch the reads), a refused preset changes no
// control and no coefficient, and a database, however damaged, is edited and written back as a
// readable one. The damage is that of real files: XML values of the wrong kind or out of range,
// lines lost or repeated, files cut short, bytes flipped or inserted.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <random>

#include "ShellTestSupport.h"
#include "common/MutationRun.h"
#include "common/TempDir.h"
#include "foundation/Files.h"
#include "foundation/PreferencesFile.h"
#include "foundation/PropertyList.h"
#include "foundation/RunLoop.h"
#include "foundation/UserDefaults.h"
#include "shell/files/PresetFormat.h"

using namespace shelltest;

namespace {

// Every save is flushed to the disk, and a sanitizer build is several times slower: each run is
// bounded in time as well.
constexpr int kMutants = 2500;

class XmlMutator {
public:
    explicit XmlMutator(std::uint64_t seed) : m_random(seed) {}

    std::string mutate(const std::string& input) {
        std::string out = input;
        for (int step = 0, steps = 1 + int(below(2)); step < steps && !out.empty(); ++step) {
            switch (below(10)) {
            case 0:
            case 1:
            case 2: replaceValue(out); break;
            case 3:
            case 4:
            case 5: replaceElement(out); break;
            case 6: lines(out, below(2) == 0); break;
            case 7: out.resize(below(out.size())); break;
            case 8:
                for (int k = 0, n = 1 + int(below(6)); k < n; ++k) out[below(out.size())] ^= char(1u << below(8));
                break;
            default: {
                static const char* const pieces[] = {"<dict>", "</dict>", "<array>", "</array>", "<key>Lens Array</key>",
                                                     "<real>", "&#0;", "&amp;", "<!--", "\xff\xfe", "<key>aValue</key>"};
                out.insert(below(out.size()), pieces[below(std::size(pieces))]);
            }
            }
        }
        return out;
    }

private:
    std::size_t below(std::size_t n) { return n == 0 ? 0 : std::size_t(m_random() % n); }

    // The text of one element gets a value of trouble: not finite, out of range, the wrong kind.
    void replaceValue(std::string& text) {
        static const char* const values[] = {"nan", "-nan", "+infinity", "-infinity", "1e400", "-1e-320", "1e-45",
                                             "3.4028235e38", "-0", "0x7fc00000", "", "  12  ", "9223372036854775808",
                                             "-9223372036854775809", "abc", "1,5", "18 mm", "\t"};
        const std::size_t open = text.find('>', below(text.size()));
        if (open == std::string::npos) return;
        const std::size_t close = text.find('<', open);
        if (close == std::string::npos) return;
        text.replace(open + 1, close - open - 1, values[below(std::size(values))]);
    }

    // One value element becomes another kind, whole: a real a string, a string a dictionary.
    void replaceElement(std::string& text) {
        static const char* const elements[] = {"<string>24</string>", "<integer>16777216</integer>", "<real>-2.5</real>",
                                               "<true/>", "<dict/>", "<array/>", "<date>2001-01-01T00:00:00Z</date>",
                                               "<data>AAAA</data>", "<array><real>1</real></array>",
                                               "<dict><key>Models</key><string>x</string></dict>", "<string></string>"};
        for (int tries = 0; tries < 8; ++tries) {
            const std::size_t open = text.find('<', below(text.size()));
            if (open == std::string::npos || text.compare(open, 5, "<key>") == 0 || text.compare(open, 2, "</") == 0)
                continue;
            const std::size_t nameEnd = text.find_first_of(">/ ", open + 1);
            if (nameEnd == std::string::npos) return;
            const std::string name = text.substr(open + 1, nameEnd - open - 1);
            if (name != "real" && name != "string" && name != "integer" && name != "true" && name != "false") continue;
            const std::string closing = "</" + name + ">";
            std::size_t end = text[nameEnd] == '/' ? nameEnd + 2 : text.find(closing, nameEnd);
            if (end == std::string::npos) return;
            if (text[nameEnd] != '/') end += closing.size();
            text.replace(open, end - open, elements[below(std::size(elements))]);
            return;
        }
    }

    void lines(std::string& text, bool repeat) {
        const std::size_t start = text.rfind('\n', below(text.size()));
        const std::size_t from = start == std::string::npos ? 0 : start + 1;
        std::size_t to = from;
        for (int n = 1 + int(below(4)); n > 0 && to != std::string::npos; --n) to = text.find('\n', to + 1);
        if (to == std::string::npos) to = text.size();
        const std::string piece = text.substr(from, to - from);
        if (repeat)
            text.insert(to, piece);
        else
            text.erase(from, to - from);
    }

    std::mt19937_64 m_random;
};

// The mutants need not reach the disk: written without the flush of the program's own writes.
void writeQuickly(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    ASSERT_TRUE(out.good());
}

class MutatedUserFilesTest : public LaunchedTest {
protected:
    void settle() {
        while (qv::RunLoop::main().runOnce(0)) {
        }
    }
    // The controls a preset sets and the coefficients in use, as bit patterns.
    std::vector<std::uint64_t> state() {
        std::vector<std::uint64_t> bits;
        for (qv::ui::Control* control : std::initializer_list<qv::ui::Control*>{
                 c().mainWindow().m_pFixRedSlider, c().mainWindow().m_pFixBlueSlider, c().mainWindow().m_pVigAmountSlider, c().mainWindow().m_pVigMidpointSlider,
                 c().mainWindow().m_pHorizontalSlider, c().mainWindow().m_pVerticalSlider, c().mainWindow().m_pRotationSlider, c().mainWindow().mAspectSlider,
                 c().mainWindow().m_pScaleSlider, c().mainWindow().m_pFOVText})
            bits.push_back(shell::preset::bitsOfFloat(control->floatValue()));
        for (double value : c().correctionValues()) {
            std::uint64_t pattern;
            std::memcpy(&pattern, &value, sizeof pattern);
            bits.push_back(pattern);
        }
        return bits;
    }
    qvtest::TempDir m_files{"qvmutants"};
};

TEST_F(MutatedUserFilesTest, DamagedPresetsLoadWhollyOrChangeNothing) {
    // A preset with a coefficient stored as a NaN pattern and one as a subnormal.
    shell::preset::PresetSettings settings;
    settings.coefficients = {0.01, -0.02, 0.005, 1.005};
    settings.scale = 104;
    settings.aspect = 1.1f;
    settings.fieldOfView = 63.5f;
    qv::Value seedPreset = shell::preset::presetDictionary(settings);
    seedPreset["aValue"] = shell::preset::floatOfBits(0x7FC0A13Fu);
    seedPreset["bValue"] = shell::preset::floatOfBits(0x0000A13Fu);
    const std::string seed = *qv::formatPropertyList(seedPreset);
    const std::string path = m_files.file("mutant.dtl2");
    std::string remembered = m_files.file("remembered.dtl2");
    ASSERT_TRUE(qv::PreferencesFile::update([&](qv::Value& root) { root["PresetFilePath"] = remembered; }));

    XmlMutator mutator(1801);
    int refused = 0;
    qvtest::MutationRun run("damaged presets", kMutants);
    while (run.next()) {
        const std::string mutant = mutator.mutate(seed);
        writeQuickly(path, mutant);
        const auto before = state();
        const std::size_t alerts = responder().alerts().size();
        responder().queuePanel({true, {path}});
        c().onLoadPreset(nullptr);
        settle();
        const bool wasRefused = responder().alerts().size() > alerts;
        const bool shouldLoad = bool(shell::preset::presetSettingsFrom(qv::parsePropertyList(mutant)));
        ASSERT_EQ(wasRefused, !shouldLoad) << mutant;
        if (wasRefused) {
            ++refused;
            ASSERT_EQ(state(), before) << mutant;
            ASSERT_EQ(qv::PreferencesFile::read().get("PresetFilePath").stringOr(""), remembered) << mutant;
        } else {
            for (double value : c().correctionValues()) ASSERT_TRUE(std::isfinite(value)) << mutant;
            ASSERT_EQ(qv::PreferencesFile::read().get("PresetFilePath").stringOr(""), path);
            remembered = path;
        }
    }
    std::printf("damaged presets refused: %d\n", refused);
    if (run.ranAll()) {
        EXPECT_GT(refused, kMutants / 10);
        EXPECT_LT(refused, kMutants) << "some damage leaves a preset that loads";
    }
}

TEST_F(MutatedUserFilesTest, DamagedDatabasesAreEditedAndWrittenBackReadable) {
    const std::string path = m_files.file("Mutant.dtl");
    qv::Array lenses = {userLensRecord("Holga", 0.1f, 0, 0, 0.9f), userLensRecord("Diana", 0.2f, -0.1f, 0, 0.9f)};
    writeUserDatabase(path, lenses);
    const auto seedBytes = fileBytes(path);
    const std::string seed(seedBytes.begin(), seedBytes.end());
    responder().queuePanel({true, {path}});
    ASSERT_TRUE(qv::ui::Application::shared().performMenuAction("onDatabase:"));
    c().onBrowseDatabase(nullptr);
    const int row = c().databaseSheet().m_pCamNameTable->selectedRow();
    ASSERT_GE(row, 0);
    DatabaseEditSheet& sheet = c().editSheet();

    XmlMutator mutator(1802);
    int unreadable = 0;
    qvtest::MutationRun run("damaged databases", kMutants);
    while (run.next()) {
        const std::string mutant = mutator.mutate(seed);
        writeQuickly(path, mutant);
        const bool readable = qv::parsePropertyList(mutant).isDictionary();
        unreadable += !readable;
        c().databaseSheet().m_pCamNameTable->selectRow(row);
        c().onEditDatabase(nullptr);
        ASSERT_TRUE(sheet.m_pEditDatabaseSheet->isVisible());
        // Every row and pop-up item shown, then the edits a person makes.
        const int rows = c().numberOfRowsInTableView(*sheet.m_pESLensNameTable);
        for (int lens = 0; lens < rows; ++lens) sheet.m_pESLensNameTable->userClickRow(lens);
        for (int item = 0; item < sheet.m_pESManufacturerPopUp->numberOfItems(); ++item) {
            sheet.m_pESManufacturerPopUp->selectItemAtIndex(item);
            c().onManufacturerPopup(sheet.m_pESManufacturerPopUp);
        }
        c().onAddLens(nullptr);
        sheet.m_pESLensNameTable->userClickRow(0);
        sheet.m_pESLensNameText->setStringValue("Renamed");
        c().onUpdateLensName(nullptr);
        if (run.index() % 3 == 0) sheet.m_pESLensNameTable->deselectAll();
        c().onSaveDatabase(nullptr);
        if (sheet.m_pEditDatabaseSheet->isVisible()) {
            // A value damaged into one the record cannot hold is refused at Save; the file stays.
            ASSERT_EQ(responder().alerts().back().request.message, qv::localizedString("LensValueOutOfRangeMessage"))
                << mutant;
            const auto kept = fileBytes(path);
            ASSERT_EQ(std::string(kept.begin(), kept.end()), mutant);
            c().onCancelEditDatabase(nullptr);
            c().onCloseDatabase(nullptr);
            continue;
        }
        const qv::Value written = qv::readPropertyList(path);
        ASSERT_TRUE(written.isDictionary()) << mutant;
        ASSERT_TRUE(written.get("Lens Array").isArray()) << mutant;
        ASSERT_TRUE(written.get("Camera Manufacturers").isArray()) << mutant;
        c().onCloseDatabase(nullptr);
        // The parameters sheet over the rewritten database.
        c().setParameters();
        for (double value : c().correctionValues()) (void)value;
    }
    std::printf("damaged databases unreadable: %d\n", unreadable);
    if (run.ranAll()) {
        EXPECT_GT(unreadable, 0);
        EXPECT_LT(unreadable, kMutants);
    }
}

}  // namespace
