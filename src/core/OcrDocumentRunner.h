#pragma once
// Recognition of many pages of one document in parallel: one recogniser per
// worker thread, each limited to one OpenMP thread, pages handed out one at
// a time. Rendering goes through the document's public calls (they take the
// engine lock); recognition runs without the lock.

#include "TextBlock.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class PdfDocument;

class OcrDocumentRunner : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString languages = QStringLiteral("rus+eng");
        // Image pixels per point; 0 chooses per page as the window's page run
        // does (see pageScale).
        double renderScale = 0.0;
        int threads = 0; // 0: the ideal thread count
    };

    // The document must outlive the runner; its pages are only read.
    OcrDocumentRunner(PdfDocument *document, QList<int> pages, Options options, QObject *parent = nullptr);
    ~OcrDocumentRunner() override; // cancels and waits for its threads

    // Image pixels per point for a whole page: the configured scale when
    // set (> 0), else fewer pixels for wide pages.
    static double pageScale(double pageWidth, double configuredScale);

    // Starts the workers; a second call while running does nothing.
    void start();
    // Pages in hand finish and are reported; no new page starts.
    void cancel();
    bool isRunning() const;
    // Workers a run uses: threads, or the ideal thread count, at most one
    // per page and at least one.
    int workerCount() const;

signals:
    // Delivered on the runner's own thread. A page gives either
    // pageRecognized (blocks in reading order, in page points, possibly
    // empty when no text was found) or pageFailed with the engine's reason.
    void pageRecognized(int pageIndex, std::vector<TextBlock> blocks);
    void pageFailed(int pageIndex, QString reason);
    void progress(int pagesDone, int pagesTotal);
    void finished(bool cancelled);

private:
    struct Run;
    void workerLoop(std::shared_ptr<Run> run);
    void joinWorkers();

    PdfDocument *document;
    QList<int> pages;
    Options options;
    std::shared_ptr<Run> run;
};
