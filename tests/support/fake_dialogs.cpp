// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/fake_dialogs.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>

namespace
{

// How long a box waits for its key before it counts as frozen.
constexpr int AnswerTimeoutMs = 2000;

// The box on screen: ends its loop when a key press is delivered to it.
class FakeBox : public QObject
{
public:
    explicit FakeBox(QEventLoop& loop) : loop_(loop) {}
    bool answered = false;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != QEvent::KeyPress)
            return QObject::event(e);
        answered = true;
        loop_.quit();
        return true;
    }

private:
    QEventLoop& loop_;
};

// Returns false when the operator's key did not reach the box.
bool runBoxLoop()
{
    QEventLoop loop;
    FakeBox box(loop);
    QCoreApplication::postEvent(&box,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
    QTimer::singleShot(AnswerTimeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return box.answered;
}

} // namespace

FakeDialogs::FakeDialogs()
{
    installDialogs(this);
}

FakeDialogs::~FakeDialogs()
{
    installDialogs(nullptr);
}

int FakeDialogs::messageBox(const QString& text, const QString& caption, int flags)
{
    boxes.push_back({text, caption, flags});
    if (onBox)
        onBox(boxes.back());
    if (nestedLoop && QCoreApplication::instance() != nullptr && !runBoxLoop())
        ++unanswered;
    if (answers.empty())
        return MB::IDOK;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<QString> FakeDialogs::saveFileName(const SaveDialogRequest& request)
{
    saveRequests.push_back(request);
    if (saveAnswers.empty())
        return std::nullopt;
    const bool chosen = saveAnswers.front().has_value();
    const QString path = chosen ? *saveAnswers.front() : QString();
    saveAnswers.pop_front();
    if (!chosen)
        return std::nullopt;
    return path;
}
