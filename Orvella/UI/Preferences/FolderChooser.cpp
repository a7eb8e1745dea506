#include "Orvella/UI/Preferences/FolderChooser.hpp"

#include <QFileDialog>

namespace Orvella {

std::optional<QString> QtFolderChooser::chooseFolder(QWidget* window, const QString& title, const QString& acceptLabel, const QString& directory)
{
    QFileDialog dialog(window, title, directory);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setLabelText(QFileDialog::Accept, acceptLabel);
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace Orvella
