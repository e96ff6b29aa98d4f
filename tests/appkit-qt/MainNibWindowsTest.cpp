// The windows and sheets that the main nib makes, as the person meets them: every control has a
// name for assistive technology, and a sensible one (its title, or what the nib calls it), a
// visible label where it shows no title, no control or label covers another, the main window
// resizes, and the save and batch panels do what their choices say. Screenshots of what the
// person sees go to the build's "screenshots" folder.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QRadioButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "QtTestSupport.h"
#include "appkit-qt/WindowPeer.h"
#include "appkit/Application.h"
#include "common/TempDir.h"
#include "foundation/PreferencesFile.h"
#include "foundation/Process.h"
#include "foundation/RunLoop.h"
#include "foundation/Threads.h"

using namespace qv;
using qttest::backend;

namespace {

bool isControl(const QWidget* w) {
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractSlider*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QProgressBar*>(w) ||
           qobject_cast<const QAbstractItemView*>(w);
}

// The controls a person meets in the window: not the parts that a combo box, a spin box or a table
// is made of (its line edit, scroll bars and headers).
std::vector<QWidget*> controlsOf(QWidget& content) {
    std::vector<QWidget*> found;
    for (QWidget* w : content.findChildren<QWidget*>()) {
        bool part = false;
        for (QWidget* up = w->parentWidget(); up && up != &content; up = up->parentWidget())
            part = part || isControl(up);
        if (!part && isControl(w)) found.push_back(w);
    }
    return found;
}

// A name made up by the backend when it knew nothing better, or a defaults key as it is stored.
bool looksMadeUp(const QString& name) {
    static const std::set<QString> kinds{"button", "text field", "label", "combo box", "pop-up button", "slider",
                                         "stepper", "progress", "colour", "matrix", "table", "cell"};
    if (kinds.count(name)) return true;
    // A key such as "rotationAngle": a lower-case start with capitals inside.
    if (name.isEmpty() || !name[0].isLower()) return false;
    for (const QChar c : name)
        if (c.isUpper()) return true;
    return false;
}

// What a person sees, left for a person to look at.
void screenshot(QWidget& widget, const std::string& name) {
    const std::string folder = qvtest::binaryDir() + "/screenshots";
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(widget.grab().save(QString::fromStdString(folder + "/" + name + ".png"))) << name;
}

// The label that names a control's widget (its buddy), or null.
QLabel* labelOf(QWidget& control) {
    for (QLabel* label : control.window()->findChildren<QLabel*>())
        if (label->buddy() == &control) return label;
    return nullptr;
}

// A label shows its whole text: nothing of it is cut off.
bool showsWholeText(const QLabel& label) {
    return label.fontMetrics().horizontalAdvance(label.text()) <= label.width() && label.isVisibleTo(label.window());
}

// Acts on the file dialog once it shows, one step per tick, so that what a step sent to the model
// (queued on the main loop) has arrived before the next step looks.
std::unique_ptr<QTimer> stepsInDialog(std::vector<std::function<void(QFileDialog&)>> steps) {
    auto timer = std::make_unique<QTimer>();
    QTimer* raw = timer.get();
    auto next = std::make_shared<std::size_t>(0);
    QObject::connect(raw, &QTimer::timeout, [raw, steps, next] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible()) {
                if (*next + 1 >= steps.size()) raw->stop();
                steps[(*next)++](*dialog);
                return;
            }
    });
    timer->start(150);
    return timer;
}

void typeName(QFileDialog& dialog, const std::string& name) {
    if (auto* field = dialog.findChild<QLineEdit*>("fileNameEdit")) field->setText(QString::fromStdString(name));
}

void choose(QComboBox* box, const QString& title) {
    ASSERT_NE(box, nullptr);
    const int index = box->findText(title);
    ASSERT_GE(index, 0) << title.toStdString();
    box->setCurrentIndex(index);
    emit box->activated(index);  // as the person's choice does
}

