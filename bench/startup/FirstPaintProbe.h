#pragma once

#include <QObject>

class QWidget;

// Watches every event the application delivers and notes the moment the first
// paint event reaches a window of the given class (or one of its children). After
// that paint pass has finished it writes both moments to standard output, in
// CLOCK_MONOTONIC nanoseconds, and closes the window so that the program ends on
// its own:
//
//   first-paint-ns <when the first paint event arrived>
//   frame-done-ns <when the paint pass that it began had finished>
class TFirstPaintProbe : public QObject {
    Q_OBJECT

public:
    // `windowClass` is a class name as moc knows it ("TfrmMain", "QWidget").
    explicit TFirstPaintProbe(const char* windowClass);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Report(QWidget* window);

    const char* FWindowClass;
    long long FFirstPaint = 0;
};
