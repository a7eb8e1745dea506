#pragma once

#include <QStringList>
#include <QTextEdit>

namespace Orvella {

// How a token of a `ResizableTokenField` is drawn.
enum class TokenStyle {
    // A framed chip, as a recognised recipient.
    chip,
    // Plain text.
    plain,
};

class ResizableTokenFieldDelegate {
public:
    virtual ~ResizableTokenFieldDelegate() = default;
    [[nodiscard]] virtual TokenStyle styleForToken(const QString& token) const = 0;
};

// A token field whose text is split into tokens at blanks, tabs and line
// breaks, each drawn in the style its delegate answers (chips without one).
// Tab and Shift-Tab move the focus on, as in a line edit.
// While it is being edited its height is the height its text uses plus 5,
// growing and shrinking line by line; otherwise it is one line high.
class ResizableTokenField : public QTextEdit {
    Q_OBJECT

public:
    explicit ResizableTokenField(QWidget* parent = nullptr);

    // The tokens in order.
    [[nodiscard]] QStringList objectValue() const;
    void setDelegate(const ResizableTokenFieldDelegate* delegate);
    [[nodiscard]] bool isEditing() const { return m_isEditing; }

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    [[nodiscard]] QSize defaultSize() const;
    void setEditing(bool editing);

    const ResizableTokenFieldDelegate* m_delegate = nullptr;
    bool m_isEditing = false;
};

// The tokens of `text`: the runs between blanks, tabs and line breaks.
[[nodiscard]] QStringList tokensOf(const QString& text);

} // namespace Orvella
