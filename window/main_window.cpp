// main_window.cpp -- layout, the run button, the boxes of the run, closing.
#include "window/main_window.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include <string_view>
#include <system_error>

#include "app/run_driver.h"
#include "model/constants.h"
#include "model/model_state.h"
#include "window/results_view.h"

namespace fs = std::filesystem;

namespace ostra::window {
namespace {

// Counters are painted at most this often while a run is on (25 a second).
constexpr int PAINT_INTERVAL_MS = 40;

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string EndOfRun(int status, bool stopped) {
    switch (status) {
        case EXIT_DONE:
            return "The run has finished.";
        case EXIT_DOUBTFUL:
            return "The run has finished; its results need a second look (see the warnings).";
        case EXIT_FATAL_DATA:
            return stopped ? "The run was stopped; \"Error.dng\" says so."
                           : "The run ended with a fatal error; the message is in \"Error.dng\".";
        case EXIT_SETUP_STOPPED:
            return "The set-up stopped at a scheme or mode that cannot work.";
        case EXIT_NEWTON_GAVE_UP:
            return "Newton iteration gave up after all randomizing cycles.";
        case EXIT_USER_STOPPED:
            return "The positivity/wiggle criterion was not accepted; the run ended.";
        default:
            return "The run ended with status " + std::to_string(status) + ".";
    }
}

// The line above the charts of a run that did not finish ("" for one that did):
// the first line of its "Error.dng", or what ended it when it wrote none.
std::string EarlyEnd(int status, const std::string& errorLine, bool wroteResults) {
    if (status == EXIT_DONE || status == EXIT_DOUBTFUL) return "";
    std::string why;
    constexpr std::string_view PREFIX = "Error:  ";
    if (errorLine.rfind(PREFIX, 0) == 0)
        why = errorLine.substr(PREFIX.size()) + " (see \"Error.dng\")";
    else if (!errorLine.empty())
        why = errorLine + " (see \"Error.dng\")";
    else if (status == EXIT_SETUP_STOPPED)
        why = "the set-up stopped at a scheme or mode that cannot work";
    else if (status == EXIT_NEWTON_GAVE_UP)
        why = "Newton iteration gave up after all randomizing cycles";
    else if (status == EXIT_USER_STOPPED)
        why = "the positivity/wiggle criterion was not accepted";
    else
        why = "status " + std::to_string(status);
    std::string line = "The run ended early: " + why + ".";
    if (wroteResults) line += " Its result files hold what it wrote until then.";
    return line;
}

fs::path Absolute(const fs::path& dir) {
    if (dir.empty()) return dir;
    std::error_code ec;
    fs::path absolute = fs::absolute(dir, ec);
    return ec ? dir : absolute.lexically_normal();
}

}  // namespace

MainWindow::MainWindow(const fs::path& modelDir, QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(WINDOW_CAPTION);
    BuildWidgets();

    WindowDisplay::Handlers handlers;
    handlers.paint = [this](const CounterState& state) { Paint(state); };
    handlers.messageBox = [this](const std::string& message, const std::string& detail) {
        ShowMessageBox(message, detail);
    };
    handlers.inputBox = [this](const std::string& prompt) { return ShowInputBox(prompt); };
    handlers.note = [this](const std::string& line) { Note(line); };
    display_ = std::make_unique<WindowDisplay>(this, std::move(handlers));

    paintTimer_.setInterval(PAINT_INTERVAL_MS);
    connect(&paintTimer_, &QTimer::timeout, this, [this] { display_->PaintPending(); });

    SetModelDirectory(modelDir);
    {
        ModelState state(dir_, *display_);
        FormLoad(state);
    }
}

MainWindow::~MainWindow() {
    // A run still going ends at its next check; no box of it is shown any more.
    display_->Shutdown();
    worker_.Join();
}

void MainWindow::BuildWidgets() {
    auto* central = new QWidget(this);
    setCentralWidget(central);

    // Left: the model directory, the run button and the counters.
    auto* left = new QWidget(central);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);

