#pragma once

#include "ui/ArrivalSound.h"

#include <QObject>

#include <array>
#include <filesystem>

class QSoundEffect;

namespace zevirudi {

// Plays the arrival sounds shipped in <resources>/sounds/<raw value>.wav on the desktop's default
// audio output. A machine without an output device hears nothing; that is no error for the
// person, only a line in the log.
class ArrivalSoundEffectPlayer : public QObject, public ArrivalSoundPlayer {
  public:
    explicit ArrivalSoundEffectPlayer(std::filesystem::path folder, QObject* parent = nullptr);

    void play(ArrivalSound sound) override;

  private:
    QSoundEffect* effect(ArrivalSound sound);

    std::filesystem::path folder_;
    // Loaded on first use: opening the audio output is not free and most runs never play.
    std::array<QSoundEffect*, allArrivalSounds.size()> effects_{};
    bool reportedMissingOutput_ = false;
};

}  // namespace zevirudi
