#include "shiftwell/ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <utility>

#include "port/program_path.h"
#include "shiftwell/run/run_log.h"
#include "shiftwell/run/run_migration.h"

namespace shiftwell {

namespace {

const char* const kTitle = "Orvane-Velora网页转V2";

// What the log box says before the first run: what is migrated.
const char* const kLogPreset[] = {
    "会员信息：微信id  微信名称 余额 总提现金额  上下级关系",
    "提现记录：只转移提现成功并且已经领取的记录",
    "订单管理：只转移 已经结算的并且已返利的订单  其他不转移 因为不是通过我们平台下单的无法跟单",
};

QLabel* add_label(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromUtf8(name));
  label->setTextFormat(Qt::PlainText);  // captions come from the engine: never markup
  label->setGeometry(x, y, w, h);
  return label;
}

QPushButton* add_button(QWidget* parent, const char* name, const char* text, int x, int y, int w, int h) {
  auto* button = new QPushButton(QString::fromUtf8(text), parent);
  button->setObjectName(QString::fromUtf8(name));
  button->setAutoDefault(false);
  button->setGeometry(x, y, w, h);
  return button;
}

}  // namespace

MainWindow::MainWindow(ProgramState& state, QWidget* parent)
    : QWidget(parent), state_(state), folder_(port::program_directory()) {
  confirm_close_ = [this] { return ask_operator_to_close(); };
  setWindowTitle(QString::fromUtf8(kTitle));
  // Captions and fields were laid out for a 12-pixel CJK font; fix it so they fit on any desktop.
  QFont font;
  font.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans SC"),
                    QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Microsoft YaHei")});
  font.setPixelSize(12);
  setFont(font);
  build_controls();
  setFixedSize(kClientWidth, kClientHeight);
  move(kWindowX, kWindowY);
  state_.view = this;
}

MainWindow::~MainWindow() {
  end_run();
  if (state_.view == this) state_.view = nullptr;
}

void MainWindow::build_controls() {
  sub_id_caption_ =
      add_label(this, "标签1", QString::fromUtf8("网页sub_id(可理解为机器人编号)"), 8, 8, 184, 16);

  sub_id_edit_ = new QLineEdit(this);
  sub_id_edit_->setObjectName(QString::fromUtf8("编辑框_sub编号"));
  sub_id_edit_->setGeometry(192, 8, 64, 16);
  sub_id_edit_->setTextMargins(0, 0, 0, 0);

  token_caption_ = add_label(this, "标签2", QString::fromUtf8("网页token"), 8, 33, 56, 16);

  token_edit_ = new QPlainTextEdit(this);
  token_edit_->setObjectName(QString::fromUtf8("编辑框_token"));
  token_edit_->setGeometry(68, 33, 500, 47);
  token_edit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  token_edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  token_edit_->setTabChangesFocus(true);

  start_button_ = add_button(this, "按钮_启动", "开始转移", 8, 96, 80, 32);
  // Free space under the relation counter, level with the withdrawal counter, above the log box.
  stop_button_ = add_button(this, "按钮_停止", "停止转移", 240, 116, 80, 24);
  stop_button_->setEnabled(false);

  member_label_ = add_label(this, "标签_会员数量", counter_caption(CounterKind::member), 104, 89, 120, 16);
  relation_label_ =
      add_label(this, "标签_上下级数量", counter_caption(CounterKind::relation), 240, 89, 120, 16);
  order_label_ = add_label(this, "标签_订单数量", counter_caption(CounterKind::order), 392, 89, 120, 16);
  withdrawal_label_ =
      add_label(this, "标签_提现数量", counter_caption(CounterKind::withdrawal), 104, 120, 120, 16);

  log_box_ = new QPlainTextEdit(this);
  log_box_->setObjectName(QString::fromUtf8("编辑框_日志"));
  log_box_->setGeometry(0, 144, 572, 239);
  log_box_->setReadOnly(true);
  log_box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_box_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QPalette colours = log_box_->palette();
  colours.setColor(QPalette::Base, QColor(0, 0, 0));
  colours.setColor(QPalette::Text, QColor(255, 0, 0));
  log_box_->setPalette(colours);
  // The colours are the text area's; the scroll bar keeps the window's, or it would vanish in black.
  log_box_->verticalScrollBar()->setPalette(palette());
  QStringList preset;
  for (const char* line : kLogPreset) preset << QString::fromUtf8(line);
  // The box keeps its lines as paragraphs; the preset's CR LF joints are its line breaks.
  log_box_->setPlainText(preset.join(QLatin1Char('\n')));

  connect(start_button_, &QPushButton::clicked, this, [this] { handle_start_click(); });
  connect(stop_button_, &QPushButton::clicked, this, [this] { handle_stop_click(); });
}

