// The floor for desktop_first_frame_bench: a Qt Widgets program that shows one empty window of
// the desktop application's size and prints "painted" after its first paint.

#include <QApplication>
#include <QMetaObject>
#include <QWidget>

#include <cstdio>

namespace {

class Window : public QWidget {
  protected:
    void paintEvent(QPaintEvent*) override {
        if (!painted_) {
            painted_ = true;
            QMetaObject::invokeMethod(
                this,
                [] {
                    std::puts("painted");
                    std::fflush(stdout);
                },
                Qt::QueuedConnection);
        }
    }

  private:
    bool painted_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    Window window;
    window.setFixedSize(570, 544);  // the content and the menu bar
    window.show();
    return QApplication::exec();
}
