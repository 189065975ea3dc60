// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/guard.h"

#include "common/dialogs.h"
#include "common/exceptions.h"

#include <QString>
#include <cstdio>
#include <exception>

namespace
{

void show(const QString& message) noexcept
{
    try {
        showErrorBox(message);
    } catch (...) {
        // The box itself failed (out of memory, say); nothing better can be done than to say so.
        std::fputs("error box failed\n", stderr);
    }
}

} // namespace

void runGuarded(void (*body)(void*), void* context) noexcept
{
    try {
        body(context);
    } catch (const Exception& e) {
        show(e.message());
    } catch (const std::exception& e) {
        show(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        show(QStringLiteral("Unknown exception"));
    }
}
