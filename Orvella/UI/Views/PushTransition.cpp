#include "Orvella/UI/Views/PushTransition.hpp"

#include <QLabel>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QStackedWidget>

#include <atomic>

namespace Orvella {

namespace {

std::atomic<bool> transitionsEnabled { true };
constexpr int durationMilliseconds = 350;

} // namespace

void setPushTransitionsEnabled(bool enabled)
{
    transitionsEnabled = enabled;
}

bool pushTransitionsEnabled()
{
    return transitionsEnabled;
}

void pushFromBottom(QStackedWidget* stack, QWidget* target, bool animated)
{
    QWidget* previous = stack->currentWidget();
    if (previous == target) {
        return;
    }
    if (!animated || !transitionsEnabled || previous == nullptr || !stack->isVisible()) {
        stack->setCurrentWidget(target);
        return;
    }
    const int height = stack->height();
    auto* leaving = new QLabel(stack);
    leaving->setPixmap(previous->grab());
    leaving->setGeometry(0, 0, stack->width(), height);
    stack->setCurrentWidget(target);
    leaving->show();
    leaving->raise();
    auto* group = new QParallelAnimationGroup(stack);
    auto* out = new QPropertyAnimation(leaving, "pos", group);
    out->setDuration(durationMilliseconds);
    out->setStartValue(QPoint(0, 0));
    out->setEndValue(QPoint(0, -height));
    out->setEasingCurve(QEasingCurve::InOutQuad);
    auto* in = new QPropertyAnimation(target, "pos", group);
    in->setDuration(durationMilliseconds);
    in->setStartValue(QPoint(0, height));
    in->setEndValue(QPoint(0, 0));
    in->setEasingCurve(QEasingCurve::InOutQuad);
    QObject::connect(group, &QAbstractAnimation::finished, leaving, &QObject::deleteLater);
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

} // namespace Orvella
