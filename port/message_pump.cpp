#include "port/message_pump.h"

#include <atomic>

namespace port {
namespace {
std::atomic<MessagePump> g_pump{nullptr};
}

void set_message_pump(MessagePump pump) { g_pump.store(pump, std::memory_order_release); }

void pump_messages() {
  if (MessagePump pump = g_pump.load(std::memory_order_acquire)) pump();
}

}  // namespace port
