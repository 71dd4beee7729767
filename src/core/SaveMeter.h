#pragma once
// The progress of one save. Its steps (the document's bytes as pdfium makes
// them, qpdf's rewrite when there is one, the file written) share the bar
// evenly; each moves by the bytes it made against the bytes it is expected
// to make. Every move asks the saver whether to go on: once told to stop,
// the meter stays stopped and every later check says so.

#include <QtGlobal>

#include <functional>

class SaveMeter {
public:
    // Told the part done of the whole; false stops the save.
    using Progress = std::function<bool(int done, int total)>;

    SaveMeter(Progress progress, int steps);

    // Starts the next step, which should make about expected bytes (0 when
    // not known: the bar waits at the step's start).
    void beginStep(qint64 expected);
    // The current step has made written bytes; false once stopped.
    bool made(qint64 written);
    bool stopped() const { return m_stopped; }
    // made() for a writer of the current step to call.
    std::function<bool(qint64)> check();

private:
    static constexpr int kStepUnits = 1000;
    Progress m_progress;
    int m_steps;
    int m_step = -1;
    qint64 m_expected = 0;
    bool m_stopped = false;
};
