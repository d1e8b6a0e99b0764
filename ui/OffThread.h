#pragma once

#include <functional>

namespace rekkon::ui {

// Runs `work` on a worker thread while this (the user-interface) thread keeps handling events,
// so open windows go on painting; returns once `work` has finished. The caller disables the
// windows that must take no input meanwhile (disabled, they drop it rather than act on it
// afterwards). `work` must not touch widgets.
void runOffUiThread(const std::function<void()>& work);

}  // namespace rekkon::ui
