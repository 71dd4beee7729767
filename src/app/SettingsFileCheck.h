#pragma once

#include <QStringList>

// QSettings reads its files whole on first use and waits for ever on a FIFO,
// before the program could refuse them. The user's settings files of this
// application (its own and its organisation's) that are not regular files or
// are larger than any settings the program writes are moved aside to
// "<name>.corrupt-<time>" before that first use; the start then goes on with
// defaults. Their lock files, which QSettings would wait on for ever when
// they are not regular files, are moved aside the same way. Returns one line
// per file moved or left, for standard error.
QStringList setAsideUnreadableSettings();
