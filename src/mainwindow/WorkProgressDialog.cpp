#include "WorkProgressDialog.h"

#include "DialogKit.h"

#include <QBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>

namespace {

constexpr int kMinimumWidth = 380;
constexpr int kRefreshMs = 50;

struct SharedProgress {
    std::atomic<int> done{0};
    std::atomic<int> total{0};
    std::atomic<bool> cancel{false};
    bool result = false;
};

} // namespace

WorkProgressDialog::WorkProgressDialog(const QString& title, const QString& text, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("AppDialog"));
    setWindowTitle(title);
    setModal(true);
    setMinimumWidth(kMinimumWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 14);
    layout->setSpacing(10);
    QLabel* subtitle = label(text, QStringLiteral("DialogSubtitle"));
    subtitle->setWordWrap(true);
    layout->addWidget(subtitle);
    m_bar = new QProgressBar;
    m_bar->setRange(0, 0);
    layout->addWidget(m_bar);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    m_cancel = dialogButton(tr("Отмена"), QStringLiteral("SecondaryDialogButton"));
    m_cancel->setAutoDefault(false);  // Return must not cancel by accident
    row->addWidget(m_cancel);
    layout->addLayout(row);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool WorkProgressDialog::run(const std::function<bool(const Report&)>& work)
{
    auto shared = std::make_shared<SharedProgress>();
    QThread* thread = QThread::create([work, shared] {
        shared->result = work([shared](int done, int total) {
            shared->done = done;
            shared->total = total;
            return !shared->cancel.load();
        });
    });
    QTimer refresh;
    connect(&refresh, &QTimer::timeout, this, [this, shared] {
        const int total = shared->total.load();
        if (total > 0) {
            m_bar->setRange(0, total);
            m_bar->setValue(shared->done.load());
        }
    });
    connect(thread, &QThread::finished, this, &QDialog::accept, Qt::QueuedConnection);
    refresh.start(kRefreshMs);
    thread->start();
    if (exec() != QDialog::Accepted) {
        shared->cancel = true;
        m_cancelled = true;
    }
    thread->wait();
    delete thread;
    // A cancel that came after the work's last report changed nothing.
    if (shared->result)
        m_cancelled = false;
    return shared->result;
}
