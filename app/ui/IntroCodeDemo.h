#pragma once

#include <QWidget>

class QGraphicsOpacityEffect;

namespace zevirudi {

// A picture of the product at work, for display only: a verification-code field in a sign-in
// form with the suggested code beside it. The suggestion appears half a second after the demo is
// first shown, fading in, or at once when the desktop asks for reduced motion.
class IntroCodeDemo : public QWidget {
    Q_OBJECT
  public:
    static constexpr int delayMilliseconds = 500;
    static constexpr int fadeMilliseconds = 600;

    explicit IntroCodeDemo(bool reduceMotion, QWidget* parent = nullptr);

    bool codeIsVisible() const { return codeIsVisible_; }

  signals:
    void codeIsVisibleChanged();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void revealCode(bool animated);

    bool reduceMotion_;
    bool codeIsVisible_ = false;
    bool wasShown_ = false;
    QWidget* suggestion_ = nullptr;
    QGraphicsOpacityEffect* opacity_ = nullptr;
};

}  // namespace zevirudi
