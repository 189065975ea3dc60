#include "support/fake_dialogs.h"

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
