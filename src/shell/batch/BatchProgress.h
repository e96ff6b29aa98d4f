#pragma once
// What one tick of a run's progress timer does, from what the worker has said so far.
namespace batch {

struct ProgressTick {
    bool showsCanceled = false;   // the label reads "Canceled"; else the name of the file in hand
    double bar = 0;               // the bar's value after the tick; it never moves back
    bool complete = false;        // the run is completed at this tick
    bool holdsBeforeCompleting = false;  // a finished run shows the full bar for a second first
};

// With n files the bar moves in steps of 100 / n: one step at once from 0, then up to the step
// times the index of the file in hand; a finished run goes to 100. A cancelled run completes
// once the worker has finished.
inline ProgressTick progressTick(int fileCount, int index, bool cancelled, bool finished, double bar) {
    ProgressTick tick;
    tick.bar = bar;
    if (cancelled) {
        tick.showsCanceled = true;
        tick.complete = finished;
        return tick;
    }
    const double step = fileCount > 0 ? 100.0 / fileCount : 100.0;
    if (tick.bar == 0) tick.bar += step;
    const double target = step * index;
    if (target > tick.bar) tick.bar = target;
    if (finished) {
        tick.bar = 100;
        tick.complete = true;
        tick.holdsBeforeCompleting = true;
    }
    return tick;
}

}  // namespace batch
