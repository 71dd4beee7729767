#pragma once

#include <QString>

// The reason for a system error code as the user is told it. The reasons a
// refused file meets (no permission, no room, no such folder …) are the
// program's own texts, which the interface shows in its language; any other
// is the system's text.
QString systemErrorText(int code);
