// window_harness.cpp -- answering boxes, waiting, screenshots, example copies.
#include "window/window_harness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "app/compartment_model_files.h"
#include "window/main_window.h"

namespace fs = std::filesystem;

namespace ostra::window::testing {

DialogAnswerer::DialogAnswerer() {
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
    timer_.start();
}

int DialogAnswerer::Count(const QString& text) const {
    int n = 0;
    for (const SeenDialog& d : seen) n += d.text == text;
    return n;
}

void DialogAnswerer::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    SeenDialog d;
    d.picture = modal->grab();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        d.text = box->text();
        d.informative = box->informativeText();
        QAbstractButton* yes = box->button(QMessageBox::Yes);
        d.kind = yes ? "question" : "message";
        seen.push_back(d);
        if (onDialog) onDialog(d);
        QAbstractButton* button = box->button(QMessageBox::Ok);
        if (yes) {
            const bool answer = questions.empty() ? true : questions.front();
            if (!questions.empty()) questions.pop_front();
            button = answer ? yes : box->button(QMessageBox::No);
        }
        if (button) button->click();
        return;
    }
    if (auto* files = qobject_cast<QFileDialog*>(modal)) {
        d.kind = "folder";
        d.text = files->windowTitle();
        seen.push_back(d);
        if (onDialog) onDialog(d);
        if (folders.empty()) {
            files->reject();
            return;
        }
        files->setDirectory(folders.front());
        folders.pop_front();
        QMetaObject::invokeMethod(files, "accept");  // the dialog's Choose button
        return;
    }
    if (auto* input = qobject_cast<QInputDialog*>(modal)) {
        d.kind = "input";
        d.text = input->labelText();
        seen.push_back(d);
        if (onDialog) onDialog(d);
        input->setTextValue(inputs.empty() ? QString() : inputs.front());
        if (!inputs.empty()) inputs.pop_front();
        input->accept();
    }
}

bool WaitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QTest::qWait(5);
    }
    return true;
}

static fs::path ScreenshotPath(const std::string& name) {
    const fs::path dir = fs::path(OSTRA_BINARY_DIR) / "window-screenshots";
    fs::create_directories(dir);
    return dir / (name + ".png");
}

fs::path SaveScreenshot(QWidget& widget, const std::string& name) {
    return SaveScreenshot(widget.grab(), name);
}

fs::path SaveScreenshot(const QPixmap& picture, const std::string& name) {
    const fs::path path = ScreenshotPath(name);
    if (!picture.save(QString::fromStdString(path.string()), "PNG"))
        throw std::runtime_error("cannot save " + path.string());
    return path;
}

void CopyExample(const std::string& name, const fs::path& dir) {
    const fs::path example = fs::path(OSTRA_SOURCE_DIR) / "examples" / name;
    for (const auto& entry : fs::directory_iterator(example))
        if (entry.is_regular_file()) fs::copy_file(entry.path(), dir / entry.path().filename());
    std::ifstream list(example / "companions.txt");
    std::string folder, program;
    while (list >> folder >> program) {
        const fs::path built = fs::path(OSTRA_BINARY_DIR) / "companions" / folder;
        bool copied = false;
        for (const auto& entry : fs::directory_iterator(built)) {
            if (!entry.is_regular_file()) continue;
            fs::copy_file(entry.path(), dir / program, fs::copy_options::overwrite_existing);
            copied = true;
        }
        if (!copied) throw std::runtime_error("no companion program built in " + built.string());
    }
}

void SetControlValue(const fs::path& dir, const std::string& label, const std::string& value) {
    const fs::path path = dir / "Control.csv";
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const auto at = text.find(label);
    if (at == std::string::npos) throw std::runtime_error("no label " + label + " in " + path.string());
    const auto valueStart = text.find('\n', at) + 1;
    auto valueEnd = text.find('\n', valueStart);
    if (valueEnd != std::string::npos && valueEnd > valueStart && text[valueEnd - 1] == '\r') --valueEnd;
    text.replace(valueStart, valueEnd - valueStart, value);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

void WriteWiggleModel(const fs::path& dir) {
    using ostra::testing::Compartment;
    using ostra::testing::Link;
    ostra::testing::CompartmentModel m;
    const int inflow = m.Add(Compartment{.kind = 2, .x = 0});
    const int cell = m.Add(Compartment{.kind = 0, .x = 1});
    const int exit = m.Add(Compartment{.kind = 3, .x = 2});
    m.boundary[0][inflow - 1] = 1;
    m.Connect(Link{.a = inflow, .b = cell, .flow = 1});
    m.Connect(Link{.a = cell, .b = exit, .flow = 1, .alpha = 0.5});
    ostra::testing::ControlFile control;
    control.NumTimeSteps = "5";
    m.Write(dir, control);
}

void WriteBrokenEquations(const fs::path& dir) {
    ostra::testing::ControlFile control;
    control.mode = "EQNS";
    control.dynamic = false;
    control.NEQN = 2;
    ostra::testing::WriteModelFile(dir, "Control.csv", control.Text());
    ostra::testing::WriteModelFile(dir, "AEqnSolver.csv", "2,1\n1,x\n");
    ostra::testing::WriteModelFile(dir, "BEqnSolver.csv", "3\n5\n");
}

QLineEdit* Counter(MainWindow& window, int k) {
    return window.findChild<QLineEdit*>(QString("Text%1").arg(k));
}

QPushButton* RunButton(MainWindow& window) { return window.findChild<QPushButton*>("RunOstra"); }

QString Messages(MainWindow& window) {
    return window.findChild<QPlainTextEdit*>("messages")->toPlainText();
}

}  // namespace ostra::window::testing
