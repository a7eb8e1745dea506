#include "Orvella/UI/Views/ProgressSheet.hpp"

#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace Orvella {

ProgressSheet::ProgressSheet(QWidget* window)
    : QFrame(window)
    , m_label(new QLabel(this))
    , m_indicator(new QProgressBar(this))
{
    setObjectName(QStringLiteral("progressSheet"));
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    QPalette shade = palette();
    QColor background = shade.color(QPalette::Window);
    background.setAlpha(235);
    shade.setColor(QPalette::Window, background);
    setPalette(shade);
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setWordWrap(true);
    m_indicator->setTextVisible(false);
    m_indicator->setRange(0, 1);
    m_indicator->setMaximumWidth(220);
    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(m_label);
    layout->addWidget(m_indicator, 0, Qt::AlignHCenter);
    layout->addStretch();
    window->installEventFilter(this);
    hide();
}

void ProgressSheet::begin(const QString& text)
{
    m_label->setText(text);
    m_indicator->setRange(0, 0);
    m_shown = true;
    setGeometry(parentWidget()->rect());
    setCoveredEnabled(false);
    show();
    raise();
    setFocus(Qt::OtherFocusReason);
}

void ProgressSheet::end()
{
    m_indicator->setRange(0, 1);
    if (!m_shown) {
        return;
    }
    m_shown = false;
    hide();
    setCoveredEnabled(true);
}

void ProgressSheet::setCoveredEnabled(bool enabled)
{
    for (auto* sibling : parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (sibling != this) {
            sibling->setEnabled(enabled);
        }
    }
}

bool ProgressSheet::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
    }
    return QFrame::eventFilter(watched, event);
}

} // namespace Orvella
