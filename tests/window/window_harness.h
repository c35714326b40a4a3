// window_harness.h -- driving the window in tests: boxes, waiting, screenshots.
//
// Exports (namespace ostra::window::testing): SeenDialog, DialogAnswerer,
// WaitUntil, SaveScreenshot, CopyExample, SetControlValue, WriteWiggleModel,
// WriteBrokenEquations, Counter, RunButton, Messages.
//
// The run's boxes are modal and shown by the window's own thread, so a test
// cannot answer them from its own code path: DialogAnswerer watches for the
// active modal widget from a timer, records what it showed and answers it
// the way a user would (OK, Yes or No, or typing a line).
#pragma once

#include <QObject>
#include <QPixmap>
#include <QString>
#include <QTimer>

#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QLineEdit;
class QPushButton;
class QWidget;

namespace ostra::window {
class MainWindow;
}

namespace ostra::window::testing {

struct SeenDialog {
    QString kind;         // "message", "question", "input" or "folder"
    QString text;         // the message, question or prompt
    QString informative;  // a message box's informative text
    QPixmap picture;      // the box as it was shown
};

class DialogAnswerer : public QObject {
public:
    DialogAnswerer();
    // Answers for input boxes, in order ("" once they are used up).
    std::deque<QString> inputs;
    // Folders picked in folder dialogs, in order (cancelled once they are used up).
    std::deque<QString> folders;
    // Answers for Yes/No questions, in order (Yes once they are used up).
    std::deque<bool> questions;
    // Called with each box before it is answered.
    std::function<void(const SeenDialog&)> onDialog;
    std::vector<SeenDialog> seen;
    // The boxes seen whose text is `text`.
    int Count(const QString& text) const;

private:
    void Poll();
    QTimer timer_;
    const QWidget* answered_ = nullptr;
};

// Processes events until `done` is true or `ms` have passed; returns done().
bool WaitUntil(const std::function<bool()>& done, int ms = 30000);

// Saves the widget as <build>/window-screenshots/<name>.png and returns the path.
std::filesystem::path SaveScreenshot(QWidget& widget, const std::string& name);
std::filesystem::path SaveScreenshot(const QPixmap& picture, const std::string& name);

// Copies examples/<name> into `dir` with the companion programs its
// "companions.txt" names, under the names it gives them.
void CopyExample(const std::string& name, const std::filesystem::path& dir);

// Replaces the value under the "Control.csv" label that starts with `label`.
void SetControlValue(const std::filesystem::path& dir, const std::string& label, const std::string& value);

// A dynamic model whose centrally weighted outflow without dispersion
// violates the positivity/wiggle criterion, so the run asks whether to go on.
void WriteWiggleModel(const std::filesystem::path& dir);

// A steady equation-solver model whose "AEqnSolver.csv" holds a word.
void WriteBrokenEquations(const std::filesystem::path& dir);

QLineEdit* Counter(MainWindow& window, int k);
QPushButton* RunButton(MainWindow& window);
// The text of the window's message pane.
QString Messages(MainWindow& window);

}  // namespace ostra::window::testing