std::string identify(const std::string& format, const std::string& path) {
    const auto result = qv::runProcess("identify", {"-format", format, path}, 60);
    return result && result->exitStatus == 0 ? result->output : "(identify failed)";
}

class MainNibWindows : public testing::Test {
protected:
    void SetUp() override { nib = qttest::launchApplication(); }
    void TearDown() override { qttest::closeApplication(); }
    QVMainNib nib;
};

}  // namespace

TEST_F(MainNibWindows, EveryControlOfEveryWindowHasASensibleName) {
    const std::vector<ui::Window*> windows = ui::Application::shared().windows();
    ASSERT_GE(windows.size(), 7u) << "the main window, its sheets and windows, and the batch sheets";
    int checked = 0;
    for (ui::Window* window : windows) {
        if (!window->contentView()) continue;
        if (!window->isVisible()) window->orderFront();
        backend().sync();
        qv::qt::WindowPeer* peer = backend().peerOf(*window);
        ASSERT_NE(peer, nullptr) << window->title();
        std::map<QString, int> uses;
        for (QWidget* control : controlsOf(*peer->widget()->centralWidget())) {
            const QString name = control->accessibleName();
            const std::string where = window->title() + ": " + control->metaObject()->className() + " \"" +
                                      name.toStdString() + "\"";
            ++checked;
            EXPECT_FALSE(name.trimmed().isEmpty()) << where;
            EXPECT_FALSE(looksMadeUp(name)) << where;
            // A control that shows a title is called by it, unless the title is a sign ("+").
            if (auto* button = qobject_cast<QAbstractButton*>(control); button && button->text().size() > 1) {
                EXPECT_EQ(name, button->text()) << where;
            }
            // Radio cells are told apart by their group, which has a name of its own.
            if (qobject_cast<QRadioButton*>(control)) {
                ASSERT_NE(control->parentWidget(), nullptr);
                EXPECT_FALSE(looksMadeUp(control->parentWidget()->accessibleName())) << where;
                EXPECT_FALSE(control->parentWidget()->accessibleName().isEmpty()) << where;
            } else {
                ++uses[name];
            }
        }
        for (const auto& [name, count] : uses) EXPECT_EQ(count, 1) << window->title() << ": \"" << name.toStdString() << "\" names several controls";
        std::string file = "window-" + window->title();
        std::replace(file.begin(), file.end(), ' ', '-');
        screenshot(*peer->widget(), file);
        window->orderOut();
    }
    EXPECT_GT(checked, 120);
}

TEST_F(MainNibWindows, ControlsWithoutATitleAreCalledWhatTheNibCallsThem) {
    const auto& m = nib.controller->mainWindow();
    backend().sync();
    auto nameOf = [](const ui::View& view) {
        QWidget* widget = qttest::widgetOf<QWidget>(view);
        return widget ? widget->accessibleName().toStdString() : std::string("(no widget)");
    };
    EXPECT_EQ(nameOf(*m.m_pHorizontalSlider), "Yaw");
    EXPECT_EQ(nameOf(*m.m_pYawText), "Yaw value");
    EXPECT_EQ(nameOf(*m.m_pManufacturerText), "Camera make") << "a value shown is not the field's name";
    EXPECT_EQ(nameOf(*m.m_pZoomPlusButton), "Zoom in");
    EXPECT_EQ(nameOf(*m.m_pOpenButton), "Open");
    EXPECT_EQ(nameOf(*m.m_pCropRadioButtons), "Crop");
}

