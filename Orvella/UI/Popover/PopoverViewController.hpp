#pragma once

#include "Orvella/Popover/PopoverViewModel.hpp"
#include "Orvella/Presentation/NavigatorActions.hpp"
#include "Orvella/UI/Presentation/IconFactory.hpp"

#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QProgressBar;
class QToolButton;

namespace Orvella {

class RecentFilesListModel;

// Closes the popover `content` is shown in (a popup window), once the user
// chose a window the popover would otherwise cover; nothing elsewhere.
void closeContainingPopover(QWidget* content);

// The popover's content while a user is logged in: the sync state (icon,
// text, a busy indicator while a search runs), the search field, the list of
// recent or found files with its empty state, four buttons (the cloud
// folder, the web site, the preferences, the menu) and the menu with the
// usage, the state, pause or start, the preferences, log out and quit. Every control is bound one way to the
// view model on the UI scheduler, current value first; the controller only
// writes the search text (at every keystroke, and empty when the popover
// closes, so that it opens again on the recent files), asks for the list
// again whenever the popover opens, and flips the sync switch. The list is as wide as the popover: long names are shortened in
// the middle, never scrolled. Texts naming the application are built from
// the brand name once.
// GUI thread only.
class PopoverViewController final : public QWidget {
public:
    // `quit` ends the application (the menu's last item).
    PopoverViewController(std::shared_ptr<PopoverViewModel> viewModel, std::shared_ptr<NavigatorActions> actions,
        std::shared_ptr<const IconFactory> icons, std::function<void()> quit = {}, QWidget* parent = nullptr);
    ~PopoverViewController() override;

    // Opens the menu at the centre of `sender`; nothing when `sender` is not
    // in a window on screen.
    void showPopupMenu(QWidget* sender);
    // Inverts the view model's sync switch.
    void toggleSynchronization();

    [[nodiscard]] QMenu* popupMenu() const { return m_popupMenu; }
    [[nodiscard]] QListView* filesTableView() const { return m_filesTableView; }
    [[nodiscard]] RecentFilesListModel* filesModel() const { return m_filesModel; }
    [[nodiscard]] QLabel* emptyStateLabel() const { return m_emptyStateLabel; }
    [[nodiscard]] QLineEdit* filesSearchField() const { return m_filesSearchField; }
    [[nodiscard]] QAction* syncStorageInfoMenuItem() const { return m_syncStorageInfoMenuItem; }
    [[nodiscard]] QAction* syncStatusMenuItem() const { return m_syncStatusMenuItem; }
    [[nodiscard]] QAction* toggleSyncMenuItem() const { return m_toggleSyncMenuItem; }
    [[nodiscard]] QAction* preferencesMenuItem() const { return m_preferencesMenuItem; }
    [[nodiscard]] QAction* logoutMenuItem() const { return m_logoutMenuItem; }
    [[nodiscard]] QAction* quitMenuItem() const { return m_quitMenuItem; }
    [[nodiscard]] QToolButton* openLocalFolderButton() const { return m_openLocalFolderButton; }
    [[nodiscard]] QToolButton* openWebSiteButton() const { return m_openWebSiteButton; }
    [[nodiscard]] QToolButton* openSettingsButton() const { return m_openSettingsButton; }
    [[nodiscard]] QToolButton* openMenuButton() const { return m_openMenuButton; }
    [[nodiscard]] QLabel* statusImageView() const { return m_statusImageView; }
    [[nodiscard]] QLabel* statusTextField() const { return m_statusTextField; }
    [[nodiscard]] QProgressBar* activityIndicator() const { return m_activityIndicator; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void buildViews();
    void buildMenu();
    void setTexts();
    void bindViewModel();

    std::shared_ptr<PopoverViewModel> m_viewModel;
    std::shared_ptr<NavigatorActions> m_actions;
    std::shared_ptr<const IconFactory> m_icons;
    std::function<void()> m_quit;

    QMenu* m_popupMenu = nullptr;
    QListView* m_filesTableView = nullptr;
    RecentFilesListModel* m_filesModel = nullptr;
    QLabel* m_emptyStateLabel = nullptr;
    QLineEdit* m_filesSearchField = nullptr;
    QAction* m_syncStorageInfoMenuItem = nullptr;
    QAction* m_syncStatusMenuItem = nullptr;
    QAction* m_toggleSyncMenuItem = nullptr;
    QAction* m_preferencesMenuItem = nullptr;
    QAction* m_logoutMenuItem = nullptr;
    QAction* m_quitMenuItem = nullptr;
    QToolButton* m_openLocalFolderButton = nullptr;
    QToolButton* m_openWebSiteButton = nullptr;
    QToolButton* m_openSettingsButton = nullptr;
    QToolButton* m_openMenuButton = nullptr;
    QLabel* m_statusImageView = nullptr;
    QLabel* m_statusTextField = nullptr;
    QProgressBar* m_activityIndicator = nullptr;
};

} // namespace Orvella
