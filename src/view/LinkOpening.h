#pragma once

class QString;
class QUrl;
class QWidget;

// Link targets come from documents and the network and are not trusted. One
// rule for every link the program opens: web pages and mail addresses open
// at once, any other target only after the user agreed to the shown URL, and
// a program or desktop entry never.
bool opensWithoutAsking(const QUrl& url);
// A local file the desktop would run rather than show.
bool launchesProgram(const QString& path);
// Applies the rule; true when the link was handed to the desktop.
bool openUntrustedLink(QWidget* parent, const QUrl& url);