TEST_F(MainNibWindows, NoControlOfAWindowCoversAnother) {
    for (ui::Window* window : ui::Application::shared().windows()) {
        if (!window->contentView()) continue;
        if (!window->isVisible()) window->orderFront();
        backend().sync();
        qv::qt::WindowPeer* peer = backend().peerOf(*window);
        ASSERT_NE(peer, nullptr) << window->title();
        QWidget* content = peer->widget()->centralWidget();
        // The controls and labels placed on the window itself; a matrix's cells are laid out inside it.
        std::vector<QWidget*> placed;
        for (QWidget* w : content->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if ((isControl(w) || qobject_cast<QLabel*>(w) || !w->findChildren<QRadioButton*>().empty() ||
                 !w->findChildren<QLineEdit*>().empty()) &&
                w->isVisibleTo(content))
                placed.push_back(w);
        for (std::size_t i = 0; i < placed.size(); ++i)
            for (std::size_t j = i + 1; j < placed.size(); ++j)
                EXPECT_FALSE(placed[i]->geometry().intersects(placed[j]->geometry()))
                    << window->title() << ": \"" << placed[i]->accessibleName().toStdString() << "\" and \""
                    << placed[j]->accessibleName().toStdString() << "\"";
        window->orderOut();
    }
}

TEST_F(MainNibWindows, EveryControlWithoutATitleShowsALabelAPhotographerReads) {
    QVController& c = *nib.controller;
    const auto& m = c.mainWindow();
    const auto& f = c.fisheye();
    const auto& p = c.parametersSheet();
    auto& e = c.editSheet();
    const std::vector<std::pair<ui::View*, std::string>> expected = {
        {m.m_pHorizontalSlider, "Yaw"}, {m.m_pVerticalSlider, "Pitch"}, {m.mAspectSlider, "Aspect"},
        {m.m_pRotationSlider, "Rotation"}, {m.mRotaionStrpper, "Rotate by"}, {m.m_pScaleSlider, "Scale"},
        {m.m_pFixRedSlider, "Red"}, {m.m_pFixGreenSlider, "Green"}, {m.m_pFixBlueSlider, "Blue"},
        {m.m_pVigAmountSlider, "Amount"}, {m.m_pVigMidpointSlider, "Midpoint"}, {m.m_pCropRadioButtons, "Crop"},
        {m.m_pLensText, "Lens"}, {m.mFocalLengthField, "Focal length"},
        {f.mFEOutputWidth, "Width"}, {f.mFEOutputHeight, "Height"}, {f.mFEInputFOV, "Input field of view"},
        {f.mFEOutputFOV, "Output field of view"}, {f.mFESamplertypePopUp, "Filter"},
        {p.m_pPSDatabaseText, "Lens database"}, {p.m_pPSManufacturerPopUp, "Camera make"},
        {p.m_pPSModelPopUp, "Camera model"}, {p.m_pPSFocalLengthText, "Focal length"},
        {p.m_pPSFieldOfViewText, "Field of view"}, {p.m_pPSRadialShiftModeText, "Radial shift mode"},
        {p.m_pPSLensTypeText, "Lens type"}, {p.m_pPSVigAmountText, "Vignetting amount"},
        {p.m_pPSVigMidpointText, "Vignetting midpoint"},
        {e.m_pESDatabaseText, "Lens database"}, {e.m_pESManufacturerText, "Camera make"},
        {e.m_pESModelText, "Camera model"}, {e.m_pESLensNameText, "Lens name"}, {e.m_pESFocalLengthText, "Focal length"},
        {e.m_pESFieldOfViewText, "Field of view"}, {e.m_pESVigAmountText, "Vignetting amount"},
        {e.m_pESVigMidpointText, "Vignetting midpoint"}, {e.m_pESTypePopUp, "Lens type"},
        {e.m_pESShiftModePopUP, "Radial shift mode"}};
    for (ui::Window* window : {m.m_pWindow, p.m_pParametersSheet, e.m_pEditDatabaseSheet}) window->orderFront();
    backend().sync();
    for (const auto& [control, text] : expected) {
        ASSERT_NE(control, nullptr) << text;
        QWidget* widget = qttest::widgetOf<QWidget>(*control);
        ASSERT_NE(widget, nullptr) << text;
        QLabel* label = labelOf(*widget);
        ASSERT_NE(label, nullptr) << text << ": no label names it";
        EXPECT_EQ(label->text().toStdString(), text);
        EXPECT_TRUE(showsWholeText(*label)) << text;
        // The label comes before its control: on its left, on the same row or above it.
        EXPECT_LE(label->geometry().right(), widget->geometry().left() + 1) << text;
    }
    // Number cells show their names before them, as the sheets call the coefficients.
    const std::vector<std::pair<ui::Matrix*, QStringList>> columns = {
        {p.m_pPSCorrectionMatrix, {"a", "b", "c", "d"}},
        {e.m_pESMatrix,
         {"Red A", "Red B", "Red C", "Red D", "Red Horizontal Shift", "Red Vertical Shift", "Red Horizontal Shear",
          "Red Vertical Shear"}}};
    for (const auto& [matrix, titles] : columns) {
        QWidget* widget = qttest::widgetOf<QWidget>(*matrix);
        ASSERT_NE(widget, nullptr);
        QStringList shown;
        for (QLabel* label : widget->findChildren<QLabel*>()) {
            shown << label->text();
            EXPECT_TRUE(showsWholeText(*label)) << label->text().toStdString();
            ASSERT_NE(qobject_cast<QLineEdit*>(label->buddy()), nullptr) << label->text().toStdString();
            EXPECT_FALSE(label->geometry().intersects(label->buddy()->geometry())) << label->text().toStdString();
        }
        EXPECT_EQ(shown, titles);
    }
    // The groups have their titles above their first control.
    const std::vector<std::pair<std::string, ui::View*>> groups = {
        {"Perspective", m.m_pHorizontalSlider}, {"Scale and crop", m.m_pScaleSlider},
        {"Fisheye", f.mFECorrectionTypeMatrix}, {"Colour fringe", m.m_pFixRedSlider},
        {"Vignetting", m.m_pVigAmountSlider}};
    for (const auto& [title, first] : groups) {
        const ui::View* heading = nullptr;
        for (const auto& view : m.m_pWindow->contentView()->subviews())
            if (auto* text = dynamic_cast<ui::TextField*>(view.get()); text && text->stringValue() == title) heading = text;
        ASSERT_NE(heading, nullptr) << title;
        EXPECT_NEAR(heading->frame().minY(), first->frame().maxY() + 4, 1) << title;
        EXPECT_NEAR(heading->frame().minX(), first->frame().minX() - (dynamic_cast<ui::Matrix*>(first) ? 0 : 90), 1)
            << title;
    }
    screenshot(*backend().peerOf(*p.m_pParametersSheet)->widget(), "parameters-sheet");
    screenshot(*backend().peerOf(*e.m_pEditDatabaseSheet)->widget(), "database-editor-sheet");
}

TEST_F(MainNibWindows, ThePreviewGrowsWithTheWindowAndItsMinimumKeepsEveryControlInView) {
    QVController& c = *nib.controller;
    ui::Window& window = *c.mainWindow().m_pWindow;
    c.openImage(qvtest::binaryDir() + "/sample/IMG_0018.jpg");
    qttest::drainLoop();
    ASSERT_TRUE(c.state().m_bImageLoaded);
    backend().sync();
    QMainWindow* native = backend().peerOf(window)->widget();
    screenshot(*native, "main-window-with-photo");
    const Rect nibPreview = nib.displayView->frame();
    const Rect nibDrawn = nib.displayView->drawingRect();
    const Rect nibApply = c.mainWindow().m_pVigAmountSlider->frame();

    // The person drags the window larger.
    const QSize chrome = native->size() - native->centralWidget()->size();
    native->resize(QSize(1600, 1000) + chrome);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return window.frame().size == Size{1600, 1000}; }, 10));
    backend().sync();
    EXPECT_EQ(native->centralWidget()->size(), QSize(1600, 1000));
    EXPECT_GT(nib.displayView->frame().width(), nibPreview.width() + 400);
    EXPECT_GT(nib.displayView->frame().height(), nibPreview.height() + 200);
    EXPECT_GT(nib.displayView->drawingRect().width(), nibDrawn.width()) << "the photo is drawn larger";
    // The controls keep their places at the top right.
    const Rect slider = c.mainWindow().m_pVigAmountSlider->frame();
    EXPECT_DOUBLE_EQ(1600 - slider.maxX(), 1100 - nibApply.maxX());
    EXPECT_DOUBLE_EQ(1000 - slider.maxY(), 760 - nibApply.maxY());
    EXPECT_EQ(native->size(), QSize(1600, 1000) + chrome) << "the window stays as the person made it";
    screenshot(*native, "main-window-1600x1000");

    // Made as small as it goes, every control is still in the window.
    native->resize(QSize(300, 200) + chrome);
    qttest::drainLoop();
    EXPECT_EQ(native->centralWidget()->minimumSize(), QSize(1100, 760));
    window.setFrame(Rect(window.frame().origin, window.minSize()));
    backend().sync();
    QWidget* content = native->centralWidget();
    ASSERT_EQ(content->size(), QSize(1100, 760));
    for (QWidget* control : controlsOf(*content)) {
        if (!control->isVisibleTo(content)) continue;
        const QRect place(control->mapTo(content, QPoint(0, 0)), control->size());
        EXPECT_TRUE(content->rect().contains(place)) << control->accessibleName().toStdString();
    }
}

