#include "appkit-qt/WindowPeer.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QResizeEvent>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "appkit-qt/MenuBarPeer.h"
#include "appkit-qt/ReadingOrder.h"
#include "appkit/Application.h"
#include "appkit/Button.h"
#include "foundation/Bundle.h"
#include "foundation/RunLoop.h"

namespace qv::qt {

namespace {


// Runs `task` on the window at the loop's next pass, when the window still exists then.
void onWindow(ui::Window* window, std::function<void(ui::Window&)> task) {
    RunLoop::main().perform([window, task = std::move(task)] {
        if (isLiveWindow(window)) task(*window);
    });
}

double screenHeight() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().height() : 0;
}

// The push buttons of a view's subtree, in the model's order.
void pushButtons(ui::View& view, std::vector<std::shared_ptr<ui::Button>>& found) {
    for (const auto& child : view.subviews()) {
        if (auto button = std::dynamic_pointer_cast<ui::Button>(child))
            if (button->buttonType() == ui::ButtonType::MomentaryPush) found.push_back(button);
        pushButtons(*child, found);
    }
}

// Return presses a panel's default button, the last push button as the nib lays them out (the
// rightmost of the bottom row); Escape the one that cancels or closes.
std::shared_ptr<ui::Button> keyButton(ui::Window& window, bool cancel) {
    std::vector<std::shared_ptr<ui::Button>> buttons;
    if (window.contentView()) pushButtons(*window.contentView(), buttons);
    if (!cancel) return buttons.empty() ? nullptr : buttons.back();
    for (const char* title : {"Cancel", "Close"})
        for (const auto& button : buttons)
            if (button->title() == title || button->title() == localizedString(title)) return button;
    return nullptr;
}

class WindowWidget : public QMainWindow {
public:
    explicit WindowWidget(ui::Window& window) : m_window(&window) {
        auto* close = new QAction(this);
        close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
        close->setShortcutContext(Qt::WindowShortcut);
        connect(close, &QAction::triggered, [this] { onWindow(m_window, [](ui::Window& w) { w.performClose(); }); });
        addAction(close);
    }

protected:
    void closeEvent(QCloseEvent* e) override {
        // The model decides; the peer hides when the model's window is no longer visible.
        e->ignore();
        onWindow(m_window, [](ui::Window& w) { w.performClose(); });
    }

    void moveEvent(QMoveEvent* e) override {
        QMainWindow::moveEvent(e);
        if (!isVisible()) return;
        // pos() is the frame's corner, which move() sets too, so the two round-trip without drift.
        const QPoint g = pos();
        onWindow(m_window, [g](ui::Window& w) {
            Rect frame = w.frame();
            frame.origin = Point{double(g.x()), screenHeight() - g.y() - frame.height()};
            if (std::lround(frame.minX()) != std::lround(w.frame().minX()) ||
                std::lround(frame.minY()) != std::lround(w.frame().minY()))
                w.setFrame(frame);
        });
    }

    void resizeEvent(QResizeEvent* e) override {
        QMainWindow::resizeEvent(e);
        if (!isVisible() || !m_window->isResizable() || !centralWidget()) return;
        // The person resized the window: the model takes the content's new size, its top edge
        // staying where it is.
        const QSize content = centralWidget()->size();
        const QPoint g = pos();
        onWindow(m_window, [content, g](ui::Window& w) {
            const Size size{double(content.width()), double(content.height())};
            if (size == w.frame().size || size.width < w.minSize().width || size.height < w.minSize().height) return;
            w.setFrame(Rect(Point{w.frame().minX(), screenHeight() - g.y() - size.height}, size));
        });
    }

    void keyPressEvent(QKeyEvent* e) override {
        const bool ret = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
        const bool escape = e->key() == Qt::Key_Escape;
        if (!(ret || escape) || !m_window->isPanel()) return QMainWindow::keyPressEvent(e);
        std::weak_ptr<ui::Button> button = keyButton(*m_window, escape);
        RunLoop::main().perform([button] {
            if (auto b = button.lock()) b->performClick();
        });
    }

private:
    ui::Window* m_window;
};

}  // namespace

WindowPeer::WindowPeer(ui::Window& window) : m_window(window), m_widget(new WindowWidget(window)) {}

WindowPeer::~WindowPeer() {
    m_content.reset();
    delete m_widget.data();
}

