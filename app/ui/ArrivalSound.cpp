#include "ui/ArrivalSound.h"

namespace zevirudi {

QString rawValue(ArrivalSound sound) {
    switch (sound) {
        case ArrivalSound::soft:
            return QStringLiteral("soft");
        case ArrivalSound::clear:
            return QStringLiteral("clear");
        case ArrivalSound::glass:
            return QStringLiteral("glass");
    }
    return {};
}

QString label(ArrivalSound sound) {
    switch (sound) {
        case ArrivalSound::soft:
            return QStringLiteral("Soft");
        case ArrivalSound::clear:
            return QStringLiteral("Clear");
        case ArrivalSound::glass:
            return QStringLiteral("Glass");
    }
    return {};
}

QString description(ArrivalSound sound) {
    switch (sound) {
        case ArrivalSound::soft:
            return QStringLiteral("A low, quiet arrival");
        case ArrivalSound::clear:
            return QStringLiteral("A short, precise note");
        case ArrivalSound::glass:
            return QStringLiteral("A light, bright signal");
    }
    return {};
}

std::optional<ArrivalSound> arrivalSoundFromRawValue(const QString& text) {
    for (const ArrivalSound sound : allArrivalSounds) {
        if (rawValue(sound) == text) {
            return sound;
        }
    }
    return std::nullopt;
}

QString storedArrivalSoundText(const QSettings& settings) {
    return settings.value(QLatin1String(arrivalSoundKey), rawValue(ArrivalSound::soft)).toString();
}

void playStoredArrivalSound(const QSettings& settings, ArrivalSoundPlayer& player) {
    if (const auto sound = arrivalSoundFromRawValue(storedArrivalSoundText(settings))) {
        player.play(*sound);
    }
}

}  // namespace zevirudi