TEST_F(MainNibWindows, TheSavePanelOffersEachFormatsChoicesAndTheFileWrittenFollowsThem) {
    QVController& c = *nib.controller;
    const std::string photo = qvtest::binaryDir() + "/sample/IMG_0018.jpg";
    c.openImage(photo);
    qttest::drainLoop();
    ASSERT_TRUE(c.state().m_bImageLoaded);
    // The panels start where the last photo came from: the user defaults are the preferences file.
    const std::string folder = std::filesystem::path(photo).parent_path().string();
    EXPECT_EQ(PreferencesFile::read().get("ImageDirectoryPath").stringOr(""), folder);
    qvtest::TempDir out;
    auto& a = c.saveAccessory();
    auto widget = [](ui::View* view) { return qttest::widgetOf<QWidget>(*view); };
    auto shown = [&](ui::View* view) { return widget(view) && widget(view)->isVisibleTo(widget(view)->window()); };
    auto saveThrough = [&](std::vector<std::function<void(QFileDialog&)>> steps) {
        auto acting = stepsInDialog(std::move(steps));
        c.onSaveAs(nullptr);
        ASSERT_TRUE(RunLoop::main().runUntil([&] { return !a.m_pSavePanel && !c.state().mSaveInProgress.load(); }, 120));
        qv::waitForDetachedThreads(60);
        qttest::drainLoop();
    };

    // TIF with LZW, chosen in the accessory.
    std::string startFolder;
    saveThrough({[&](QFileDialog& dialog) {
                     startFolder = dialog.directory().absolutePath().toStdString();
                     EXPECT_TRUE(shown(a.mQualityAmountSlider));
                     EXPECT_TRUE(shown(a.mQualityTextFiled));
                     EXPECT_FALSE(shown(a.mCompressionType));
                     ASSERT_NE(labelOf(*widget(a.m_pFileFormatPopup)), nullptr);
                     EXPECT_TRUE(showsWholeText(*labelOf(*widget(a.m_pFileFormatPopup))));
                     screenshot(dialog, "save-panel-jpeg");
                     choose(qobject_cast<QComboBox*>(widget(a.m_pFileFormatPopup)), "TIF");
                 },
                 [&](QFileDialog& dialog) {
                     // The choice reaches the model, and the name follows, at the loop's next turns.
                     auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
                     RunLoop::main().runUntil([&] { return name->text() == "IMG_0018.tif"; }, 10);
                     EXPECT_FALSE(shown(a.mQualityAmountSlider));
                     EXPECT_FALSE(shown(a.mQualityTextFiled));
                     EXPECT_TRUE(shown(a.mCompressionType));
                     ASSERT_NE(labelOf(*widget(a.mCompressionType)), nullptr);
                     EXPECT_TRUE(labelOf(*widget(a.mCompressionType))->isVisibleTo(&dialog));
                     EXPECT_EQ(dialog.findChild<QLineEdit*>("fileNameEdit")->text(), "IMG_0018.tif")
                         << "the name takes the format's extension";
                     choose(qobject_cast<QComboBox*>(widget(a.mCompressionType)), "LZW");
                     screenshot(dialog, "save-panel-tiff");
                 },
                 [&](QFileDialog& dialog) {
                     typeName(dialog, out.file("corrected.tif"));
                     static_cast<QDialog&>(dialog).accept();
                 }});
    EXPECT_EQ(startFolder, folder);
    EXPECT_EQ(identify("%m %C", out.file("corrected.tif")), "TIFF LZW");

    // JPEG at quality 0.9, typed into the quality field.
    saveThrough({[&](QFileDialog&) {
                     auto* field = qobject_cast<QLineEdit*>(widget(a.mQualityTextFiled));
                     ASSERT_NE(field, nullptr);
                     EXPECT_EQ(field->text(), "0.70");
                     field->setText("0.9");
                     emit field->textEdited("0.9");
                 },
                 [&](QFileDialog& dialog) {
                     RunLoop::main().runUntil([&] { return a.mQualityAmountSlider->doubleValue() == 0.9; }, 10);
                     EXPECT_NEAR(a.mQualityAmountSlider->doubleValue(), 0.9, 1e-9) << "the slider follows";
                     typeName(dialog, out.file("corrected.jpg"));
                     static_cast<QDialog&>(dialog).accept();
                 }});
    EXPECT_EQ(identify("%m %Q", out.file("corrected.jpg")), "JPEG 90");

    // A name typed with TIF's extension while JPEG is chosen is a TIFF of that name.
    saveThrough({[&](QFileDialog& dialog) {
        EXPECT_EQ(a.m_pFileFormatPopup->indexOfSelectedItem(), 0);
        typeName(dialog, out.file("typed.tif"));
        static_cast<QDialog&>(dialog).accept();
    }});
    EXPECT_EQ(identify("%m", out.file("typed.tif")), "TIFF");
    EXPECT_FALSE(std::filesystem::exists(out.file("typed.tif.jpg")));
}

