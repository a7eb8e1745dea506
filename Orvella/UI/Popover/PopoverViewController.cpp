#include "Orvella/UI/Popover/PopoverViewController.hpp"

#include "Orvella/UI/Popover/RecentFileDelegate.hpp"
#include "Orvella/UI/Popover/RecentFilesListModel.hpp"
#include "Orvella/UI/Presentation/Bindings.hpp"
#include "Orvella/UI/Views/PlainText.hpp"

#include <QAction>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QProgressBar>
#include <QStackedLayout>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace Orvella {

namespace {

constexpr int popoverWidth = 360;
constexpr int visibleRows = 5;

QString qt(const std::string& text)
{
    return QString::fromStdString(text);
}

QToolButton* toolButton(QWidget* parent, QStyle::StandardPixmap pixmap)
{
    auto* button = new QToolButton(parent);
    button->setIcon(parent->style()->standardIcon(pixmap));
    button->setIconSize(QSize(22, 22));
    button->setAutoRaise(true);
    return button;
}

} // namespace

void closeContainingPopover(QWidget* content)
{
    QWidget* window = content->window();
    if (window != content && window->windowType() == Qt::Popup) {
        window->close();
    }
}

PopoverViewController::PopoverViewController(std::shared_ptr<PopoverViewModel> viewModel, std::shared_ptr<NavigatorActions> actions,
    std::shared_ptr<const IconFactory> icons, std::function<void()> quit, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(std::move(viewModel))
    , m_actions(std::move(actions))
    , m_icons(std::move(icons))
    , m_quit(quit ? std::move(quit) : std::function<void()>([] { QCoreApplication::quit(); }))
{
    setObjectName(QStringLiteral("PopoverViewController"));
    buildViews();
    buildMenu();
    setTexts();
    bindViewModel();
}

PopoverViewController::~PopoverViewController() = default;

void PopoverViewController::buildViews()
{
    setFixedWidth(popoverWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 8);

    auto* state = new QHBoxLayout;
    m_statusImageView = new QLabel(this);
    m_statusImageView->setFixedSize(32, 32);
    m_statusTextField = new QLabel(this);
    showAsPlainText(m_statusTextField);
    QFont bold = m_statusTextField->font();
    bold.setBold(true);
    m_statusTextField->setFont(bold);
    // A reason with a folder's path takes lines, not the popover's width.
    m_statusTextField->setWordWrap(true);
    m_activityIndicator = new QProgressBar(this);
    m_activityIndicator->setRange(0, 0);
    m_activityIndicator->setTextVisible(false);
    m_activityIndicator->setFixedSize(48, 8);
    m_activityIndicator->hide();
    state->addWidget(m_statusImageView);
    state->addWidget(m_statusTextField, 1);
    state->addWidget(m_activityIndicator);
    layout->addLayout(state);

    m_filesSearchField = new QLineEdit(this);
    m_filesSearchField->setPlaceholderText(QStringLiteral("Suchen"));
    m_filesSearchField->setClearButtonEnabled(true);
    layout->addWidget(m_filesSearchField);

    auto* list = new QWidget(this);
    auto* stack = new QStackedLayout(list);
    stack->setStackingMode(QStackedLayout::StackAll);
    m_filesTableView = new QListView(list);
    m_filesModel = new RecentFilesListModel(m_viewModel->recentFilesDataSource(), {}, this);
    m_filesTableView->setModel(m_filesModel);
    m_filesTableView->setItemDelegate(new RecentFileDelegate(m_filesTableView));
    m_filesTableView->setUniformItemSizes(true);
    m_filesTableView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_filesTableView->setFixedHeight(RecentFilesDataSource::rowHeight * visibleRows + 4);
    m_emptyStateLabel = new QLabel(list);
    m_emptyStateLabel->setAlignment(Qt::AlignCenter);
    m_emptyStateLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    stack->addWidget(m_emptyStateLabel);
    stack->addWidget(m_filesTableView);
    layout->addWidget(list);

    auto* buttons = new QHBoxLayout;
    m_openLocalFolderButton = toolButton(this, QStyle::SP_DirIcon);
    m_openWebSiteButton = toolButton(this, QStyle::SP_DriveNetIcon);
    m_openSettingsButton = toolButton(this, QStyle::SP_FileDialogDetailedView);
    m_openMenuButton = toolButton(this, QStyle::SP_TitleBarUnshadeButton);
    buttons->addWidget(m_openLocalFolderButton);
    buttons->addWidget(m_openWebSiteButton);
    buttons->addStretch(1);
    buttons->addWidget(m_openSettingsButton);
    buttons->addWidget(m_openMenuButton);
    layout->addLayout(buttons);

    connect(m_openLocalFolderButton, &QToolButton::clicked, this, [this] { m_actions->openCloudFolder(m_openLocalFolderButton); });
    connect(m_openWebSiteButton, &QToolButton::clicked, this, [this] { m_actions->openHomePageURL(m_openWebSiteButton); });
    connect(m_openSettingsButton, &QToolButton::clicked, this, [this] {
        m_actions->showPreferencesWindow(m_openSettingsButton);
        closeContainingPopover(this);
    });
    connect(m_openMenuButton, &QToolButton::clicked, this, [this] { showPopupMenu(m_openMenuButton); });
    connect(m_filesTableView->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const auto selected = m_filesTableView->selectionModel()->selectedRows();
        m_filesModel->select(selected.isEmpty() ? -1 : selected.front().row());
    });
}

