#pragma once

namespace larkspan {

// Lets the window message loop run once, so that clicks, timers and repaints are
// handled while a long operation on the user-interface thread goes on. Handlers
// therefore run re-entrantly inside the caller.
void YieldToEventLoop();

// How many yields have run so far. A caller that raises an event whose handlers end
// with their own yield compares this before and after, and does not yield a second
// time in a row for nothing.
unsigned long long YieldsSoFar();

} // namespace larkspan
