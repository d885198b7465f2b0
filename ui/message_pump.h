#pragma once

namespace ui {

// Handles every message already queued for this thread, then returns; never waits. Keeps the
// window painted while a batch runs on the UI thread. Messages taken here skip the dialog's
// keyboard filtering, and a quit message is swallowed like any other.
void pumpMessages();

}  // namespace ui
