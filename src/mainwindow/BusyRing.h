#pragma once

#include <QTimer>
#include <QWidget>

// The spinner of dialogs that wait for work. The owning dialog starts timer
// (every kTickIntervalMs) and shows the ring when work begins, and stops and
// hides it when the work ends.
class BusyRing : public QWidget {
public:
    explicit BusyRing(QWidget* parent = nullptr);
    ~BusyRing() override;

    static constexpr int kTickIntervalMs = 45;
    static constexpr int kDegreesPerTick = 30;

    QTimer timer;

    // Start angle of the moving arc, degrees 0..359.
    int arcStartAngle() const { return angle; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void tick();

    int angle = 0;
};
