#include "platform/fileworker.h"

#include <QCoreApplication>
#include <QEvent>

FileWorker::FileWorker()
{
    m_pool.setMaxThreadCount(1);
    // The thread stays for the next step: starting one takes longer than most steps.
    m_pool.setExpiryTimeout(-1);
}

FileWorker::~FileWorker()
{
    m_pool.waitForDone();
    // QCoro resumes a task awaiting a step through the future's watcher, in an event posted to
    // this thread: delivered here, each task runs to its end and frees its frame.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::FutureCallOut);
}
