#pragma once
// Answers the modal prompts a test expects, from inside their own event loops.

#include "OcrProgressDialog.h"
#include "WorkProgressDialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>
#include <utility>

namespace prompt {

// A standard button of Qt's boxes named by its English text: Qt shows it in
// the interface language.
inline QMessageBox::StandardButton standardButtonNamed(QString text)
{
    text.remove(QLatin1Char('&'));
    const std::pair<const char*, QMessageBox::StandardButton> names[] = {
        {"OK", QMessageBox::Ok}, {"Yes", QMessageBox::Yes}, {"No", QMessageBox::No},
        {"Cancel", QMessageBox::Cancel}, {"Save", QMessageBox::Save}, {"Discard", QMessageBox::Discard},
        {"Close", QMessageBox::Close}, {"Open", QMessageBox::Open}};
    for (const auto& [name, button] : names) {
        if (text == QLatin1String(name))
            return button;
    }
    return QMessageBox::NoButton;
}

inline QPushButton* buttonWithText(QDialog* dialog, const QString& text)
{
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->text() == text)
            return button;
    }
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
        const QMessageBox::StandardButton standard = standardButtonNamed(text);
        if (standard != QMessageBox::NoButton)
            return qobject_cast<QPushButton*>(box->button(standard));
    }
    return nullptr;
}

// The progress prompt of long work: shown only once the work outlasts the
// quiet time, so on a busy machine it may come up before, or instead of, no
// prompt at all. It asks nothing.
inline bool isProgressPrompt(QDialog* dialog)
{
    return dynamic_cast<WorkProgressDialog*>(dialog) || dynamic_cast<OcrProgressDialog*>(dialog);
}

inline bool isQuestion(QDialog* dialog)
{
    return !isProgressPrompt(dialog);
}

// A key pressed where the user's key would go: the prompt's focus widget.
inline void pressKey(QDialog* dialog, Qt::Key key)
{
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus && focus->window() == dialog ? focus : dialog, key);
}

// One test's expected prompts, answered in order as they appear. The poll
// timer and the queued answers belong to the driver, so nothing it started
// outlives the test that made it.
class Driver {
public:
    using Answer = std::function<void(QDialog*)>;
    using Fits = std::function<bool(QDialog*)>;

    Driver()
    {
        m_poll.setInterval(kPollMs);
        QObject::connect(&m_poll, &QTimer::timeout, &m_owner, [this] { poll(); });
    }

    // Runs answer on the next modal prompt shown, or on the next one that
    // fits: a prompt that does not fit is left alone (a progress prompt that
    // came up first ends by itself).
    void whenShown(Answer answer, Fits fits = {})
    {
        m_answers.push_back({std::move(answer), std::move(fits)});
        m_poll.start();
    }

    // A progress prompt takes the click only when it has the button.
    void clickButton(const QString& text)
    {
        whenShown(
            [text](QDialog* dialog) {
                if (QPushButton* button = buttonWithText(dialog, text))
                    button->click();
                else
                    dialog->reject();
            },
            [text](QDialog* dialog) { return isQuestion(dialog) || buttonWithText(dialog, text); });
    }

    void press(Qt::Key key)
    {
        whenShown([key](QDialog* dialog) { pressKey(dialog, key); });
    }

    // Answers still waiting for their prompt.
    int pending() const { return int(m_answers.size()); }

    // Prompts for which skip is true are left alone and take no answer
    // (a progress prompt that ends by itself).
    void skipWhen(std::function<bool(QDialog*)> skip) { m_skip = std::move(skip); }

private:
    static constexpr int kPollMs = 10;

