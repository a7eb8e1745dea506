#pragma once

#include <QFrame>

class QLabel;
class QProgressBar;

namespace Orvella {

// The sheet a window shows while a login runs: it covers the whole window,
// takes the keyboard and leaves the controls beneath it unreachable until
// it ends. A child of the window it covers.
class ProgressSheet : public QFrame {
    Q_OBJECT

public:
    explicit ProgressSheet(QWidget* window);

    void begin(const QString& text);
    void end();
    [[nodiscard]] bool isShown() const { return m_shown; }

    [[nodiscard]] QLabel* progressLabel() const { return m_label; }
    [[nodiscard]] QProgressBar* progressIndicator() const { return m_indicator; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setCoveredEnabled(bool enabled);

    QLabel* m_label;
    QProgressBar* m_indicator;
    bool m_shown = false;
};

} // namespace Orvella
