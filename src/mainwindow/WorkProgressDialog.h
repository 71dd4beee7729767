#pragma once

#include <QDialog>

#include <atomic>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

// Runs one piece of long work on a thread of its own behind a modal prompt
// with its progress and "Отмена". The prompt keeps the window's documents
// out of the user's reach while the work reads them. Work that ends within
// the quiet time (QuietWait.h) never shows the prompt: meanwhile the window
// is painted and the user's input waits.
class WorkProgressDialog : public QDialog {
public:
    WorkProgressDialog(const QString& title, const QString& text, QWidget* parent = nullptr);

    // Told the pages done and their count; false once the user cancelled.
    using Report = std::function<bool(int done, int total)>;

    // Runs work and returns its result; a document the work reads is held by
    // its captures. Cancelling (the button, Escape or closing) waits for the
    // work to notice at its next report, the window painted meanwhile; work
    // that finished all the same counts as not cancelled.
    bool run(const std::function<bool(const Report&)>& work);
    bool wasCancelled() const { return m_cancelled; }
    // The user stopped the work, whether or not it heeded the stop: what
    // was to follow the work must not.
    bool stopAsked() const { return m_state == State::Stopped; }
    // Work that cannot stop half-way (a file replaced at once) shows no
    // "Отмена", and the prompt cannot be closed while it runs.
    void setCancellable(bool cancellable);
    // Any thread, while run() runs: the work is about to pass a point it
    // cannot stop at (a file being replaced). False when the user stopped it
    // first: the work must then stop. Once true, "Отмена" goes grey and
    // cancelling is refused until the work ends.
    bool endCancelling();

protected:
    void reject() override;

private:
    bool m_cancellable = true;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_cancel = nullptr;
    bool m_cancelled = false;
    // Stopped and Committing exclude each other: a stop either comes before
    // the work passes its last point or is refused.
    enum class State { Going, Stopped, Committing };
    std::atomic<State> m_state{State::Going};
};
