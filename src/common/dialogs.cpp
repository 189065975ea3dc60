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

void InfoBox(const QString& text)
{
    dialogs().MessageBox(text, InfoCaption(), MB::Information);
}

bool ConfirmBox(const QString& text)
{
    return dialogs().MessageBox(text, InfoCaption(), MB::Confirmation) == MB::IDOK;
}

void ShowErrorBox(const QString& message)
{
    dialogs().MessageBox(ErrorBoxText(message), AppTitle(), MB::Error);
}