void WindowPeer::show(WindowPeer* parentPeer) {
    ui::Application& application = ui::Application::shared();
    const bool modal = application.modalWindow() == &m_window;
    Qt::WindowFlags flags = m_window.isPanel() ? Qt::Dialog : Qt::Window;
    if (parentPeer) {
        m_widget->setParent(parentPeer->widget(), flags | Qt::Sheet);
        m_widget->setWindowModality(Qt::WindowModal);
        // Centred under the parent's title bar, as a sheet drops from it.
        const QRect parent = parentPeer->widget()->geometry();
        m_widget->move(parent.x() + (parent.width() - m_widget->width()) / 2, parent.y());
    } else {
        m_widget->setParent(nullptr, flags);
        m_widget->setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
    }
    m_widget->show();
    m_widget->raise();
    if (m_window.isKeyWindow() || modal || parentPeer) m_widget->activateWindow();
    // A message box or panel that waits for the person stays above a window shown meanwhile (the
    // batch sheet coming back under the batch's closing alert).
    if (QWidget* waiting = QApplication::activeModalWidget(); waiting && waiting != m_widget) {
        waiting->raise();
        waiting->activateWindow();
    }
}

void WindowPeer::keepMinimumSize(QWidget& content) const {
    const Size min = m_window.minSize();
    const QSize minimum(int(std::lround(min.width)), int(std::lround(min.height)));
    if (content.minimumSize() != minimum) content.setMinimumSize(minimum);
    if (content.maximumSize() != QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX))
        content.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void WindowPeer::orderTabs() {
    std::vector<ViewPeer*> peers;
    m_content->collect(peers);
    std::vector<Rect> frames;
    std::vector<std::vector<QWidget*>> widgets;
    for (ViewPeer* peer : peers) {
        auto view = peer->view();
        std::vector<QWidget*> focus = peer->focusWidgets();
        if (!view || focus.empty()) continue;
        frames.push_back(view->convertRectToWindow(view->bounds()));
        widgets.push_back(std::move(focus));
    }
    std::vector<QPointer<QWidget>> order;
    for (std::size_t i : readingOrder(frames))
        for (QWidget* widget : widgets[i]) order.emplace_back(widget);
    if (order == m_tabOrder) return;
    m_tabOrder = order;
    for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void WindowPeer::sync(WindowPeer* parentPeer) {
    if (!m_widget) return;
    if (m_widget->windowTitle() != toQt(m_window.title())) m_widget->setWindowTitle(toQt(m_window.title()));

    // The content: peers of the content view's hierarchy, made again when the view is replaced.
    const std::shared_ptr<ui::View>& content = m_window.contentView();
    if (content.get() != m_contentModel) {
        m_content.reset();
        m_contentModel = content.get();
        if (content) {
            m_content = makePeer(content, m_widget);
            m_widget->setCentralWidget(m_content->widget());
        }
    }
    const Rect frame = m_window.frame();
    if (m_content) {
        m_content->sync(frame.height());
        const QSize size(int(std::lround(frame.width())), int(std::lround(frame.height())));
        QWidget* content = m_content->widget();
        if (!m_window.isResizable() || !m_shown) {
            if (content->size() != size || content->minimumSize() != size) content->setFixedSize(size);
        } else if (keepMinimumSize(*content); frame.size != m_modelSize && content->size() != size) {
            // The program resized the window (only a change of the model's size counts, so that a
            // resize by the person, on its way to the model, is not undone). The window is as much
            // larger than its content as its menu bar and frame take.
            const QSize chrome = m_widget->size() - content->size();
            m_widget->resize(size + chrome);
        }
        m_modelSize = frame.size;
        orderTabs();
    }

    // A document window carries the main menu.
    const std::shared_ptr<ui::Menu>& menu = ui::Application::shared().mainMenu();
    if (!m_window.isPanel() && (!m_menuBar || !m_menuBar->mirrors(menu)))
        m_menuBar = std::make_unique<MenuBarPeer>(menu, *m_widget->menuBar());

    // The drawing, when the model drew again (views marked, or someone displayed the window), with
    // as many pixels per point as the screen the window is on.
    m_window.setBackingScaleFactor(m_widget->devicePixelRatioF());
    m_window.displayIfNeeded();
    if (m_window.displayCount() != m_displays) {
        m_displays = m_window.displayCount();
        if (m_content) m_content->canvasChanged();
    }

    const bool visible = m_window.isVisible() && !m_window.isClosed();
    if (visible && !m_shown) {
        if (m_window.canvas().width() == 0) m_window.display();
        m_widget->adjustSize();
        if (!parentPeer) {
            const int top = int(std::lround(screenHeight() - frame.maxY()));
            m_widget->move(int(std::lround(frame.minX())), std::max(0, top));
        }
        show(parentPeer);
        // Shown at the model's size, from then on the person may resize it down to its minimum.
        if (m_window.isResizable() && m_content) keepMinimumSize(*m_content->widget());
        m_frame = frame;
    } else if (!visible && m_shown) {
        m_widget->hide();
    } else if (visible && !parentPeer && frame.origin != m_frame.origin) {
        m_frame = frame;
        m_widget->move(int(std::lround(frame.minX())), std::max(0, int(std::lround(screenHeight() - frame.maxY()))));
    }
    m_shown = visible;
}

}  // namespace qv::qt
