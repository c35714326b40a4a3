// window_test_main.cpp -- GoogleTest main with the QApplication the window needs.
//
// Tests run on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise
// (set it to xcb to watch them on a screen).
#include <gtest/gtest.h>

#include <QApplication>

namespace {

// The offscreen platform warns that it cannot pass size hints to a window
// manager it does not have, once for every box; nothing else is dropped.
QtMessageHandler defaultHandler = nullptr;

void FilterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains("does not support propagateSizeHints")) return;
    if (defaultHandler) defaultHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
    defaultHandler = qInstallMessageHandler(FilterMessages);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