TEST_F(MainNibWindows, TheBatchSheetsAddPanelTakesFoldersAndPhotosAlike) {
    QVController& c = *nib.controller;
    qvtest::TempDir sources;
    std::filesystem::create_directories(sources.file("Trip"));
    std::filesystem::copy_file(qvtest::binaryDir() + "/sample/IMG_0018.jpg", sources.file("Trip/IMG_1.jpg"));
    std::filesystem::copy_file(qvtest::binaryDir() + "/sample/IMG_0018.jpg", sources.file("IMG_2.jpg"));
    c.onBatchProcess(nullptr);
    qttest::drainLoop();
    QVBatchController& batch = *nib.batchController;
    auto acting = stepsInDialog({[&](QFileDialog& dialog) { dialog.setDirectory(QString::fromStdString(sources.path())); },
                                 [&](QFileDialog& dialog) {
                                     typeName(dialog, "\"Trip\" \"IMG_2.jpg\"");
                                     static_cast<QDialog&>(dialog).accept();  // the Open button, with a folder among the chosen
                                 }});
    batch.onAddSource(nullptr);
    qttest::drainLoop();
    ASSERT_NE(batch.mSourcesTable, nullptr);
    ASSERT_EQ(batch.mSourcesTable->numberOfRows(), 2);
    std::vector<std::string> files = batch.readFilesFromSourcesArray();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{sources.file("IMG_2.jpg"), sources.file("Trip") + "/IMG_1.jpg"}));
    backend().sync();
    screenshot(*backend().peerOf(*batch.mWindow)->widget(), "batch-sheet-with-folder");
}