    // The answer runs queued, outside the timer's slot: a prompt it opens in
    // turn is polled and answered too.
    void poll()
    {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible() || dialog == m_answered || m_answers.empty())
            return;
        if ((m_skip && m_skip(dialog)) || (m_answers.front().fits && !m_answers.front().fits(dialog)))
            return;
        m_answered = dialog;
        Answer answer = std::move(m_answers.front().answer);
        m_answers.pop_front();
        if (m_answers.empty())
            m_poll.stop();
        QPointer<QDialog> target(dialog);
        QMetaObject::invokeMethod(
            &m_owner, [target, answer] {
                if (target)
                    answer(target);
            },
            Qt::QueuedConnection);
    }

    struct Expected {
        Answer answer;
        Fits fits;
    };

    QObject m_owner;
    QTimer m_poll;
    std::deque<Expected> m_answers;
    QPointer<QDialog> m_answered;
    std::function<bool(QDialog*)> m_skip;
};

// Notes the next prompt as "title|text", then clicks the given button, or
// rejects the prompt when it has none.
inline void answerNoting(Driver& prompts, const QString& button, QString* noted)
{
    prompts.whenShown(
        [button, noted](QDialog* dialog) {
            auto* box = qobject_cast<QMessageBox*>(dialog);
            QLabel* subtitle = dialog->findChild<QLabel*>(QStringLiteral("DialogSubtitle"));
            *noted = dialog->windowTitle() + '|' + (box ? box->text() : subtitle ? subtitle->text() : QString());
            if (QPushButton* pushed = buttonWithText(dialog, button))
                pushed->click();
            else
                dialog->reject();
        },
        isQuestion);
}

// Answers the next save dialog with a file name, taken as given: the
// dialog's own selection, which its directory loading may set later, is
// cleared so that the typed name is what it returns.
inline void answerSaveDialog(Driver& prompts, const QString& name)
{
    prompts.whenShown([name](QDialog* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        if (!files) {
            dialog->reject();
            return;
        }
        files->setDirectory(QFileInfo(name).absolutePath());
        for (QAbstractItemView* itemView : files->findChildren<QAbstractItemView*>())
            itemView->clearSelection();
        files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(name).fileName());
        dialog->done(QDialog::Accepted);
    }, isQuestion);
}

enum class Progress { Ignored, Counted };

// Runs action and returns the title of the first modal prompt that came up
// while it ran or from what it left queued, empty if none did (and rejects
// each, so a wrong prompt cannot block the test). The progress prompt of long
// work asks nothing and is let be unless counted: how long the work takes
// depends on the machine.
inline QString promptShownDuring(const std::function<void()>& action, Progress progress = Progress::Ignored)
{
    constexpr int kPollMs = 10;
    QString shown;
    const auto look = [&shown, progress] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible() || (progress == Progress::Ignored && isProgressPrompt(dialog)))
            return;
        if (shown.isEmpty())
            shown = dialog->windowTitle().isEmpty() ? QStringLiteral("(untitled)") : dialog->windowTitle();
        dialog->reject();
    };
    QTimer poll;
    poll.setInterval(kPollMs);
    QObject::connect(&poll, &QTimer::timeout, look);
    poll.start();
    action();
    // A prompt the action queued opens here, under the poll.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    look();
    return shown;
}

// Presses "Отмена" on the next save prompt as soon as it shows; notes
// whether the button was there and could be pressed.
inline void stopNextSave(Driver& prompts, bool* pressed)
{
    prompts.whenShown(
        [pressed](QDialog* dialog) {
            QPushButton* cancel = buttonWithText(dialog, QStringLiteral("Отмена"));
            *pressed = cancel && cancel->isVisibleTo(dialog) && cancel->isEnabled() &&
                       dialog->findChild<QProgressBar*>();
            if (*pressed)
                cancel->click();
        },
        isProgressPrompt);
}

// Types the file's path into the toolkit's own file dialog and presses Return.
inline void chooseFile(Driver& prompts, const QString& path)
{
    prompts.whenShown([path](QDialog* dialog) {
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!name) {
            dialog->reject();
            return;
        }
        name->setText(path);
        QTest::keyClick(name, Qt::Key_Return);
    }, isQuestion);
}

} // namespace prompt
