#include "ui/ArrivalSoundEffectPlayer.h"

#include "support/LogSink.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

#include <string>

namespace zevirudi {

ArrivalSoundEffectPlayer::ArrivalSoundEffectPlayer(std::filesystem::path folder, QObject* parent)
    : QObject(parent), folder_(std::move(folder)) {}

void ArrivalSoundEffectPlayer::play(ArrivalSound sound) {
    if (QMediaDevices::defaultAudioOutput().isNull()) {
        if (!reportedMissingOutput_) {
            reportedMissingOutput_ = true;
            loftwing::logMessage(loftwing::LogLevel::info, "sounds",
                                 "arrival sound not played: no audio output device");
        }
        return;
    }
    // A sound still loading starts as soon as it is ready.
    effect(sound)->play();
}

QSoundEffect* ArrivalSoundEffectPlayer::effect(ArrivalSound sound) {
    QSoundEffect*& effect = effects_[static_cast<std::size_t>(sound)];
    if (effect != nullptr) {
        return effect;
    }
    effect = new QSoundEffect(this);
    const QString name = rawValue(sound);
    QObject::connect(effect, &QSoundEffect::statusChanged, this, [effect, name] {
        if (effect->status() == QSoundEffect::Error) {
            loftwing::logMessage(loftwing::LogLevel::warning, "sounds",
                                 "arrival sound could not be played: " + name.toStdString());
        }
    });
    const std::filesystem::path file = folder_ / (name.toStdString() + ".wav");
    effect->setSource(QUrl::fromLocalFile(QString::fromStdString(file.string())));
    return effect;
}

}  // namespace zevirudi
