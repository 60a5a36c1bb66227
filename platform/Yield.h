#pragma once

namespace larkspan {

// Lets the window message loop run once, so that clicks, timers and repaints are
// handled while a long operation on the user-interface thread goes on. Handlers
// therefore run re-entrantly inside the caller.
void YieldToEventLoop();

} // namespace larkspan
