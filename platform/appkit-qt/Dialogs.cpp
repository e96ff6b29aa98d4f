#include "appkit-qt/Dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <memory>

#include "appkit-qt/ViewPeer.h"
#include "appkit/Image.h"
#include "foundation/Bundle.h"
#include "foundation/RunLoop.h"

namespace qv::qt {

namespace {

// Dialogs have no parent widget: a window's peer may go (its model closed) while one is up.

// Runs the main loop until the dialog is answered; the loop serves Qt's events in its waits.
void runUntilFinished(QDialog& dialog) {
    bool finished = false;
    QObject::connect(&dialog, &QDialog::finished, [&finished] { finished = true; });
    dialog.open();
    while (!finished) RunLoop::main().runOnce(3600);
}

bool isCancel(const std::string& title) { return title == "Cancel" || title == localizedString("Cancel"); }

// Qt's own file dialog, the same on every desktop, with room for the accessory's controls. Where
// the panel takes folders as well as files, Open with a folder selected chooses that folder (a
// double click still opens it), so files and folders are chosen alike.
class FileDialog : public QFileDialog {
public:
    FileDialog(const QString& caption, const QString& directory, bool filesAndFolders)
        : QFileDialog(nullptr, caption, directory), m_filesAndFolders(filesAndFolders) {
        setOption(QFileDialog::DontUseNativeDialog);
    }
    const QStringList& chosen() const { return m_chosen; }

    void accept() override {
        const QStringList selected = selectedFiles();
        const bool folder = std::any_of(selected.begin(), selected.end(),
                                        [](const QString& path) { return QFileInfo(path).isDir(); });
        if (m_filesAndFolders && folder) {
            m_chosen = selected;
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
        if (result() == QDialog::Accepted) m_chosen = selectedFiles();
    }

private:
    bool m_filesAndFolders;
    QStringList m_chosen;
};

QString typeFilter(const std::string& type) {
    return QString("%1 (*.%2)").arg(toQt(type).toUpper(), toQt(type));
}

// The name field follows the required extension as the program changes it: a name that ends in
// the extension required so far takes the new one.
void followRequiredType(FileDialog& dialog, const std::function<std::string()>& currentType, QTimer& timer) {
    auto shown = std::make_shared<std::string>(currentType());
    QObject::connect(&timer, &QTimer::timeout, [&dialog, currentType, shown] {
        const std::string type = currentType();
        if (type == *shown || type.empty()) return;
        if (auto* field = dialog.findChild<QLineEdit*>("fileNameEdit")) {
            const QString name = field->text();
            const QString old = "." + toQt(*shown);
            if (!shown->empty() && name.endsWith(old, Qt::CaseInsensitive))
                field->setText(name.left(name.size() - old.size()) + "." + toQt(type));
        }
        *shown = type;
        dialog.setDefaultSuffix(toQt(type));
        dialog.setNameFilter(typeFilter(type));
    });
    timer.start(50);
}

}  // namespace

ui::AlertAnswer askWithMessageBox(const ui::AlertRequest& request) {
    QMessageBox box;
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(QApplication::applicationDisplayName());
    box.setText(toQt(request.title));
    box.setInformativeText(toQt(request.message));
    if (const ui::Image* icon = request.icon.get(); icon && icon->bitmap().format == PixelFormat::RGBA8) {
        const Bitmap& pixels = icon->bitmap();  // an alert's own icon, read from its PNG file
        box.setIconPixmap(QPixmap::fromImage(QImage(pixels.pixels.data(), pixels.width, pixels.height,
                                                    qsizetype(pixels.bytesPerRow), QImage::Format_RGBA8888)
                                                 .scaled(int(icon->size().width), int(icon->size().height))));
    } else {
        box.setIcon(request.informational ? QMessageBox::Information : QMessageBox::Warning);
    }
    std::vector<QAbstractButton*> buttons;
    for (std::size_t i = 0; i < request.buttons.size(); ++i) {
        const std::string& title = request.buttons[i];
        const auto role = i == 0 ? QMessageBox::AcceptRole : isCancel(title) ? QMessageBox::RejectRole : QMessageBox::ActionRole;
        QPushButton* button = box.addButton(toQt(title), role);
        button->setAccessibleName(toQt(title));
        if (i == 0) box.setDefaultButton(button);
        if (role == QMessageBox::RejectRole) box.setEscapeButton(button);
        buttons.push_back(button);
    }
    if (buttons.empty()) buttons.push_back(box.addButton(QMessageBox::Ok));
    // The message box has room for one check box, the only kind of alert this program shows.
    QCheckBox* check = nullptr;
    if (!request.checkBoxes.empty()) {
        check = new QCheckBox(toQt(request.checkBoxes.front().first));
        check->setChecked(request.checkBoxes.front().second);
        box.setCheckBox(check);
    }
    runUntilFinished(box);
    ui::AlertAnswer answer;
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i]) answer.button = int(i);
    if (check) answer.checkBoxes[request.checkBoxes.front().first] = check->isChecked();
    return answer;
}

ui::PanelAnswer askWithFileDialog(const ui::PanelRequest& request, const DialogPeers& peers) {
    const bool save = request.kind == ui::PanelKind::Save;
    FileDialog dialog(save ? "Save" : "Open", toQt(request.directory),
                      !save && request.canChooseFiles && request.canChooseDirectories);
    QTimer follow;
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (!request.suggestedName.empty()) dialog.selectFile(toQt(request.suggestedName));
        if (!request.requiredType.empty()) {
            dialog.setDefaultSuffix(toQt(request.requiredType));
            dialog.setNameFilter(typeFilter(request.requiredType));
        }
        if (request.currentRequiredType) followRequiredType(dialog, request.currentRequiredType, follow);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        if (request.canChooseDirectories && !request.canChooseFiles)
            dialog.setFileMode(QFileDialog::Directory);
        else
            dialog.setFileMode(request.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    }
    if (!request.allowedTypes.empty()) {
        QStringList patterns;
        for (const std::string& type : request.allowedTypes)
            patterns << "*." + toQt(type).toLower() << "*." + toQt(type).toUpper();
        patterns.removeDuplicates();
        dialog.setNameFilter(QString("%1 (%2)").arg(save ? "Types" : "Photos", patterns.join(' ')));
    }
    std::unique_ptr<ViewPeer> accessory;
    if (request.accessory) {
        accessory = makePeer(request.accessory, &dialog);
        const Rect frame = request.accessory->frame();
        accessory->sync(frame.height());
        accessory->widget()->setMinimumSize(int(std::lround(frame.width())), int(std::lround(frame.height())));
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
            grid->addWidget(accessory->widget(), grid->rowCount(), 0, 1, grid->columnCount());
        if (peers.add) peers.add(accessory.get());
    }
    dialog.setWindowModality(Qt::ApplicationModal);
    runUntilFinished(dialog);
    follow.stop();
    if (accessory && peers.remove) peers.remove(accessory.get());
    ui::PanelAnswer answer;
    answer.ok = dialog.result() == QDialog::Accepted;
    if (answer.ok)
        for (const QString& path : dialog.chosen().isEmpty() ? dialog.selectedFiles() : dialog.chosen())
            answer.paths.push_back(fromQt(path));
    return answer;
}

}  // namespace qv::qt
