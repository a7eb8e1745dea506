#include "Orvella/UI/Preferences/FolderChooser.hpp"

#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>

namespace Orvella {

std::optional<QString> QtFolderChooser::chooseFolder(QWidget* window, const QString& title, const QString& acceptLabel, const QString& directory)
{
    QFileDialog dialog(window, title, directory);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setLabelText(QFileDialog::Accept, acceptLabel);
    dialog.setWindowModality(Qt::WindowModal);
    // No grip strip along its bottom: the window manager resizes it.
    dialog.setSizeGripEnabled(false);
    // The columns are as wide as what they say ("Verzeichnis" in full).
    for (auto* view : dialog.findChildren<QTreeView*>()) {
        view->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
        view->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace Orvella