void PopoverViewController::buildMenu()
{
    m_popupMenu = new QMenu(this);
    m_syncStorageInfoMenuItem = m_popupMenu->addAction(QString());
    m_syncStorageInfoMenuItem->setEnabled(false);
    m_syncStatusMenuItem = m_popupMenu->addAction(QString());
    m_syncStatusMenuItem->setEnabled(false);
    m_popupMenu->addSeparator();
    m_toggleSyncMenuItem = m_popupMenu->addAction(QString());
    m_preferencesMenuItem = m_popupMenu->addAction(QStringLiteral("Einstellungen …"));
    m_popupMenu->addSeparator();
    m_logoutMenuItem = m_popupMenu->addAction(QString());
    m_quitMenuItem = m_popupMenu->addAction(QString());
    connect(m_toggleSyncMenuItem, &QAction::triggered, this, [this] { toggleSynchronization(); });
    connect(m_preferencesMenuItem, &QAction::triggered, this, [this] {
        m_actions->showPreferencesWindow(m_preferencesMenuItem);
        closeContainingPopover(this);
    });
    connect(m_logoutMenuItem, &QAction::triggered, this, [this] { m_actions->logout(m_logoutMenuItem); });
    connect(m_quitMenuItem, &QAction::triggered, this, [this] { m_quit(); });
}

void PopoverViewController::setTexts()
{
    const auto& appName = m_viewModel->appName();
    m_logoutMenuItem->setText(qt("aus " + appName + " abmelden"));
    m_quitMenuItem->setText(qt(appName + " beenden"));
    m_openLocalFolderButton->setToolTip(qt(appName + " Ordner öffnen"));
    m_openWebSiteButton->setToolTip(qt(appName + " öffnen"));
    m_openSettingsButton->setToolTip(QStringLiteral("Einstellungen öffnen"));
    m_openMenuButton->setToolTip(QStringLiteral("Weitere Aktionen"));
}

void PopoverViewController::bindViewModel()
{
    auto& viewModel = *m_viewModel;
    bindProperty(m_emptyStateLabel, viewModel.emptyStateIsHidden(), [](QLabel* label, bool hidden) { label->setHidden(hidden); });
    bindProperty(m_emptyStateLabel, viewModel.emptyStateText(), [](QLabel* label, const std::string& text) { label->setText(qt(text)); });
    bindProperty(m_statusImageView, viewModel.syncStatusIcon(), [icons = m_icons](QLabel* view, const std::string& name) {
        view->setPixmap(QPixmap::fromImage(icons->image(name, view->width())));
    });
    bindProperty(m_statusTextField, viewModel.syncStatusText(), [](QLabel* field, const std::string& text) { field->setText(qt(text)); });
    const auto setTitle = [](QAction* item, const std::string& text) { item->setText(qt(text)); };
    bindProperty(m_syncStorageInfoMenuItem, viewModel.usageInfoText(), setTitle);
    bindProperty(m_syncStatusMenuItem, viewModel.syncStatusText(), setTitle);
    bindProperty(m_toggleSyncMenuItem, viewModel.syncActionText(), setTitle);
    bindProperty(m_toggleSyncMenuItem, viewModel.syncActionAvailable(), [](QAction* item, bool available) { item->setEnabled(available); });
    bindProperty(m_filesModel, viewModel.numberOfItems(), [](RecentFilesListModel* model, int) { model->reload(); });
    bindSignal(viewModel.searchText(), m_filesSearchField, &QLineEdit::textChanged, [](const QString& text) { return text.toStdString(); });
    bindProperty(m_activityIndicator, viewModel.searchIsRunning(), [](QProgressBar* indicator, bool running) { indicator->setVisible(running); });
}

void PopoverViewController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // What the list showed may be from long ago, or from an outage.
    m_viewModel->reload();
}

void PopoverViewController::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_viewModel->acknowledgeNotices();
    // A popover opened later starts again from the recent files.
    m_filesSearchField->clear();
}

void PopoverViewController::showPopupMenu(QWidget* sender)
{
    if (!sender || !sender->window() || !sender->window()->isVisible()) {
        return;
    }
    m_popupMenu->popup(sender->mapToGlobal(sender->rect().center()));
}

void PopoverViewController::toggleSynchronization()
{
    auto& enabled = m_viewModel->syncEnabled();
    enabled.set(!enabled.value());
}

} // namespace Orvella
