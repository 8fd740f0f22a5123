// The process-wide services the window needs, set up first at program entry
// and kept until after the program-wide state is gone: the Qt application
// object, and the message-pump hook through which long waits on the window
// thread keep the window responsive. Created and destroyed on the window
// thread, once per process.
#pragma once

#include <QApplication>

namespace shiftwell {

class WindowServices {
 public:
  // argc must outlive the object (Qt keeps a reference to it).
  WindowServices(int& argc, char** argv);
  ~WindowServices();  // removes the pump hook before the application object goes
  WindowServices(const WindowServices&) = delete;
  WindowServices& operator=(const WindowServices&) = delete;

 private:
  QApplication app_;
};

// The hook itself: dispatches the window thread's pending events when called
// on the window thread; does nothing on any other thread.
void pump_window_events();

}  // namespace shiftwell
