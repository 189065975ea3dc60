#include "net/qt_event_thread.h"

#include <QMetaObject>

QtEventThread::QtEventThread() : context_(std::make_unique<QObject>())
{
}

QtEventThread::~QtEventThread() = default;

void QtEventThread::post(std::function<void()> call)
{
    QMetaObject::invokeMethod(context_.get(), std::move(call), Qt::QueuedConnection);
}

std::unique_ptr<EventThread> makeQtEventThread()
{
    return std::make_unique<QtEventThread>();
}