    auto* dirBox = new QGroupBox("Model directory", left);
    auto* dirLayout = new QVBoxLayout(dirBox);
    dirEdit_ = new QLineEdit(dirBox);
    dirEdit_->setObjectName("modelDirectory");
    dirEdit_->setPlaceholderText("Type a directory or choose one");
    chooseButton_ = new QPushButton("Choose…", dirBox);
    chooseButton_->setObjectName("choose");
    runButton_ = new QPushButton("Run Ostra", dirBox);
    runButton_->setObjectName("RunOstra");
    runButton_->setDefault(true);
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(chooseButton_);
    buttons->addWidget(runButton_);
    dirLayout->addWidget(dirEdit_);
    dirLayout->addLayout(buttons);
    leftLayout->addWidget(dirBox);

    auto* countersBox = new QGroupBox("Run", left);
    countersBox_ = countersBox;
    auto* countersLayout = new QVBoxLayout(countersBox);
    for (int k = 1; k <= 5; ++k) {
        auto* counter = new QLineEdit(countersBox);
        counter->setObjectName(QString("Text%1").arg(k));
        counter->setReadOnly(true);
        counter->setFocusPolicy(Qt::NoFocus);
        countersLayout->addWidget(counter);
        counters_[k] = counter;
    }
    leftLayout->addWidget(countersBox);
    leftLayout->addStretch(1);

    const QFontMetrics metrics(font());
    const int widest = std::max(metrics.horizontalAdvance("Randomizing Iteration Counter"),
                                metrics.horizontalAdvance("f value = -1.234567E-10"));
    left->setFixedWidth(widest + 60);

    // Right: the results, under the line saying a run ended early, above the message pane.
    auto* top = new QWidget(central);
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    earlyEnd_ = new QLabel(top);
    earlyEnd_->setObjectName("runEndedEarly");
    earlyEnd_->setWordWrap(true);
    earlyEnd_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    earlyEnd_->setStyleSheet("QLabel { background: #fde8e6; color: #8a1c12; border: 1px solid #e0a39b;"
                             " padding: 4px; font-weight: bold; }");
    earlyEnd_->hide();
    results_ = new ResultsView(top);
    topLayout->addWidget(earlyEnd_);
    topLayout->addWidget(results_, 1);
    messages_ = new QPlainTextEdit(central);
    messages_->setObjectName("messages");
    messages_->setReadOnly(true);
    messages_->setPlaceholderText("Messages of the run");
    // The run's summary lines up its figures in columns, as in a terminal.
    messages_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* right = new QSplitter(Qt::Vertical, central);
    right->addWidget(top);
    right->addWidget(messages_);
    right->setStretchFactor(0, 1);
    right->setStretchFactor(1, 0);
    right->setSizes({580, 150});
    right->setChildrenCollapsible(false);

    auto* layout = new QHBoxLayout(central);
    layout->addWidget(left);
    layout->addWidget(right, 1);
    resize(1180, 760);
    runButton_->setFocus();

    connect(dirEdit_, &QLineEdit::editingFinished, this, [this] { TakeTypedDirectory(); });
    connect(chooseButton_, &QPushButton::clicked, this, [this] { ChooseDirectory(); });
    connect(runButton_, &QPushButton::clicked, this, [this] { RunClicked(); });
}

void MainWindow::Paint(const CounterState& state) {
    bool anyVisible = false;
    for (int k = 1; k <= 5; ++k) {
        const QString text = Q(state.text[k]);
        if (counters_[k]->text() != text) {
            counters_[k]->setText(text);
            counters_[k]->setCursorPosition(0);
        }
        counters_[k]->setVisible(state.visible[k]);
        anyVisible = anyVisible || state.visible[k];
    }
    countersBox_->setVisible(anyVisible);
    runButton_->setVisible(state.buttonVisible);
}

