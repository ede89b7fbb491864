#pragma once

#include <QString>
#include <utility>
#include <vector>

class QLabel;
class QWidget;

namespace flowloom::app {

// While the window is not seen, a tick's figures are kept instead of written:
// writing a label costs more than the whole sampling pass. The web view, the
// plot feed and the balloon read them through figure(); the window shows them
// when it comes back (showKept).
class FigureBoard
{
public:
    // The window whose painting tells whether its figures are seen.
    explicit FigureBoard(const QWidget& window) : m_window(window) {}

    void set(QLabel* label, const QString& text);
    // A figure as the window shows it, or will once it is seen again.
    QString figure(const QLabel* label) const;
    void showKept();

private:
    bool unseen() const;

    const QWidget& m_window;
    std::vector<std::pair<QLabel*, QString>> m_kept;
};

} // namespace flowloom::app
