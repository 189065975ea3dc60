// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <utility>

// Runs an event handler so that no failure ever leaves it: whatever it raises is shown in
// the framework's error box and the program goes on. Use it around the body of every slot.
void runGuarded(void (*body)(void*), void* context) noexcept;

template <class F> void runGuarded(F&& body) noexcept
{
    runGuarded([](void* f) { (*static_cast<std::remove_reference_t<F>*>(f))(); },
               static_cast<void*>(&body));
}
