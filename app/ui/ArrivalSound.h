#pragma once

#include <QSettings>
#include <QString>

#include <array>
#include <optional>

namespace zevirudi {

// The sound that means "it arrived". The stored texts are the raw values.
enum class ArrivalSound { soft, clear, glass };

inline constexpr std::array<ArrivalSound, 3> allArrivalSounds{
    ArrivalSound::soft, ArrivalSound::clear, ArrivalSound::glass};
inline constexpr char arrivalSoundKey[] = "arrival-sound-v1";

QString rawValue(ArrivalSound sound);
QString label(ArrivalSound sound);
QString description(ArrivalSound sound);
// Absent for a text that is none of the three.
std::optional<ArrivalSound> arrivalSoundFromRawValue(const QString& text);

// The stored text, "soft" when nothing is stored.
QString storedArrivalSoundText(const QSettings& settings);

// Plays one of the sounds; the desktop's audio output in the application, a recorder in tests.
class ArrivalSoundPlayer {
  public:
    virtual ~ArrivalSoundPlayer() = default;
    virtual void play(ArrivalSound sound) = 0;
};

// Plays the stored choice. A stored text that is none of the three plays nothing.
void playStoredArrivalSound(const QSettings& settings, ArrivalSoundPlayer& player);

}  // namespace zevirudi
