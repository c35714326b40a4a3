// main_window.h -- the window of `ostra-window`: one run of one model directory.
//
// Exports: MainWindow, WINDOW_CAPTION.
//
// The window shows the model directory (typed, or picked with "Choose…") and
// the run button, the five counters Text1 to Text5, the results of the
// finished run -- under a line saying so when the run ended early -- and a
// pane of messages (what the run is set up to do, warnings, errors, what was
// drawn). A click on the run button refuses a directory without
// "Control.csv"; otherwise it starts RunOstraClick on a worker thread and
// hides the button for good. Closing the window during a run asks first,
// holding the run while the question is open, then stops the run and closes
// once the worker has finished.
#pragma once

#include <QMainWindow>
#include <QTimer>

#include <array>
#include <filesystem>
#include <memory>
#include <string>

#include "window/model_directory.h"
#include "window/run_worker.h"
#include "window/window_display.h"

class QLabel;
class QLineEdit;
class QMessageBox;
class QPlainTextEdit;
class QPushButton;

namespace ostra::window {

class ResultsView;

inline constexpr const char* WINDOW_CAPTION = "Ostra V 1.0";

class MainWindow : public QMainWindow {
public:
    // Sets up the window on `modelDir` and performs FormLoad.
    explicit MainWindow(const std::filesystem::path& modelDir, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The directory the run button will run (only before the run starts).
    void SetModelDirectory(const std::filesystem::path& dir);
    const std::filesystem::path& ModelDirectory() const { return dir_; }

    // True from the click that starts the run until the worker has finished.
    bool RunActive() const { return runActive_; }
    // The exit status of the run (constants.h), -1 before it has ended.
    int ExitStatus() const { return status_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildWidgets();
    void Paint(const CounterState& state);
    void ShowMessageBox(const std::string& message, const std::string& detail);
    std::string ShowInputBox(const std::string& prompt);
    void Note(const std::string& line);
    void TakeTypedDirectory();
    void ChooseDirectory();
    void RunClicked();
    void RunFinished(int status);

    std::filesystem::path dir_;
    std::string shownDir_;  // dir_ as the field shows it, to tell a typed change
    QLineEdit* dirEdit_ = nullptr;
    QPushButton* chooseButton_ = nullptr;
    QPushButton* runButton_ = nullptr;
    QWidget* countersBox_ = nullptr;
    std::array<QLineEdit*, 6> counters_{};
    QPlainTextEdit* messages_ = nullptr;
    QLabel* earlyEnd_ = nullptr;  // "The run ended early: ..." above the charts
    ResultsView* results_ = nullptr;
    QMessageBox* question_ = nullptr;  // the question of closeEvent while it is open
    QTimer paintTimer_;

    std::unique_ptr<WindowDisplay> display_;
    RunWorker worker_;
    ResultStamps stamps_;
    bool runStarted_ = false;
    bool runActive_ = false;
    bool closeAfterRun_ = false;
    int status_ = -1;
};

}  // namespace ostra::window
