#pragma once

class QUrl;
class QWidget;

// Link targets come from documents and the network and are not trusted.
// Only web pages and mail addresses open without asking.
bool opensWithoutAsking(const QUrl& url);

// Opens url with the desktop's handler; any other kind of target is opened
// only after the user agreed. Returns whether it was handed to the desktop.
bool openExternalLink(QWidget* parent, const QUrl& url);
