#include "bench/startup/FirstPaintProbe.h"

#include "bench/startup/MonotonicClock.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>

#include <unistd.h>

#include <cstdio>

TFirstPaintProbe::TFirstPaintProbe(const char* windowClass) : FWindowClass(windowClass) {}

bool TFirstPaintProbe::eventFilter(QObject* watched, QEvent* event) {
    // Every event of the program passes here: the cheap test goes first.
    if (event->type() != QEvent::Paint || FFirstPaint != 0 || !watched->isWidgetType())
        return false;
    QWidget* window = static_cast<QWidget*>(watched)->window();
    if (!window->inherits(FWindowClass))
        return false;
    FFirstPaint = MonotonicNanoseconds();
    // Queued, so it runs once the whole paint pass (window and children, then the
    // flush to the screen) is over, and the window is not closed mid-paint.
    QMetaObject::invokeMethod(
        this, [this, window = QPointer<QWidget>(window)] { Report(window); }, Qt::QueuedConnection);
    return false;
}

void TFirstPaintProbe::Report(QWidget* window) {
    const long long frameDone = MonotonicNanoseconds();
    char line[96];
    const int length =
        std::snprintf(line, sizeof line, "first-paint-ns %lld\nframe-done-ns %lld\n", FFirstPaint, frameDone);
    // Straight to the descriptor: nothing may linger in a buffer if the program ends oddly.
    if (length > 0 && ::write(STDOUT_FILENO, line, static_cast<size_t>(length)) != length)
        std::perror("bench-startup: writing the paint time");
    if (window)
        window->close();
}
