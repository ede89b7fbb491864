#pragma once

#include <QLabel>

namespace flowloom::output {

// "Capture active" (objectName "imgNoise"): a small transparent picture in the
// graph's lower-left corner, shown while page capture is armed. It is a child
// of the graph widget, so it is never part of a snapshot, which the chart
// engine draws by itself.
class CaptureIndicator final : public QLabel
{
    Q_OBJECT
public:
    static constexpr int kWidth = 21;
    static constexpr int kHeight = 20;
    static constexpr int kMargin = 4; // from the graph's left and bottom edges

    // Hidden until the capture rule shows it.
    explicit CaptureIndicator(QWidget* graph);

    // The place in a graph of that size.
    static QPoint positionIn(QSize graphSize);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow();
};

} // namespace flowloom::output
