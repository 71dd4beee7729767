#pragma once
// Answers the next modal prompt from inside its own event loop.

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace prompt {

constexpr int kPollMs = 10;

// Runs answer on the first modal dialog that appears.
inline void whenShown(std::function<void(QDialog*)> answer)
{
    auto* poll = new QTimer;
    poll->setInterval(kPollMs);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        answer(dialog);
    });
    poll->start();
}

inline QPushButton* buttonWithText(QDialog* dialog, const QString& text)
{
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

inline void clickButton(const QString& text)
{
    whenShown([text](QDialog* dialog) {
        QPushButton* button = buttonWithText(dialog, text);
        if (!button) {
            dialog->reject();
            QFAIL(qPrintable(QStringLiteral("no button ") + text));
        }
        button->click();
    });
}

// Runs action and tells whether a modal prompt came up meanwhile (and
// rejects it, so a wrong prompt cannot block the test).
inline bool promptShownDuring(const std::function<void()>& action)
{
    constexpr int kGraceMs = 100;
    bool shown = false;
    QTimer::singleShot(kGraceMs, [&shown] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            shown = true;
            dialog->reject();
        }
    });
    action();
    QTest::qWait(kGraceMs + kGraceMs / 2);
    return shown;
}

inline void pressEscape()
{
    whenShown([](QDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
}

inline void closeWindow()
{
    whenShown([](QDialog* dialog) { dialog->close(); });
}

} // namespace prompt