void MainWindow::ShowMessageBox(const std::string& message, const std::string& detail) {
    Note(message);
    QMessageBox box(detail.empty() ? QMessageBox::Information : QMessageBox::Critical, WINDOW_CAPTION,
                    Q(message), QMessageBox::Ok, this);
    if (!detail.empty()) {
        box.setInformativeText(Q(detail));
        // A fatal message is a long line: the box is widened instead of wrapping it into a column.
        if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
            grid->addItem(new QSpacerItem(520, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(),
                          0, 1, grid->columnCount());
    }
    box.exec();
}

std::string MainWindow::ShowInputBox(const std::string& prompt) {
    Note(prompt);
    QInputDialog dialog(this);
    dialog.setWindowTitle(WINDOW_CAPTION);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setLabelText(Q(prompt));
    const std::string answer = dialog.exec() == QDialog::Accepted ? dialog.textValue().toStdString() : "";
    Note("Answer: \"" + answer + "\"");
    return answer;
}

void MainWindow::Note(const std::string& line) { messages_->appendPlainText(Q(line)); }

void MainWindow::SetModelDirectory(const fs::path& dir) {
    if (runStarted_) return;
    dir_ = Absolute(dir);
    shownDir_ = dir_.string();
    dirEdit_->setText(Q(dir_.string()));
    dirEdit_->setToolTip(Q(dir_.string()));
    dirEdit_->setCursorPosition(static_cast<int>(dirEdit_->text().size()));
    const std::string problem = ModelDirectoryProblem(dir_);
    if (problem.empty())
        Note("Model directory: " + dir_.string());
    else
        Note(problem + ". Choose a model directory before running.");
}

void MainWindow::TakeTypedDirectory() {
    const std::string typed = dirEdit_->text().trimmed().toStdString();
    if (runStarted_ || typed == shownDir_) return;
    SetModelDirectory(fs::path(typed));
}

void MainWindow::ChooseDirectory() {
    const QString chosen =
        QFileDialog::getExistingDirectory(this, "Choose the model directory", Q(dir_.string()));
    if (!chosen.isEmpty()) SetModelDirectory(fs::path(chosen.toStdString()));
}

void MainWindow::RunClicked() {
    if (runStarted_) return;
    TakeTypedDirectory();  // a directory typed but not yet confirmed with Return
    const std::string problem = ModelDirectoryProblem(dir_);
    if (!problem.empty()) {
        Note("Not run: " + problem + ".");
        QMessageBox::warning(this, WINDOW_CAPTION,
                             Q(problem) + ".\n\nChoose a model directory (one that holds \"Control.csv\") before running.");
        return;
    }
    runStarted_ = true;
    runActive_ = true;
    dirEdit_->setReadOnly(true);
    chooseButton_->setEnabled(false);
    runButton_->setEnabled(false);
    results_->ShowPlaceholder("The run is on; its results are drawn here when it has finished.");
    Note("Run started in " + dir_.string());
    stamps_ = StampResults(dir_);
    paintTimer_.start();
    worker_.Start(dir_, *display_, [this](int status) {
        QMetaObject::invokeMethod(this, [this, status] { RunFinished(status); }, Qt::QueuedConnection);
    });
}

void MainWindow::RunFinished(int status) {
    worker_.Join();
    runActive_ = false;
    status_ = status;
    paintTimer_.stop();
    display_->PaintPending();
    Note(EndOfRun(status, display_->Stopping()));
    if (question_) question_->done(QMessageBox::No);  // no run is left to ask about
    if (closeAfterRun_) {
        close();
        return;
    }
    const std::vector<fs::path> files = ResultsOfThisRun(dir_, stamps_);
    const std::string earlyEnd = EarlyEnd(status, ErrorDngLine(dir_), !files.empty());
    earlyEnd_->setText(Q(earlyEnd));
    earlyEnd_->setVisible(!earlyEnd.empty());
    if (files.empty()) {
        results_->ShowPlaceholder("This run wrote no result file to draw.");
        Note("This run wrote no result file to draw.");
        return;
    }
    for (const std::string& line : results_->ShowResults(files)) Note(line);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!runActive_) {
        event->accept();
        return;
    }
    event->ignore();
    if (closeAfterRun_ || question_) return;  // already stopping, or already asking
    // The run waits while the question is open, so that nothing of it -- "Done!"
    // above all -- shows over the question or is decided behind it.
    QMessageBox box(QMessageBox::Question, WINDOW_CAPTION, "A run is in progress. Stop the run and close the window?",
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    question_ = &box;
    display_->Hold();
    const int answer = box.exec();
    question_ = nullptr;
    if (!runActive_) {
        // The run ended while the question was open: nothing is left to stop.
        display_->Release();
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    if (answer == QMessageBox::Yes) {
        closeAfterRun_ = true;
        Note("Stopping the run…");
        display_->RequestStop();
    }
    display_->Release();
}

}  // namespace ostra::window
