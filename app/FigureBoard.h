#pragma once

#include <QString>
#include <functional>
#include <utility>
#include <vector>

class QLabel;
class QWidget;

namespace flowloom::app {

// While the window is not seen, a tick's figures are kept instead of written:
// writing a label costs more than the whole sampling pass. So are those of a
// page behind another, whose new texts would lay it out anew. The web view,
// the plot feed and the balloon read them through figure(); the window shows
// them when it or their page comes to the front (showKept). A writer may even
// leave its texts unformed while nobody sees them (formLater): they are formed
// when first read or shown, from the newest tick's numbers, and a tick nobody
// reads forms none.
class FigureBoard
{
public:
    // The window whose painting tells whether its figures are seen.
    explicit FigureBoard(const QWidget& window) : m_window(window) {}

    bool seen() const { return !unseen(); }
    void set(QLabel* label, const QString& text);
    // A figure as the window shows it, or will once it is seen again.
    QString figure(const QLabel* label) const;
    void showKept();
    // Texts are due that `formTexts` (which calls set()) forms when a figure
    // is read or the window shows; until then a tick forms nothing.
    void formLater() { m_unformed = true; }
    // Forms the due texts now (before something else writes a label).
    void formDue() const;
    void setFormer(std::function<void()> formTexts) { m_formTexts = std::move(formTexts); }

private:
    bool unseen() const;

    const QWidget& m_window;
    std::vector<std::pair<QLabel*, QString>> m_kept;
    std::function<void()> m_formTexts;
    mutable bool m_unformed = false;
};

} // namespace flowloom::app
