// A hook through which a window layer lets long waits keep its window
// responsive. Without one, pump_messages does nothing. The hook is set once
// by the window thread before other threads wait; it is called on whichever
// thread waits and must only handle that thread's own messages.
#pragma once

namespace port {

using MessagePump = void (*)();

void set_message_pump(MessagePump pump);
// Dispatches the calling thread's pending window messages, if a hook is set.
void pump_messages();

}  // namespace port
