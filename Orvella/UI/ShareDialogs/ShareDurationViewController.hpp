#pragma once

#include "Orvella/ShareDialogs/ShareDurationViewModel.hpp"

#include <QButtonGroup>
#include <QPushButton>
#include <QWidget>

namespace Orvella {

// The public link dialog: four lifetimes as radio buttons (ids 7, 14, 30
// and 0, the view model's days) and "Link erstellen", which starts the
// creation and closes the window while the link is still being made.
class ShareDurationViewController : public QWidget {
    Q_OBJECT

public:
    explicit ShareDurationViewController(ShareDurationViewModel viewModel, QWidget* parent = nullptr);

    [[nodiscard]] const ShareDurationViewModel& viewModel() const { return m_viewModel; }
    [[nodiscard]] QButtonGroup* durationMatrix() const { return m_durationMatrix; }
    [[nodiscard]] QPushButton* createButton() const { return m_createButton; }

    void changeDuration(int selectedTag);
    void createLink();

private:
    ShareDurationViewModel m_viewModel;
    QButtonGroup* m_durationMatrix = nullptr;
    QPushButton* m_createButton = nullptr;
};

} // namespace Orvella
