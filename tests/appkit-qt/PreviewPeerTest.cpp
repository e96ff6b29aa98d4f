// The preview's peer in the application's own window: files dropped from the desktop (a photo
// opens, anything else is refused), and the magnifier following a drag of the mouse.
#include <QDropEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
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
#include "shell/controller/QVApplicationMain.h"

using namespace qv::ui;
using qttest::backend;
using qttest::drainLoop;
using qttest::widgetOf;

namespace {

class PreviewDrop : public testing::Test {
protected:
    void SetUp() override {
        nib = qttest::launchApplication();
        ASSERT_NE(nib.displayView, nullptr);
        ASSERT_TRUE(nib.controller->mainWindow().m_pWindow->isVisible());
    }
    void TearDown() override { qttest::closeApplication(); }

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

TEST_F(PreviewDrop, TheMagnifierFollowsADragLive) {
    const std::string photo = qvtest::binaryDir() + "/sample/IMG_0018.jpg";
    ASSERT_TRUE(drop(photo));
    auto* magnifier = widgetOf<QPushButton>(*nib.controller->mainWindow().m_pMagnifierButton);
    ASSERT_NE(magnifier, nullptr);
    magnifier->click();
    drainLoop();
    ASSERT_EQ(nib.controller->mainWindow().m_pMagnifierButton->state(), kOnState);
    QWidget* preview = widgetOf<QWidget>(*nib.displayView);
    ASSERT_NE(preview, nullptr);

    // The person presses, drags across the preview and lets go; the moves arrive while the view
    // tracks the mouse inside its own loop.
    const QPointF start(preview->width() * 0.3, preview->height() * 0.5);
    auto send = [preview](QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, at, preview->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(preview, &event);
    };
    send(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    const qv::ui::Window& window = *nib.controller->mainWindow().m_pWindow;
    unsigned long drawnWhileDragging = 0;
    int moves = 0;
    QTimer drag;
    QObject::connect(&drag, &QTimer::timeout, [&] {
        if (moves == 0) drawnWhileDragging = window.displayCount();
        if (moves < 5) {
            ++moves;
            send(QEvent::MouseMove, start + QPointF(20.0 * moves, 5.0 * moves), Qt::NoButton, Qt::LeftButton);
        } else {
            drawnWhileDragging = window.displayCount() - drawnWhileDragging;
            send(QEvent::MouseButtonRelease, start + QPointF(100, 25), Qt::LeftButton, Qt::NoButton);
            drag.stop();
        }
    });
    drag.start(15);
    Application::shared().dispatchQueuedEvents();  // the press: the view's tracking loop runs till the release
    EXPECT_EQ(moves, 5);
    EXPECT_GE(drawnWhileDragging, 4u);  // the lens was drawn anew as it moved, not only at the end
}
