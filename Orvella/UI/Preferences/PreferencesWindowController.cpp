#include "Orvella/UI/Preferences/PreferencesWindowController.hpp"

#include "Orvella/UI/Windows/WindowCloseNotifier.hpp"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QLayout>
#include <QMainWindow>
#include <QShortcut>
#include <QStackedWidget>
#include <QToolBar>

namespace Orvella {

PreferencesViewModel standardPreferences(std::function<QWidget*()> makeGeneral, std::function<QWidget*()> makeAccount,
    std::function<QWidget*()> makeFeedback, std::function<void(QObject* sender)> showDebugPreferences)
{
    return PreferencesViewModel { {
        { "general", QStringLiteral("preferences-system"), QStyle::SP_FileDialogDetailedView, QStringLiteral("Allgemein"), std::move(makeGeneral) },
        { "account", QStringLiteral("user-identity"), QStyle::SP_DirHomeIcon, QStringLiteral("Konto"), std::move(makeAccount) },
        { "feedback", QStringLiteral("help-about"), QStyle::SP_MessageBoxInformation, QStringLiteral("Feedback"), std::move(makeFeedback) },
    }, std::move(showDebugPreferences) };
}

PreferencesWindowController::PreferencesWindowController(PreferencesViewModel viewModel)
    : m_viewModel(std::move(viewModel))
{
}

QWidget* PreferencesWindowController::loadWindow()
{
    if (m_window) {
        return m_window.get();
    }
    auto* window = new QMainWindow(nullptr);
    m_window.set(window);
    window->setObjectName(QStringLiteral("PreferencesWindow"));
    window->setWindowTitle(QStringLiteral("Einstellungen"));
    window->resize(560, 380);
    postWillCloseNotifications(m_window.get());
    m_toolbar = new QToolBar(window);
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    window->addToolBar(Qt::TopToolBarArea, m_toolbar);
    m_panes = new QStackedWidget(window);
    window->setCentralWidget(m_panes);
    auto* group = new QActionGroup(window);
    group->setExclusive(true);
    for (const auto& item : m_viewModel.items) {
        const QIcon icon = QIcon::fromTheme(item.toolbarImageName, QApplication::style()->standardIcon(item.toolbarFallbackImage));
        auto* action = m_toolbar->addAction(icon, item.toolbarTitle);
        action->setObjectName(QString::fromStdString(item.identifier));
        action->setCheckable(true);
        group->addAction(action);
        const int index = m_panes->addWidget(item.makeViewController());
        QObject::connect(action, &QAction::triggered, m_panes, [panes = m_panes, index] { panes->setCurrentIndex(index); });
        m_actions.push_back(action);
    }
    selectPane(0);
    if (m_viewModel.showDebugPreferences) {
        auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(debugShortcut)), window);
        shortcut->setObjectName(QStringLiteral("debugShortcut"));
        QObject::connect(shortcut, &QShortcut::activated, window, [show = m_viewModel.showDebugPreferences, shortcut] { show(shortcut); });
    }
    return m_window.get();
}

void PreferencesWindowController::selectPane(int index)
{
    if (index >= 0 && static_cast<std::size_t>(index) < m_actions.size()) {
        m_actions[static_cast<std::size_t>(index)]->setChecked(true);
        m_panes->setCurrentIndex(index);
    }
}

void PreferencesWindowController::showWindow()
{
    auto* window = loadWindow();
    // At its final size before it is shown: a window that grows after the
    // window manager placed it ends up under the panel.
    if (!window->isVisible()) {
        if (auto* layout = window->layout()) {
            layout->activate();
        }
        window->resize(window->size().expandedTo(window->minimumSizeHint()));
    }
    m_window.show();
}

void PreferencesWindowController::close()
{
    m_window.close();
}

void PreferencesWindowController::presentSheet(QWidget* sheet)
{
    sheet->setParent(loadWindow(), Qt::Dialog);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->show();
}

} // namespace Orvella
