#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace Orvella {

// Asks the user for a folder, modal over `window`: starting in `directory`,
// folders only, new folders allowed. None when the user cancels.
class FolderChooser {
public:
    virtual ~FolderChooser() = default;
    [[nodiscard]] virtual std::optional<QString> chooseFolder(
        QWidget* window, const QString& title, const QString& acceptLabel, const QString& directory) = 0;
};

// A `QFileDialog` for directories.
class QtFolderChooser final : public FolderChooser {
public:
    [[nodiscard]] std::optional<QString> chooseFolder(
        QWidget* window, const QString& title, const QString& acceptLabel, const QString& directory) override;
};

} // namespace Orvella
