#pragma once
// What the shell's tests share: a bundle of their own with a resource lens database made from
// text, a stand-in for the preview view, and the application's start as a test runs it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/TempDir.h"
#include "appkit/Application.h"
#include "shell/controller/QVDisplayViewLink.h"
#include "shell/nib/QVMainNib.h"

namespace shelltest {

// Cameras: Canon EOS 400D (group "Canon APS-C", x1.6), Canon EOS 5D ("Canon full frame", x1),
// Nikon D80 ("Nikon DX", x1.5). The Canon make lists, in order:
//   0 "EF-S 18-55"  (APS-C, x1.6; calibrations at 18, 35 and 55 mm)
//   1 "Sigma 10-20" (APS-C, x1.6; a namesake of the same group follows it in the file)
//   2 "EF 50"       (full frame, x1; one calibration at 50 mm)
//   3 "Sigma 10-20" (full frame, x1)
// The Nikon make lists "Sigma 10-20" (DX) and "AF-S 18-70" (DX, x1.5).
extern const char* const kDatabaseText;
// The same database with a Pentax camera added at the end.
extern const char* const kNewerDatabaseText;

// Writes a resource database made from the text form.
void writeResourceDatabase(const std::string& path, const std::string& text);
// A user database (a property list) with one manufacturer and the given records.
void writeUserDatabase(const std::string& path, const qv::Array& lenses);
qv::Value userLensRecord(const std::string& name, float a, float b, float c, float d);
void setModificationTime(const std::string& path, long secondsSinceEpoch);
std::vector<std::uint8_t> fileBytes(const std::string& path);

// A resource folder of the test's own, found through QV_RESOURCE_DIR while the object lives: the
// build's string table and a "PTLens.dat" made from text.
class FixtureBundle {
public:
    explicit FixtureBundle(const std::string& databaseText = kDatabaseText);
    ~FixtureBundle();
    std::string databasePath() const;
    void replaceDatabase(const std::string& text, long modificationTime);
    // Copies a file of the source resources (the metadata tool, a kernel) into the bundle.
    bool installResource(const std::string& file);
    // The bundle's resource folder.
    const std::string& path() const { return m_folder.path(); }

private:
    qvtest::TempDir m_folder;
};

// Records what the controller asks of the preview view.
class FakeDisplayView : public QVDisplayViewLink {
public:
    std::vector<std::string> calls;
    QVController* controller = nullptr;
    bool batch = false;
    bool allowDrops = false;
    int magnification = 0;
    bool magnifier = false;
    qv::Size proxy{0, 0};  // the preview proxy's size; none when empty

    std::size_t count(const std::string& call) const;

    void setController(QVController* c) override { controller = c; }
    void applyCorrection() override { calls.push_back("applyCorrection"); }
    void perspective() override { calls.push_back("perspective"); }
    void chromaticAberration() override { calls.push_back("chromaticAberration"); }
    void applyVignet() override { calls.push_back("applyVignet"); }
    void setScaleValue(double) override { calls.push_back("setScaleValue"); }
    void revertImage() override { calls.push_back("revertImage"); }
    void setPreviewImage(bool) override { calls.push_back("setPreviewImage"); }
    void setMagnification(int percent) override { magnification = percent; }
    void showMagnifier(bool on) override { magnifier = on; }
    void setAllowDragAndDrop(bool allow) override { allowDrops = allow; }
    void setBatchFlagTo(bool on) override { batch = on; }
    bool isBatchProcessInProgress() const override { return batch; }
    bool setCIImageFromFile(const std::string&) override { return false; }
    qv::ci::Image ciImage() const override { return {}; }
    qv::ci::Image scaleToFixedSize(const qv::ci::Image&) override;
    qv::Value metadata;  // the photo's metadata as a view would keep it
    qv::Value imageMetadata() const override { return metadata; }
    void setImageMetadata(const qv::Value& value) override { metadata = value; }
    void calculateDrawingRect() override {}
    void resetImageToDraw() override {}
    void drawCorrectedImage() override {}
    void setNeedsDisplay() override { calls.push_back("setNeedsDisplay"); }
};

// A preview view that really reads the photo and its properties; the full-resolution chain is
// the photo itself, so saves write what was read.
class LoadingView : public FakeDisplayView {
public:
    qv::ci::Image image;
    std::string loadedPath;
    std::size_t loads = 0;  // photos read
    bool setCIImageFromFile(const std::string& path) override;
    qv::ci::Image ciImage() const override { return image; }
    qv::ci::Image fullResolutionImage(const qv::ci::Image& source, const CorrectionParameters&) const override {
        return source;
    }
};

// A fresh application for the next start: no delegate, menu or queued answers.
void resetApplication();
qv::ui::Responder& responder();
// The titles of the alerts shown so far.
std::vector<std::string> alertTitles();
bool wasAsked(const std::string& localizedKey);

// Runs the metadata tool; its output.
std::string tool(const std::vector<std::string>& arguments);
// Writes at `path` an executable tool that speaks the kept-open metadata tool's protocol (requests
// of argument lines, each ended by "-execute<N>") and misbehaves as the photo's name asks: a name
// with "exits" ends the tool, "hangs" stops it answering, "floods" has it print without end,
// "garbage" gives an answer that is no lens information, "late" answers an earlier request and
// then nothing; any other photo reads the range
// 24 to 105. Each start of the tool adds a line "start" to `logPath`, each request the photo's path.
void writeScriptedLensInfoTool(const std::string& path, const std::string& logPath);
// Writes at `path` a tool that adds a line "start" to `logPath` and then runs the real metadata tool.
void writeCountingLensInfoTool(const std::string& path, const std::string& logPath);
// The lines of a text file.
std::vector<std::string> linesOf(const std::string& path);
// A photo of the Canon EOS 400D with the 18-55 zoom at 18 mm, turned by its orientation tag;
// without lens information no lens is chosen on opening.
void writePhoto(const std::string& path, int width, int height, bool withLensInfo = true);

// The application's start as the program runs it: the nib, then the end of launching.
QVMainNib launch(QVDisplayViewLink* view = nullptr);

std::string installedDatabase();  // support folder + "PTLens.dat"
// The names and the files of the controller's loaded-database rows, in row order.
std::vector<std::string> databaseRowNames(const QVController& controller);
std::vector<std::string> databaseRowFiles(const QVController& controller);

// The text a table shows in a row, and in every row.
std::string cellText(qv::ui::TableView& table, int row);
std::vector<std::string> rowTexts(qv::ui::TableView* table);

// The answer to the launch question about owned lenses: "Cancel".
qv::ui::AlertAnswer declineOwnedLenses();

// A case that starts the application with the fixture bundle and the fake view, the owned-lens
// question declined, and ends it before the next case.
class LaunchedTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    QVController& c() { return *m_nib->controller; }
    QVMainNib& nib() { return *m_nib; }
    // Makes a resource-database make the current database through the database sheet.
    void loadDatabaseRow(int row);
    // Opens the parameters sheet through the menu.
    void openParametersSheet();

    std::unique_ptr<FixtureBundle> m_bundle;
    FakeDisplayView m_view;
    std::unique_ptr<QVMainNib> m_nib;
};

}  // namespace shelltest
