// Alerts and panels with a person at the screen: message boxes and file dialogs, behind any
// scripted answer.
#include <QComboBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <fstream>
#include <gtest/gtest.h>

#include "QtTestSupport.h"
#include "appkit/Alert.h"
#include "appkit/Application.h"
#include "appkit/PopUpButton.h"
#include "appkit/SavePanel.h"
#include "common/TempDir.h"

using namespace qv::ui;
using qttest::backend;
using qttest::whenShown;

namespace {

class DialogPolicy : public testing::Test {
protected:
    void SetUp() override {
        Application::shared().reset();
        backend().attachToApplication();
    }
    Responder& responder() { return Application::shared().responder(); }
};

QAbstractButton* buttonTitled(QMessageBox& box, const QString& title) {
    for (QAbstractButton* button : box.buttons())
        if (button->text() == title) return button;
    return nullptr;
}

// Types into the dialog's name field, as a person does.
void typeName(QFileDialog& dialog, const std::string& name) {
    if (auto* field = dialog.findChild<QLineEdit*>("fileNameEdit")) field->setText(QString::fromStdString(name));
}

}  // namespace

TEST_F(DialogPolicy, AScriptedAnswerComesFirstAndNoMessageBoxIsShown) {
    bool shown = false;
    auto watch = whenShown<QMessageBox>([&](QMessageBox& box) {
        shown = true;
        box.reject();
    });
    const std::size_t before = responder().alerts().size();
    responder().queueAlert({1});
    EXPECT_EQ(runAlertPanel("Scripted", "No one is asked.", "OK", "Cancel"), kAlertAlternateReturn);
    EXPECT_FALSE(shown);
    ASSERT_EQ(responder().alerts().size(), before + 1);
    EXPECT_TRUE(responder().alerts().back().scripted);
}

TEST_F(DialogPolicy, AnAlertNobodyScriptedIsAMessageBoxThePersonAnswers) {
    QString text, informative;
    auto answer = whenShown<QMessageBox>([&](QMessageBox& box) {
        text = box.text();
        informative = box.informativeText();
        if (QAbstractButton* button = buttonTitled(box, "Don't Save")) button->click();
    });
    Alert alert;
    alert.setMessageText("Save the changes?");
    alert.setInformativeText("The database was edited.");
    alert.addButtonWithTitle("Save");
    alert.addButtonWithTitle("Don't Save");
    alert.addButtonWithTitle("Cancel");
    EXPECT_EQ(alert.runModal(), kAlertSecondButtonReturn);
    EXPECT_EQ(text, "Save the changes?");
    EXPECT_EQ(informative, "The database was edited.");
    const AlertRecord record = responder().alerts().back();
    EXPECT_FALSE(record.scripted);
    EXPECT_EQ(record.request.title, "Save the changes?");
    EXPECT_EQ(record.button, 1);
}

TEST_F(DialogPolicy, AnInformationalAlertShowsTheInformationIconAndAWarningTheWarningIcon) {
    std::vector<QMessageBox::Icon> icons;
    auto answer = whenShown<QMessageBox>([&](QMessageBox& box) {
        icons.push_back(box.icon());
        box.accept();
    });
    auto about = Alert::withButtons("QuorvelCI", "OK", "", "", "Version 1");
    about->setInformational(true);
    about->runModal();
    answer = whenShown<QMessageBox>([&](QMessageBox& box) {
        icons.push_back(box.icon());
        box.accept();
    });
    runAlertPanel("IMG_1.jpg", "The photo could not be saved.");
    EXPECT_EQ(icons, (std::vector<QMessageBox::Icon>{QMessageBox::Information, QMessageBox::Warning}));
}

TEST_F(DialogPolicy, EscapeOnAnAlertPressesItsCancelButton) {
    auto answer = whenShown<QMessageBox>([](QMessageBox& box) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&box, &escape);
    });
    Alert alert;
    alert.setMessageText("Replace it?");
    alert.addButtonWithTitle("Replace");
    alert.addButtonWithTitle("Cancel");
    EXPECT_EQ(alert.runModal(), kAlertSecondButtonReturn);
}

TEST_F(DialogPolicy, AnOpenPanelIsAFileDialogOfTheAllowedTypes) {
    qvtest::TempDir folder;
    const std::string photo = folder.file("IMG_1.jpg");
    std::ofstream(photo) << "x";
    QStringList filters;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    auto answer = whenShown<QFileDialog>([&](QFileDialog& dialog) {
        filters = dialog.nameFilters();
        mode = dialog.fileMode();
        typeName(dialog, photo);
        static_cast<QDialog&>(dialog).accept();  // as the Open or Save button does
    });
    auto panel = OpenPanel::openPanel();
    ASSERT_EQ(panel->runModalForDirectory(folder.path(), "", {"jpg", "tif"}), kOKButton);
    EXPECT_EQ(panel->filename(), photo);
    ASSERT_EQ(filters.size(), 1);
    EXPECT_TRUE(filters[0].contains("*.jpg"));
    EXPECT_TRUE(filters[0].contains("*.TIF"));
    EXPECT_EQ(mode, QFileDialog::ExistingFile);
    EXPECT_FALSE(responder().panels().back().scripted);
}

TEST_F(DialogPolicy, ASavePanelShowsItsAccessoryAndGetsItsRequiredExtension) {
    qvtest::TempDir folder;
    auto accessory = std::make_shared<View>(qv::Rect(0, 0, 300, 40));
    auto format = std::make_shared<PopUpButton>(qv::Rect(10, 10, 150, 22));
    format->addItemsWithTitles({"JPEG", "TIFF", "PSD"});
    accessory->addSubview(format);
    QStringList formats;
    auto answer = whenShown<QFileDialog>([&](QFileDialog& dialog) {
        for (QComboBox* box : dialog.findChildren<QComboBox*>())
            if (box->count() == 3 && box->itemText(1) == "TIFF") {
                for (int i = 0; i < box->count(); ++i) formats << box->itemText(i);
            }
        typeName(dialog, "corrected");
        static_cast<QDialog&>(dialog).accept();  // as the Open or Save button does
    });
    auto panel = SavePanel::savePanel();
    panel->setRequiredFileType("tif");
    panel->setAccessoryView(accessory);
    ASSERT_EQ(panel->runModalForDirectory(folder.path(), "IMG_1.tif"), kOKButton);
    EXPECT_EQ(panel->filename(), folder.file("corrected.tif"));
    EXPECT_EQ(formats, QStringList({"JPEG", "TIFF", "PSD"}));
}

TEST_F(DialogPolicy, ACancelledFileDialogAnswersCancel) {
    auto answer = whenShown<QFileDialog>([](QFileDialog& dialog) { dialog.reject(); });
    auto panel = OpenPanel::openPanel();
    EXPECT_EQ(panel->runModalForTypes({"jpg"}), kCancelButton);
    EXPECT_TRUE(panel->filename().empty());
}
