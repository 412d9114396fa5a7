#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace zevirudi {

// A local sample of a code fill: a demo login form whose button waits as a real inbox would,
// then fills the field and plays the arrival sound. Nothing leaves the computer.
class OnboardingRehearsal : public QWidget {
    Q_OBJECT
  public:
    static constexpr int waitMilliseconds = 700;

    OnboardingRehearsal(bool didRun, std::function<void()> playSound, QWidget* parent = nullptr);

    bool didRun() const { return didRun_; }
    bool isWaiting() const { return isWaiting_; }

    // Starts one run. Every run that completes fills the field and plays the sound once, also
    // when another run started meanwhile.
    void run();

  signals:
    void didRunChanged(bool didRun);

  private:
    void finishRun();
    void refresh();

    bool didRun_;
    std::function<void()> playSound_;
    bool isWaiting_ = false;
    QLineEdit* field_ = nullptr;
    QPushButton* button_ = nullptr;
    QProgressBar* waiting_ = nullptr;
    QWidget* result_ = nullptr;
};

}  // namespace zevirudi
