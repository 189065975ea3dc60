#include "net/qt_event_thread.h"

#include <QMetaObject>

TQtEventThread::TQtEventThread() : context_(std::make_unique<QObject>())
{
}

TQtEventThread::~TQtEventThread() = default;

void TQtEventThread::Post(std::function<void()> call)
{
    QMetaObject::invokeMethod(context_.get(), std::move(call), Qt::QueuedConnection);
}

std::unique_ptr<TEventThread> MakeQtEventThread()
{
    return std::make_unique<TQtEventThread>();
}