void MainWindow::set_database_folder(std::string folder) { folder_ = std::move(folder); }

void MainWindow::set_close_confirmation(std::function<bool()> confirm) {
  confirm_close_ = std::move(confirm);
}

bool MainWindow::run_in_progress() const { return starting_ || run_thread_ != nullptr; }

void MainWindow::handle_start_click() {
  // First of all: a second click must find the button disabled.
  start_button_->setEnabled(false);
  if (run_in_progress()) return;
  starting_ = true;
  // The values are taken now; later edits do not reach this run.
  run_thread_ = start_run(state_, sub_id_edit_->text().toStdString(),
                          token_edit_->toPlainText().toStdString(), folder_);
  starting_ = false;
  // A refused start has already queued its run_finished, which enables the button again.
  if (run_thread_ && !state_.stop_requested.load()) stop_button_->setEnabled(true);
}

void MainWindow::handle_stop_click() {
  if (run_in_progress()) begin_stop();
}

void MainWindow::begin_stop() {
  stop_button_->setEnabled(false);
  if (state_.stop_requested.load()) return;
  request_stop(state_);
  append_log(state_, "正在停止转移：等待进行中的请求结束");
}

bool MainWindow::ask_operator_to_close() {
  return QMessageBox::question(this, windowTitle(),
                               QString::fromUtf8("转移正在进行。要停止转移并退出吗？\n"
                                                 "已获取的数据会保存在数据库文件中。"),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!run_in_progress()) {
    event->accept();
    return;
  }
  // The state must outlive every worker: the window closes only once the run has ended.
  event->ignore();
  if (close_requested_) return;  // already stopping
  if (!confirm_close_ || !confirm_close_()) return;
  if (!run_in_progress()) {  // the run ended while the question was open
    event->accept();
    return;
  }
  close_requested_ = true;
  begin_stop();
}

void MainWindow::end_run() {
  if (!run_thread_) return;
  request_stop(state_);
  run_thread_->wait(-1);
  run_thread_.reset();
}

QLabel* MainWindow::counter_label(CounterKind kind) const {
  switch (kind) {
    case CounterKind::member:
      return member_label_;
    case CounterKind::relation:
      return relation_label_;
    case CounterKind::order:
      return order_label_;
    case CounterKind::withdrawal:
      return withdrawal_label_;
  }
  return member_label_;
}

// The engine calls the three below under its locks, one call after another;
// queued calls to one receiver are delivered in the order they were posted,
// so lines stay whole and in order and captions only grow.
void MainWindow::append_log_text(const std::string& line) {
  QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
  if (text.endsWith(QLatin1String("\r\n"))) text.chop(2);
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  QMetaObject::invokeMethod(
      this, [this, text] { show_log_line(text); }, Qt::QueuedConnection);
}

void MainWindow::set_counter_caption(CounterKind kind, const std::string& caption) {
  QString text = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
  QMetaObject::invokeMethod(
      this, [this, kind, text] { counter_label(kind)->setText(text); }, Qt::QueuedConnection);
}

void MainWindow::run_finished(const RunOutcome&) {
  QMetaObject::invokeMethod(
      this, [this] { show_run_end(); }, Qt::QueuedConnection);
}

void MainWindow::show_log_line(const QString& line) {
  log_box_->appendPlainText(line);
  QScrollBar* bar = log_box_->verticalScrollBar();
  bar->setValue(bar->maximum());
}

void MainWindow::show_run_end() {
  // The run's thread called run_finished as its last act; it ends at once.
  if (run_thread_) {
    run_thread_->wait(-1);
    run_thread_.reset();
  }
  stop_button_->setEnabled(false);
  start_button_->setEnabled(true);
  if (close_requested_) {
    close_requested_ = false;
    close();
  }
}

int run_window(ProgramState& state) {
  MainWindow window(state);
  window.show();
  const int result = QApplication::exec();
  // Whatever ended the event loop, no worker may outlive the state.
  window.end_run();
  return result;
}

}  // namespace shiftwell
