// Files dropped from the desktop on the preview: a photo opens, anything else is refused.
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <fstream>
#include <gtest/gtest.h>

#include "QtTestSupport.h"
#include "appkit/Application.h"
#include "common/TempDir.h"
#include "foundation/Bundle.h"
#include "foundation/Threads.h"
#include "shell/QVApplicationMain.h"

using namespace qv::ui;
using qttest::backend;
using qttest::drainLoop;
using qttest::widgetOf;

namespace {

class PreviewDrop : public testing::Test {
protected:
    void SetUp() override {
        backend();
        Application::shared().reset();
        backend().attachToApplication();
        Responder& responder = Application::shared().responder();
        // The first start asks which lenses the person owns: not now.
        responder.queueAlert({1, {}, qv::localizedString("Please tell Quorvel which lenses you own.")});
        nib = QVLaunchApplication();
        responder.reset();
        // Alerts are answered at once and recorded, with no message box to wait on.
        responder.setAlertPolicy([](const AlertRequest&) { return AlertAnswer{}; });
        ASSERT_NE(nib.displayView, nullptr);
        ASSERT_TRUE(nib.controller->mainWindow().m_pWindow->isVisible());
        drainLoop();
    }
    void TearDown() override {
        drainLoop();
        qv::waitForDetachedThreads(60);
        Application::shared().reset();
    }

    // Drops the file on the preview's widget as the desktop would, and lets the loop run the drop.
    bool drop(const std::string& path) {
        QWidget* preview = widgetOf<QWidget>(*nib.displayView);
        if (!preview) return false;
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        const QPointF middle(preview->width() / 2.0, preview->height() / 2.0);
        QDragEnterEvent enter(middle.toPoint(), Qt::CopyAction | Qt::LinkAction, &data, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(preview, &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent dropped(middle, Qt::CopyAction | Qt::LinkAction, &data, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(preview, &dropped);
        drainLoop();
        return dropped.isAccepted();
    }

    QVMainNib nib;
};

}  // namespace

TEST_F(PreviewDrop, ADroppedPhotoOpensAndItsCameraShowsInTheWindow) {
    const std::string photo = qvtest::binaryDir() + "/sample/IMG_0018.jpg";
    ASSERT_TRUE(std::ifstream(photo).good()) << photo;
    const unsigned long displays = nib.controller->mainWindow().m_pWindow->displayCount();
    EXPECT_TRUE(drop(photo));
    EXPECT_TRUE(nib.controller->state().m_bImageLoaded);
    const std::string make = nib.controller->mainWindow().m_pManufacturerText->stringValue();
    EXPECT_FALSE(make.empty());
    auto* shown = widgetOf<QLineEdit>(*nib.controller->mainWindow().m_pManufacturerText);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->text().toStdString(), make);
    EXPECT_GT(nib.controller->mainWindow().m_pWindow->displayCount(), displays);  // the preview drew the photo
}

TEST_F(PreviewDrop, ADroppedTextFileIsRefusedWithTheOpenErrorAlert) {
    qvtest::TempDir folder;
    const std::string notes = folder.file("notes.txt");
    std::ofstream(notes) << "not a photo\n";
    const std::size_t alerts = Application::shared().responder().alerts().size();
    drop(notes);
    EXPECT_FALSE(nib.controller->state().m_bImageLoaded);
    ASSERT_EQ(Application::shared().responder().alerts().size(), alerts + 1);
    EXPECT_NE(Application::shared().responder().alerts().back().request.title.find("notes.txt"), std::string::npos)
        << Application::shared().responder().alerts().back().request.title;
}
