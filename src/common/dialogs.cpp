// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/dialogs.h"

#include "common/sysutils.h"

#include <cstdio>
#include <cstdlib>

namespace
{
Dialogs* installed = nullptr;
}

Dialogs& dialogs()
{
    if (!installed) {
        std::fputs("no dialog implementation installed\n", stderr);
        std::abort();
    }
    return *installed;
}

void installDialogs(Dialogs* implementation)
{
    installed = implementation;
}

void infoBox(const QString& text)
{
    dialogs().messageBox(text, infoCaption(), MB::Information);
}

bool confirmBox(const QString& text)
{
    return dialogs().messageBox(text, infoCaption(), MB::Confirmation) == MB::IDOK;
}

void showErrorBox(const QString& message)
{
    dialogs().messageBox(errorBoxText(message), appTitle(), MB::Error);
}
