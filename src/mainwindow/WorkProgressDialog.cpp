#include "WorkProgressDialog.h"

#include "DialogKit.h"
#include "DocumentJob.h"
#include "QuietWait.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWindow>

namespace {

constexpr int kMinimumWidth = 380;

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

void WorkProgressDialog::setCancellable(bool cancellable)
{
    m_cancellable = cancellable;
    m_cancel->setVisible(cancellable);
}

bool WorkProgressDialog::endCancelling()
{
    State going = State::Going;
    if (!m_state.compare_exchange_strong(going, State::Committing))
        return going == State::Committing;
    QMetaObject::invokeMethod(this, [this] { m_cancel->setEnabled(false); }, Qt::QueuedConnection);
    return true;
}

void WorkProgressDialog::reject()
{
    if (!m_cancellable)
        return;
    State going = State::Going;
    if (m_state.compare_exchange_strong(going, State::Stopped) || going == State::Stopped)
        QDialog::reject();
}

bool WorkProgressDialog::run(const std::function<bool(const Report&)>& work)
{
    auto result = std::make_shared<bool>(false);
    m_state = State::Going;
    m_cancelled = false;
    m_cancel->setEnabled(true);
    DocumentJob job(nullptr);
    connect(&job, &DocumentJob::progress, this, [this](int done, int total) {
        if (total > 0) {
            m_bar->setRange(0, total);
            m_bar->setValue(done);
        }
    });
    bool ended = false;
    connect(&job, &DocumentJob::finished, this, [this, &ended] {
        ended = true;
        if (isVisible())
            accept();
    });
    job.start([work, result](DocumentJob::Control& control) {
        *result = work([&control](int done, int total) { return control.report(done, total); });
    });
    waitQuietly(&job, &DocumentJob::finished);
    const bool shown = !ended;
    if (shown && exec() != QDialog::Accepted) {
        job.cancel();
        m_cancelled = true;
    }
    // Stopped work ends at its next report, which may be a while off: the
    // window is painted meanwhile and the user's input waits.
    if (!ended) {
        QEventLoop stopping;
        connect(&job, &DocumentJob::finished, &stopping, &QEventLoop::quit);
        stopping.exec(QEventLoop::ExcludeUserInputEvents);
    }
    job.wait();
    // The window the prompt stood over takes the keys again, as before it.
    // (QWidget::activateWindow would take it for active still: the prompt is
    // its transient child until the system has seen the prompt go.) The
    // activation is taken in before the caller goes on.
    if (shown && parentWidget() && parentWidget()->window()->windowHandle()) {
        parentWidget()->window()->windowHandle()->requestActivate();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    // A cancel that came after the work's last report changed nothing.
    if (*result)
        m_cancelled = false;
    return *result;
}
