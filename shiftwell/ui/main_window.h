// Shiftwell's main window: the robot-number and token fields, the start and
// stop controls, the four counter labels and the run log, and the start and
// close handling around one run of the engine. The window lives on the
// window thread and all its members are called there, except the RunView
// calls, which the engine makes from any of its threads: they are queued to
// the window thread in the order they are made.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "port/thread.h"
#include "shiftwell/run/program_state.h"
#include "shiftwell/run/run_view.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace shiftwell {

// The window's frame is placed at kWindowPosition. The controls' places are
// given in client coordinates, and the log box fills the client area to its
// right and bottom edges: the client area is the outer size 578 x 413 less a
// frame of 3 pixels at the sides and the bottom and 27 at the top, 572 x 383.
// The client size is kept fixed; where the platform draws a different frame
// (or none, as offscreen) the outer size follows the client size.
inline constexpr int kWindowX = 50;
inline constexpr int kWindowY = 50;
inline constexpr int kOuterWidth = 578;
inline constexpr int kOuterHeight = 413;
inline constexpr int kClientWidth = 572;
inline constexpr int kClientHeight = 383;

class MainWindow : public QWidget, public RunView {
  Q_OBJECT

 public:
  // Registers itself as state's view; state must outlive the window.
  explicit MainWindow(ProgramState& state, QWidget* parent = nullptr);
  // Ends a run still under way (stop, then wait) and unregisters as view.
  ~MainWindow() override;

  // Where runs write their database file; the program's folder unless set.
  void set_database_folder(std::string folder);
  // Asked when the window is closed during a run: true stops the run and
  // closes the window once it has ended, false keeps both. The default asks
  // the operator in a question box.
  void set_close_confirmation(std::function<bool()> confirm);

  // A run has been started and its thread not yet joined.
  bool run_in_progress() const;
  // Stops a run still under way and waits for its thread, without processing
  // events. For the end of the program, after the event loop.
  void end_run();

  // RunView, from any thread.
  void append_log_text(const std::string& line) override;
  void set_counter_caption(CounterKind kind, const std::string& caption) override;
  void run_finished(const RunOutcome& outcome) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void build_controls();
  void handle_start_click();
  void handle_stop_click();
  void begin_stop();
  void show_log_line(const QString& line);
  void show_run_end();
  QLabel* counter_label(CounterKind kind) const;
  bool ask_operator_to_close();

  ProgramState& state_;
  std::string folder_;
  std::function<bool()> confirm_close_;

  std::unique_ptr<port::Thread> run_thread_;
  bool starting_ = false;         // inside start_run (it may process events while it waits)
  bool close_requested_ = false;  // the operator chose to stop and close; closes at the run's end

  QLabel* sub_id_caption_ = nullptr;
  QLineEdit* sub_id_edit_ = nullptr;
  QLabel* token_caption_ = nullptr;
  QPlainTextEdit* token_edit_ = nullptr;
  QPushButton* start_button_ = nullptr;
  QPushButton* stop_button_ = nullptr;
  QLabel* member_label_ = nullptr;
  QLabel* relation_label_ = nullptr;
  QLabel* order_label_ = nullptr;
  QLabel* withdrawal_label_ = nullptr;
  QPlainTextEdit* log_box_ = nullptr;
};

// Program entry steps 3 to 5 for the window, after WindowServices and the
// program-wide state exist: shows the main window, runs the event loop, and
// once it has ended makes sure no run is left before the caller releases the
// state. Returns the event loop's result (0).
int run_window(ProgramState& state);

}  // namespace shiftwell
