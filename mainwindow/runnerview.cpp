#include "mainwindow/runnerview.h"

#include "core/batch/uploadthread.h"
#include "forms/messages.h"
#include "forms/upload.h"

RunnerView::RunnerView(uploadThread* runner, QObject* parent) : QObject(parent), runner(runner)
{
    runner->setWaitForAcknowledgement(true);
    connect(runner, &uploadThread::uploadRequested, this, &RunnerView::openWindow);
    connect(runner, &uploadThread::jobEnded, this, &RunnerView::closeWindows);
    connect(runner, &uploadThread::jobEnded, this, [this] { quiet = false; });
    connect(runner, &uploadThread::loginFinished, this, &RunnerView::tell);
    connect(runner, &uploadThread::categoriesFetched, this, &RunnerView::tell);
    connect(runner, &uploadThread::pictureFinished, this,
            [this](int, const Outcome& outcome) { tell(outcome); });
}

RunnerView::~RunnerView()
{
    for (const auto& [run, window] : windows)
        delete window.data();
}

Upload* RunnerView::progressWindow() const
{
    for (auto it = windows.crbegin(); it != windows.crend(); ++it) {
        if (it->second)
            return it->second;
    }
    return nullptr;
}

void RunnerView::openWindow(int run)
{
    auto* window = new Upload();
    connect(window, &Upload::sigcancel, runner, &uploadThread::cancel);
    connect(runner, &uploadThread::updateFilename, window, &Upload::updateFilename);
    connect(runner, &uploadThread::updateProgress, window, &Upload::updateProgress);
    connect(runner, &uploadThread::updateBatch, window, &Upload::updateBatch);
    windows.append({run, window});
    window->show();
}

void RunnerView::closeWindows(int run)
{
    for (qsizetype i = 0; i < windows.size();) {
        if (windows.at(i).first != run) {
            ++i;
            continue;
        }
        if (Upload* window = windows.takeAt(i).second)
            window->deleteLater();
    }
}

void RunnerView::tell(const Outcome& outcome)
{
    if (!outcome.needsMessage)
        return;
    if (quiet)
        emit failedQuietly(outcome);
    else
        messages::information(outcome.title, outcome.message());
    runner->acknowledge();
}
