// main_window.h -- the window of `ostra-window`: one run of one model directory.
//
// Exports: MainWindow, WINDOW_CAPTION.
//
// The window shows the model directory with "Choose…" and the run button,
// the five counters Text1 to Text5, the results of the finished run and a
// pane of messages (what the run is set up to do, warnings, errors, what was
// drawn). A click on the run button refuses a directory without
// "Control.csv"; otherwise it starts RunOstraClick on a worker thread and
// hides the button for good. Closing the window during a run asks first,
// then stops the run and closes once the worker has finished.
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

class QLineEdit;
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
    void ChooseDirectory();
    void RunClicked();
    void RunFinished(int status);

    std::filesystem::path dir_;
    QLineEdit* dirEdit_ = nullptr;
    QPushButton* chooseButton_ = nullptr;
    QPushButton* runButton_ = nullptr;
    QWidget* countersBox_ = nullptr;
    std::array<QLineEdit*, 6> counters_{};
    QPlainTextEdit* messages_ = nullptr;
    ResultsView* results_ = nullptr;
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
