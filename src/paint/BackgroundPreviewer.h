#pragma once

#include <QColor>
#include <QImage>
#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <memory>
#include <optional>

namespace paint {

// Makes the background-to-transparency previews of one picture off the GUI
// thread, one at a time: a request made while a preview is being made waits
// for it and replaces any older waiting one, so the last value asked for is
// the last preview delivered.
class BackgroundPreviewer : public QObject {
    Q_OBJECT
public:
    BackgroundPreviewer(const QImage& before, const QColor& key, QObject* parent = nullptr);
    ~BackgroundPreviewer() override;

    void request(int tolerance);
    // The preview for the tolerance: the one delivered last when it matches,
    // else made here after the run in progress was stopped.
    QImage resultFor(int tolerance);
    // Stops the run in progress and waits for it; nothing more is delivered.
    void cancel();
    bool busy() const { return m_running || m_pending.has_value(); }

signals:
    void ready(int tolerance, const QImage& preview);

private:
    struct Shared {
        std::atomic<int> generation{0};
    };

    void startNext();
    void finished(int generation, int tolerance, const QImage& preview);

    QImage m_before;
    QColor m_key;
    QThreadPool m_pool;
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
    bool m_running = false;
    int m_runningGeneration = 0;
    std::optional<int> m_pending;
    int m_deliveredTolerance = -1;
    QImage m_delivered;
};

} // namespace paint
