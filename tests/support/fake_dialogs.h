// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/dialogs.h"

#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

// Scripted stand-in for every modal box: records each call and answers from a queue
// (OK when the queue is empty; cancel for the save dialog). Installs itself for its lifetime.
class FakeDialogs : public Dialogs
{
public:
    struct Box {
        QString text;
        QString caption;
        int flags;
    };

    FakeDialogs();
    ~FakeDialogs() override;

    int messageBox(const QString& text, const QString& caption, int flags) override;
    std::optional<QString> saveFileName(const SaveDialogRequest& request) override;

    std::vector<Box> boxes;                      // every message box, in order
    std::deque<int> answers;                     // next answers to message boxes
    std::vector<SaveDialogRequest> saveRequests; // every save dialog, in order
    std::deque<std::optional<QString>> saveAnswers;
    std::function<void(const Box&)> onBox; // runs while "the box is up"
    // Each box runs a nested event loop, as a real one does, and closes only when the
    // operator's key press (posted by the box itself) reaches it; a box whose key never
    // arrives gives up after a while and counts as unanswered.
    bool nestedLoop = false;
    int unanswered = 0;

private:
    Dialogs* previous_ = nullptr;
};
