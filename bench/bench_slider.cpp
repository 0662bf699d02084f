// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

// Figures for the memory slider of the options page: the time to paint it once, and the time
// per step to drag its thumb across the whole ruler, each step painted before the next.
//
//   bench_slider [runs]

#include "widgets/rxslider.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void sendMouse(QWidget* widget, QEvent::Type type, const QPoint& point, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, point, widget->mapToGlobal(point), Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 200;

    QWidget parent;
    parent.resize(500, 120);
    auto* slider = new TRxSlider(&parent);
    slider->beginLoading();
    slider->setGeometry(18, 66, 463, 43);
    slider->setIncrement(100000);
    slider->setMinValue(10000);
    slider->setMaxValue(999999);
    slider->setValue(10000);
    slider->endLoading();
    parent.show();
    QApplication::processEvents();

    std::vector<double> paints;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        slider->repaint();
        paints.push_back(timer.nsecsElapsed() / 1000.0);
    }

    std::vector<double> drags;
    const int steps = slider->travelLength();
    for (int run = 0; run < std::max(1, runs / 20); ++run) {
        slider->setValue(10000);
        QApplication::processEvents();
        const QPoint grip = slider->thumbBox().center();
        sendMouse(slider, QEvent::MouseButtonPress, grip, Qt::LeftButton);
        QElapsedTimer timer;
        timer.start();
        for (int step = 1; step <= steps; ++step) {
            sendMouse(slider, QEvent::MouseMove, grip + QPoint(step, 0), Qt::LeftButton);
            QApplication::processEvents();
        }
        drags.push_back(timer.nsecsElapsed() / 1000.0 / steps);
        sendMouse(slider, QEvent::MouseButtonRelease, grip + QPoint(steps, 0), Qt::NoButton);
    }

    std::printf("slider %dx%d on %s, value after the drag %d\n", slider->width(), slider->height(),
                qPrintable(QApplication::platformName()), slider->value());
    std::printf("paint once:            median %8.1f us over %d runs\n", median(paints), runs);
    std::printf("drag across the ruler: median %8.1f us per step (%d steps, %zu runs)\n",
                median(drags), steps, drags.size());
    return 0;
}
