#pragma once
// What the window's tests share: one backend for the process on Qt's offscreen platform, the
// native widget of a view, and acting on a dialog once it is up.
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "appkit-qt/QtBackend.h"
#include "appkit-qt/ViewPeer.h"
#include "appkit/View.h"
#include "shell/nib/QVMainNib.h"

namespace qttest {

qv::qt::QtBackend& backend();

// The widget of a view's peer after a sync, as the type asked for (null when it is not one).
template <class W>
W* widgetOf(const qv::ui::View& view) {
    backend().sync();
    qv::qt::ViewPeer* peer = backend().peerOf(view);
    return peer ? qobject_cast<W*>(peer->widget()) : nullptr;
}

// Runs the main loop's queued work (what the widgets sent the model).
void drainLoop();

// The application as a person starts it, in the backend's windows: the first start's question
// answered "not now", every later alert answered at once and recorded. `closeApplication` ends it.
QVMainNib launchApplication();
void closeApplication();

// Runs `act` on the first visible top-level widget of type W once one is shown; the timer goes with
// the returned object.
template <class W>
std::unique_ptr<QTimer> whenShown(std::function<void(W&)> act) {
    auto timer = std::make_unique<QTimer>();
    QTimer* raw = timer.get();
    QObject::connect(raw, &QTimer::timeout, [raw, act] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* typed = qobject_cast<W*>(widget); typed && typed->isVisible()) {
                raw->stop();
                act(*typed);
                return;
            }
    });
    timer->start(10);
    return timer;
}

}  // namespace qttest
