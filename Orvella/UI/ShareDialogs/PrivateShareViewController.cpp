#include "Orvella/UI/ShareDialogs/PrivateShareViewController.hpp"

#include "Orvella/ShareDialogs/EmailAddress.hpp"
#include "Orvella/UI/Presentation/Bindings.hpp"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QVBoxLayout>

namespace Orvella {

PrivateShareViewController::PrivateShareViewController(std::shared_ptr<PrivateShareViewModel> viewModel,
    std::shared_ptr<AlertPresenter> alerts, Reactive::DateSchedulerPtr mainQueue, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(std::move(viewModel))
    , m_closeQuestion(m_viewModel->needsAbortConfirmation(), std::move(alerts), std::move(mainQueue))
    , m_recipientField(new ResizableTokenField(this))
    , m_messageView(new TabIgnoringTextView(this))
    , m_submitButton(new QPushButton(QStringLiteral("Einladen"), this))
{
    setObjectName(QStringLiteral("PrivateShareViewController"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Empfänger (E-Mail-Adressen):"), this));
    layout->addWidget(m_recipientField);
    layout->addWidget(new QLabel(QStringLiteral("Nachricht:"), this));
    layout->addWidget(m_messageView, 1);
    layout->addWidget(m_submitButton, 0, Qt::AlignRight);
    m_recipientField->setDelegate(this);
    m_messageView->setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));

    QPointer<ResizableTokenField> field(m_recipientField);
    std::weak_ptr<Reactive::Detail::PropertyState<std::vector<std::string>>> recipients = m_viewModel->emailStrings().state();
    connect(m_recipientField, &QTextEdit::textChanged, this, [field, recipients] {
        auto state = recipients.lock();
        if (!field || !state) {
            return;
        }
        std::vector<std::string> addresses;
        for (const auto& token : field->objectValue()) {
            addresses.push_back(token.toStdString());
        }
        state->set(std::move(addresses));
    });
    bindSignal(m_viewModel->message(), m_messageView, &QPlainTextEdit::textChanged,
        [view = QPointer<TabIgnoringTextView>(m_messageView)] { return view ? view->toPlainText().toStdString() : std::string(); });
    bindProperty(m_submitButton, m_viewModel->isValid(), [](QPushButton* button, bool valid) { button->setEnabled(valid); });
    connect(m_submitButton, &QPushButton::clicked, this, [this] { createPrivateShare(); });
}

TokenStyle PrivateShareViewController::styleForToken(const QString& token) const
{
    return isValidEmailAddress(token.toStdString()) ? TokenStyle::chip : TokenStyle::plain;
}

void PrivateShareViewController::createPrivateShare()
{
    m_viewModel->createShare();
    window()->close();
}

void PrivateShareViewController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    QWidget* shown = window();
    shown->setWindowTitle(QString::fromStdString(m_viewModel->title()));
    if (shown != this && m_guardedWindow != shown) {
        if (m_guardedWindow) {
            m_guardedWindow->removeEventFilter(this);
        }
        m_guardedWindow = shown;
        shown->installEventFilter(this);
    }
}

bool PrivateShareViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_guardedWindow && event->type() == QEvent::Close && !m_closesWithoutQuestion) {
        QPointer<QWidget> window(m_guardedWindow);
        QPointer<PrivateShareViewController> self(this);
        const bool closeNow = m_closeQuestion.windowShouldClose([window, self] {
            if (window && self) {
                self->m_closesWithoutQuestion = true;
                window->close();
            }
        });
        if (!closeNow) {
            event->ignore();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace Orvella
