#include "shiftwell/ui/window_services.h"

#include <QCoreApplication>
#include <atomic>
#include <cstdint>

#include "port/message_pump.h"
#include "port/thread.h"

namespace shiftwell {

namespace {
// 0: no window thread (the services are not set up).
std::atomic<std::uint32_t> g_window_thread{0};
}  // namespace

void pump_window_events() {
  // Workers wait for the database lock too; Qt's events belong to the window thread alone.
  if (port::current_thread_id() == g_window_thread.load(std::memory_order_acquire))
    QCoreApplication::processEvents();
}

WindowServices::WindowServices(int& argc, char** argv) : app_(argc, argv) {
  g_window_thread.store(port::current_thread_id(), std::memory_order_release);
  port::set_message_pump(pump_window_events);
}

WindowServices::~WindowServices() {
  port::set_message_pump(nullptr);
  g_window_thread.store(0, std::memory_order_release);
}

}  // namespace shiftwell
