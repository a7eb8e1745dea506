#pragma once

#include "Orvella/ShareDialogs/PrivateShareCloseQuestion.hpp"
#include "Orvella/ShareDialogs/PrivateShareViewModel.hpp"
#include "Orvella/UI/Views/ResizableTokenField.hpp"
#include "Orvella/UI/Views/TabIgnoringTextView.hpp"

#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include <memory>

namespace Orvella {

// The private share dialog: recipients as tokens (valid addresses as chips),
// the message, and the submit button enabled while every recipient is an
// address. Once shown it titles its window and guards the window's close
// with the question whether the share is to be abandoned.
class PrivateShareViewController : public QWidget, private ResizableTokenFieldDelegate {
    Q_OBJECT

public:
    PrivateShareViewController(std::shared_ptr<PrivateShareViewModel> viewModel, std::shared_ptr<AlertPresenter> alerts,
        Reactive::DateSchedulerPtr mainQueue, QWidget* parent = nullptr);

    [[nodiscard]] PrivateShareViewModel& viewModel() const { return *m_viewModel; }
    [[nodiscard]] ResizableTokenField* recipientField() const { return m_recipientField; }
    [[nodiscard]] TabIgnoringTextView* messageView() const { return m_messageView; }
    [[nodiscard]] QPushButton* submitButton() const { return m_submitButton; }

    void createPrivateShare();
    [[nodiscard]] TokenStyle styleForToken(const QString& token) const override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::shared_ptr<PrivateShareViewModel> m_viewModel;
    PrivateShareCloseQuestion m_closeQuestion;
    ResizableTokenField* m_recipientField = nullptr;
    TabIgnoringTextView* m_messageView = nullptr;
    QPushButton* m_submitButton = nullptr;
    QPointer<QWidget> m_guardedWindow;
    // Set for a close that was already confirmed (or needs no question).
    bool m_closesWithoutQuestion = false;
};

} // namespace Orvella
